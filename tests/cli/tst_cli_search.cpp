// quillory-search's search mode: the same loop as the window, the results file on stdout.

#include "base/NativePath.h"
#include "results/ResultsModel.h"
#include "results/ResultsText.h"
#include "search/FieldChoice.h"
#include "search/SearchRun.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

#include "CliRun.h"
#include "TestFiles.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

/// Runs a search with a last argument given as bytes, which QProcess would pass through
/// the locale's codec: printf makes them from octal escapes, so the command stays ASCII.
Run searchRaw(const QStringList &arguments, const QByteArray &last)
{
    QString format;
    for (const char c : last) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80 || c == '\\' || c == '%')
            format += u"\\"_s + QString::number(byte, 8).rightJustified(3, u'0');
        else
            format += QChar(char16_t(byte));
    }
    return run(u"sh"_s,
               QStringList{u"-c"_s, u"p=$(printf \"$1\"); shift; exec \"$0\" \"$@\" \"$p\""_s,
                           QStringLiteral(QUILLORY_SEARCH_BIN), format}
                   + arguments);
}

/// The bytes the window would save for the same files and criteria.
class CollectingListener final : public SearchListener
{
public:
    ResultsModel results;
    void fileStarted(qsizetype, const FileRef &) override {}
    bool rows(QList<ResultRow> &&rows) override
    {
        results.appendRows(std::move(rows));
        return true;
    }
    void fileFailed(qsizetype, FileFailure, const QString &) override {}
};

QByteArray expectedBytes(const QStringList &files, const SearchCriteria &criteria)
{
    CollectingListener host;
    host.results.setSearchTexts(criteria.searchTexts());
    SearchRun run({}, files);
    run.setCriteria(criteria);
    run.run(host);
    return resultsFileText(host.results).toUtf8();
}

} // namespace

class TestCliSearch final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void outputIsTheResultsFile_data();
    void outputIsTheResultsFile();
    void folders_data();
    void folders();
    void unreadableFileGoesOn();
    void vanishedFileIsNamed();
    void usageErrors_data();
    void usageErrors();
    void matchOptions_data();
    void matchOptions();
    void phoneLibraryBesideTheProgram();
    void loopingLinksFinish();
    void pathsNotUtf8_data();
    void pathsNotUtf8();
    void duplicates();
    void jsonLines_data();
    void jsonLines();
    void longValuesKeepSurrogatePairs_data();
    void longValuesKeepSurrogatePairs();
    void controlCharactersStayOffTheTerminal();

private:
    QString write(const QString &name, const QByteArray &bytes);
    QTemporaryDir m_dir;
};

QString TestCliSearch::write(const QString &name, const QByteArray &bytes)
{
    return writeTestFile(m_dir, name, bytes);
}

void TestCliSearch::initTestCase()
{
    QVERIFY(m_dir.isValid());
    writeSearchedFiles(m_dir);
}

void TestCliSearch::outputIsTheResultsFile_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("options"); // --all-texts, --counts
    QTest::addColumn<QString>("err"); // the counts
    QTest::newRow("one text, any case")
        << QStringList{u"tech"_s} << false << 0 << QStringList{} << QString();
    QTest::newRow("match case") << QStringList{u"Tech"_s} << true << 0 << QStringList{}
                                << QString();
    QTest::newRow("several texts in order")
        << QStringList{u"bob"_s, u"tech"_s} << false << 0 << QStringList{} << QString();
    QTest::newRow("no hit") << QStringList{u"zebra"_s} << false << 1 << QStringList{} << QString();
    QTest::newRow("every text in one card, counted")
        << QStringList{u"bob"_s, u"tech"_s} << false << 0
        << QStringList{u"--all-texts"_s, u"--counts"_s}
        << u"text\trows\tcards\tfiles\nbob\t1\t1\t1\ntech\t1\t1\t1\n"_s;
    QTest::newRow("counts: a text that found nothing, a card found by two")
        << QStringList{u"anna"_s, u"te\tch"_s, u"tech"_s} << false << 0
        << QStringList{u"--counts"_s}
        << u"text\trows\tcards\tfiles\nanna\t2\t1\t1\nte\\x09ch\t0\t0\t0\n"
           u"tech\t5\t3\t3\n"_s;
    QTest::newRow("counts of one text, every text asked")
        << QStringList{u"zebra"_s} << false << 1 << QStringList{u"--counts"_s, u"--all-texts"_s}
        << u"text\trows\tcards\tfiles\nzebra\t0\t0\t0\n"_s;
}

void TestCliSearch::outputIsTheResultsFile()
{
    QFETCH(QStringList, texts);
    QFETCH(bool, matchCase);
    QFETCH(int, status);
    QFETCH(QStringList, options);
    QFETCH(QString, err);
    const QStringList files{m_dir.filePath(u"tree/a.vcf"_s), m_dir.filePath(u"tree/sub/b.VCF"_s),
                            m_dir.filePath(u"utf16.vcf"_s)};
    QStringList arguments = options;
    for (const QString &text : texts)
        arguments << u"-e"_s << text;
    if (matchCase)
        arguments << u"--match-case"_s;
    const Run run = search(arguments + files);
    QCOMPARE(run.status, status);
    QCOMPARE(run.err, err);

    SearchCriteria criteria;
    criteria.everyText = options.contains(u"--all-texts"_s);
    criteria.mode = texts.size() == 1 ? SearchCriteria::Mode::This : SearchCriteria::Mode::Multiple;
    criteria.text = texts.first();
    criteria.sets = texts;
    criteria.ignoreCase = !matchCase;
    QCOMPARE(run.out, expectedBytes(files, criteria));
    if (status == 0)
        QVERIFY(run.out.startsWith(texts.size() > 1
                                       ? "File\tTag\t Value\tContact\tSearch text\t\r\n"
                                       : "File\tTag\t Value\tContact\t\r\n"));
    // One thread, as the window searches, prints the same.
    const Run single = search(QStringList{u"-j"_s, u"1"_s} + arguments + files);
    QCOMPARE(single.status, status);
    QCOMPARE(single.out, run.out);
}

void TestCliSearch::folders_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("files"); // in output order, relative to the temporary folder
    QTest::newRow("default extension, any case, temporary files skipped, breadth-first")
        << QStringList{}
        << QStringList{u"tree/a.vcf"_s, u"tree/a.vcf"_s, u"tree/a.vcf"_s, u"tree/sub/b.VCF"_s};
    QTest::newRow("every file") << QStringList{u"-x"_s, u"*"_s}
                                << QStringList{u"tree/a.vcf"_s, u"tree/a.vcf"_s, u"tree/a.vcf"_s,
                                               u"tree/notes.txt"_s, u"tree/sub/b.VCF"_s};
    QTest::newRow("txt") << QStringList{u"--extension"_s, u"txt"_s}
                         << QStringList{u"tree/notes.txt"_s};
}

void TestCliSearch::folders()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, files);
    const Run run = search(options + QStringList{u"-e"_s, u"tech"_s, m_dir.filePath(u"tree"_s)});
    QCOMPARE(run.status, 0);
    QStringList seen;
    const QList<QByteArray> lines = run.out.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!lines.at(i).isEmpty())
            seen.append(QDir(m_dir.path())
                            .relativeFilePath(QString::fromUtf8(lines.at(i).split('\t').first())));
    }
    QCOMPARE(seen, files);
}

void TestCliSearch::unreadableFileGoesOn()
{
    const QString fifo = m_dir.filePath(u"pipe.vcf"_s);
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const QString good = m_dir.filePath(u"tree/a.vcf"_s);
    const Run run = search({u"-e"_s, u"anna"_s, fifo, good, m_dir.filePath(u"missing.vcf"_s)});
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(fifo), qPrintable(run.err));
    QVERIFY2(run.err.contains(u"missing.vcf: No such file or directory"_s), qPrintable(run.err));
    QCOMPARE(run.err.count(u'\n'), 2);
    QVERIFY2(run.out.contains("Tech Anna"), run.out.constData()); // the run went on
}

void TestCliSearch::vanishedFileIsNamed()
{
    // A file listed by the walk and removed before it is read is named, and the run
    // fails. One thread reads the files in order, and the results of the first fill a
    // FIFO that is not read: the second is removed while the program waits on it.
    QByteArray cards;
    int count = 0;
    for (; cards.size() < (qsizetype(1) << 20); ++count)
        cards += "BEGIN:VCARD\nFN:Tech " + QByteArray::number(count) + "\nEND:VCARD\n";
    write(u"vanish/a.vcf"_s, cards);
    const QString gone = write(u"vanish/b.vcf"_s, "BEGIN:VCARD\nFN:Tech B\nEND:VCARD\n");
    const QString fifo = m_dir.filePath(u"vanish-out"_s);
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    const auto closeReader = qScopeGuard([reader] { ::close(reader); });
    QProcess process;
    process.setStandardOutputFile(fifo);
    process.start(QStringLiteral(QUILLORY_SEARCH_BIN),
                  {u"-j"_s, u"1"_s, u"-e"_s, u"tech"_s, m_dir.filePath(u"vanish"_s)});
    pollfd ready{reader, POLLIN, 0};
    QCOMPARE(::poll(&ready, 1, 20000), 1);
    QVERIFY(QFile::remove(gone));
    QCOMPARE(::fcntl(reader, F_SETFL, 0), 0);
    QByteArray out;
    char buffer[65536];
    for (ssize_t got; (got = ::read(reader, buffer, sizeof buffer)) > 0;)
        out.append(buffer, got);
    QVERIFY(process.waitForFinished(20000));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitCode(), 2);
    QCOMPARE(err, u"quillory-search: "_s + gone + u": No such file or directory\n"_s);
    QCOMPARE(out.count('\n'), count + 1); // the heading and every row of the first file
}

void TestCliSearch::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("cause"); // the first line of standard error, after the name
    const QStringList text{u"-e"_s, u"a"_s, u"x.vcf"_s};
    const QStringList phone{u"--phone"_s, u"-e"_s, u"555"_s, u"x.vcf"_s, u"--region"_s};
    const QString twoLetters = u"--region takes a country code of two letters"_s;
    QTest::newRow("no search text")
        << QStringList{u"x.vcf"_s} << u"give a search text with -e, or --dump"_s;
    QTest::newRow("empty search text")
        << QStringList{u"-e"_s, QString(), u"x.vcf"_s} << u"the search text is empty"_s;
    QTest::newRow("blank search text")
        << QStringList{u"-e"_s, u"  "_s, u"x.vcf"_s} << u"the search text is empty"_s;
    QTest::newRow("no path") << QStringList{u"-e"_s, u"a"_s} << u"no PATH given"_s;
    QTest::newRow("unknown option")
        << QStringList{u"--frobnicate"_s} + text << u"Unknown option 'frobnicate'."_s;
    QTest::newRow("missing value")
        << QStringList{u"x.vcf"_s, u"-e"_s} << u"Missing value after '-e'."_s;
    QTest::newRow("empty extension")
        << QStringList{u"-x"_s, QString()} + text << u"the extension is empty"_s;
    QTest::newRow("no threads") << QStringList{u"-j"_s, u"0"_s} + text
                                << u"--threads takes a number from 1 to 64"_s;
    QTest::newRow("threads not a number")
        << QStringList{u"-j"_s, u"many"_s} + text << u"--threads takes a number from 1 to 64"_s;
    QTest::newRow("region of one letter") << phone + QStringList{u"D"_s} << twoLetters;
    QTest::newRow("region of three letters") << phone + QStringList{u"DEU"_s} << twoLetters;
    QTest::newRow("region with a digit") << phone + QStringList{u"D1"_s} << twoLetters;
    const auto unknown = [](const QString &code) -> QString {
        return u"--region "_s + code + u" is not a known country code (such as DE or US)"_s;
    };
    QTest::newRow("region libphonenumber does not know")
        << phone + QStringList{u"xx"_s} << unknown(u"XX"_s);
    QTest::newRow("the unknown region") << phone + QStringList{u"ZZ"_s} << unknown(u"ZZ"_s);
    QTest::newRow("a regular expression that is not valid")
        << QStringList{u"--regex"_s, u"-e"_s, u"ok"_s, u"-e"_s, u"[a-"_s, u"x.vcf"_s}
        << u"the regular expression \"[a-\" is not valid: missing ]: [a- at character 1"_s;
    const QString names = fieldChoiceNames().join(u", "_s);
    QTest::newRow("a field name that is none")
        << QStringList{u"--field"_s, u"Emails,Fax"_s} + text
        << u"--field: unknown name \"Fax\"; use "_s + names
               + u" (a property's name with --all-properties)"_s;
    QTest::newRow("a property's name without all properties")
        << QStringList{u"--field"_s, u"CATEGORIES"_s} + text
        << u"--field: unknown name \"CATEGORIES\"; use "_s + names
               + u" (a property's name with --all-properties)"_s;
    QTest::newRow("no property's name")
        << QStringList{u"--all-properties"_s, u"--field"_s, u"a b"_s} + text
        << u"--field: unknown name \"a b\"; use "_s + names + u", or a property's name"_s;
    QTest::newRow("an empty name") << QStringList{u"--field"_s, u"names,"_s} + text
                                   << u"--field: unknown name \"\"; use "_s + names
                                          + u" (a property's name with --all-properties)"_s;
}

void TestCliSearch::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, cause);
    const Run run = search(arguments);
    QCOMPARE(run.status, 2);
    QVERIFY(run.out.isEmpty());
    // The cause and where to look, not the whole help.
    QCOMPARE(run.err,
             u"quillory-search: "_s + cause
                 + u"\nTry 'quillory-search --help' for more information.\n"_s);

    const Run help = search({u"--help"_s});
    QCOMPARE(help.status, 0);
    for (const char *flag : {"--match-case", "--phone", "--region <CC>", "--ignore-accents",
                             "--all-properties", "--regex", "--words", "--field <NAME>",
                             "--version"})
        QVERIFY2(help.out.contains(flag), flag);
    const Run version = search({u"--version"_s});
    QCOMPARE(version.status, 0);
    QCOMPARE(version.out, QByteArray("quillory-search " QUILLORY_VERSION "\n"));
}

void TestCliSearch::matchOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("rows"); // "Tag=Value"
    QTest::newRow("phone number in another form")
        << QStringList{u"--phone"_s, u"--region"_s, u"de"_s, u"-e"_s, u"0176 12345678"_s}
        << QStringList{u"Mobile=+49 (176) 1234-5678"_s};
    QTest::newRow("the same text without --phone")
        << QStringList{u"-e"_s, u"0176 12345678"_s} << QStringList{};
    QTest::newRow("accents ignored") << QStringList{u"--ignore-accents"_s, u"-e"_s, u"JURGEN"_s}
                                     << QStringList{u"FirstName=Jürgen"_s};
    QTest::newRow("a full name that N's given name wrote over")
        << QStringList{u"-e"_s, u"Jürgen Müller"_s} << QStringList{u"FirstName=Jürgen Müller"_s};
    QTest::newRow("all properties taken")
        << QStringList{u"--all-properties"_s, u"-e"_s, u"müller"_s}
        << QStringList{u"FirstName=Jürgen Müller"_s, u"LastName=Müller"_s};
    QTest::newRow("all properties: what no field holds")
        << QStringList{u"--all-properties"_s, u"-e"_s, u"dr."_s}
        << QStringList{u"N=Dr."_s, u"TEL=Dr. Mobile"_s};
    QTest::newRow("regular expressions, each in turn")
        << QStringList{u"--regex"_s, u"-e"_s, u"^j.rgen "_s, u"-e"_s, u"m.ller$"_s}
        << QStringList{u"FirstName=Jürgen Müller"_s, u"FirstName=Jürgen Müller"_s,
                       u"LastName=Müller"_s};
    QTest::newRow("regular expression, match case")
        << QStringList{u"--regex"_s, u"-c"_s, u"-e"_s, u"^m"_s} << QStringList{};
    QTest::newRow("regular expression, accents ignored")
        << QStringList{u"--regex"_s, u"--ignore-accents"_s, u"-e"_s, u"^mul+er$"_s}
        << QStringList{u"LastName=Müller"_s};
    QTest::newRow("regular expression with --phone: the value as written")
        << QStringList{u"--regex"_s, u"--phone"_s, u"--region"_s, u"de"_s, u"-e"_s, u"^0176"_s}
        << QStringList{};
    QTest::newRow("whole words") << QStringList{u"--words"_s, u"-e"_s, u"müller"_s}
                                 << QStringList{u"FirstName=Jürgen Müller"_s, u"LastName=Müller"_s};
    QTest::newRow("whole words: a part of a word")
        << QStringList{u"--words"_s, u"-e"_s, u"müll"_s} << QStringList{};
    QTest::newRow("whole words leave phone numbers alone")
        << QStringList{u"--words"_s, u"--phone"_s, u"--region"_s, u"de"_s, u"-e"_s, u"1234 5678"_s}
        << QStringList{u"Mobile=+49 (176) 1234-5678"_s};
    QTest::newRow("a group and a field, twice and in any case")
        << QStringList{u"--field"_s, u"phones"_s, u"--field"_s, u"lastname,LastName"_s, u"-e"_s,
                       u"m"_s, u"-e"_s, u"1"_s}
        << QStringList{u"LastName=Müller"_s, u"Mobile=+49 (176) 1234-5678"_s};
    QTest::newRow("a property's name with all properties")
        << QStringList{u"--all-properties"_s, u"--field"_s, u"categories"_s, u"-e"_s, u"v"_s}
        << QStringList{u"CATEGORIES=VIP"_s};
    QTest::newRow("a field no card has")
        << QStringList{u"--field"_s, u"Pager"_s, u"-e"_s, u"m"_s} << QStringList{};
}

void TestCliSearch::matchOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, rows);
    const QString file = write(u"options.vcf"_s,
                               "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Jürgen Müller\r\n"
                               "N:Müller;Jürgen;;Dr.;\r\n"
                               "TEL;TYPE=CELL;X-LABEL=Dr. Mobile:+49 (176) 1234-5678\r\n"
                               "CATEGORIES:VIP\r\nEND:VCARD\r\n");
    const Run run = search(arguments + QStringList{file});
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    QCOMPARE(run.status, rows.isEmpty() ? 1 : 0);
    QStringList found;
    const QList<QByteArray> lines = run.out.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> cells = lines.at(i).split('\t');
        if (cells.size() > 2)
            found.append(QString::fromUtf8(cells.at(1) + '=' + cells.at(2)));
    }
    QCOMPARE(found, rows);
}

// The program loads libphonenumber's module from lib/quillory/modules beside its folder, as
// installed; without it a phone number is matched by its digits alone, and it says so.
void TestCliSearch::phoneLibraryBesideTheProgram()
{
    const QString file
        = write(u"phone.vcf"_s, "BEGIN:VCARD\r\nFN:Jo\r\nTEL:+49 (176) 1234-5678\r\nEND:VCARD\r\n");
    const QString root = m_dir.filePath(u"installed"_s);
    QVERIFY(QDir().mkpath(root + u"/bin"_s) && QDir().mkpath(root + u"/lib/quillory/modules"_s));
    const QString program = root + u"/bin/quillory-search"_s;
    QVERIFY(QFile::copy(QStringLiteral(QUILLORY_SEARCH_BIN), program));
    const QStringList arguments{u"--phone"_s, u"--region"_s,      u"de"_s,
                                u"-e"_s,      u"0176 12345678"_s, file};
    const Run alone = run(program, arguments);
    QCOMPARE(alone.status, 1);
    QVERIFY2(alone.err.contains(u"phone numbers are compared by their digits alone"_s),
             qPrintable(alone.err));
    const QString module = QStringLiteral(QUILLORY_PHONE_MODULE_FILE);
    QVERIFY(QFile::copy(module, root + u"/lib/quillory/modules/"_s + QFileInfo(module).fileName()));
    const Run installed = run(program, arguments);
    QVERIFY2(installed.err.isEmpty(), qPrintable(installed.err));
    QCOMPARE(installed.status, 0);
    QVERIFY(installed.out.contains("+49 (176) 1234-5678"));
}

void TestCliSearch::loopingLinksFinish()
{
    const QString root = m_dir.filePath(u"loop"_s);
    QVERIFY(QDir().mkpath(root + u"/a/b"_s));
    write(u"loop/a/b/deep.vcf"_s, "BEGIN:VCARD\nFN:Deep Tech\nEND:VCARD\n");
    QVERIFY(QFile::link(root, root + u"/a/b/again"_s));
    QVERIFY(QFile::link(root + u"/a"_s, root + u"/a/self"_s));
    const Run run = search({u"-e"_s, u"tech"_s, root});
    QCOMPARE(run.status, 0);
    QCOMPARE(run.out.count("\tDeep Tech\tDeep Tech\t"), 1);
}

void TestCliSearch::pathsNotUtf8_data()
{
    QTest::addColumn<QByteArray>("card"); // below the temporary folder
    QTest::addColumn<QByteArray>("argument");
    QTest::newRow("file") << QByteArray("caf\xE9.vcf") << QByteArray("caf\xE9.vcf");
    QTest::newRow("folder") << QByteArray("d\xFF\x85/card.vcf") << QByteArray("d\xFF\x85");
}

void TestCliSearch::pathsNotUtf8()
{
    QFETCH(QByteArray, card);
    QFETCH(QByteArray, argument);
    const QByteArray root = QFile::encodeName(m_dir.path()) + '/';
    const QByteArray path = root + card;
    const QByteArray folder = card.contains('/') ? root + argument : QByteArray();
    // QTemporaryDir cannot remove names that are not UTF-8.
    const auto remove = qScopeGuard([&] {
        ::unlink(path.constData());
        if (!folder.isEmpty())
            ::rmdir(folder.constData());
    });
    if (!folder.isEmpty())
        QVERIFY(::mkdir(folder.constData(), 0700) == 0);
    QFile file;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    QVERIFY(fd >= 0 && file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
    file.write("BEGIN:VCARD\nFN:Needle One\nEND:VCARD\n");
    file.close();

    const Run run = searchRaw({u"-e"_s, u"needle"_s}, root + argument);
    QCOMPARE(run.status, 0);
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    QVERIFY2(run.out.contains("\tNeedle One\t"), run.out.constData());
    QVERIFY2(run.out.contains(QByteArray("\r\n" + path + '\t')), run.out.constData());
    if (folder.isEmpty()) {
        // --dump keeps its lines UTF-8: the byte comes as an escape that names it.
        const Run dump = searchRaw({u"--dump"_s}, path);
        QVERIFY2(dump.out.contains("caf\\udce9.vcf\""), dump.out.constData());
        const Run json = searchRaw({u"--json"_s, u"-e"_s, u"needle"_s}, path);
        QVERIFY2(json.out.contains("caf\\udce9.vcf\""), json.out.constData());
    }
}

void TestCliSearch::jsonLines_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("rows"); // file|card|line|contact|text|tag|value
    QTest::newRow("cards of one file")
        << QStringList{u"tech"_s} << 0
        << QStringList{u"multi.vcf|1|1|Ann Tech|tech|FirstName|Ann Tech"_s,
                       u"multi.vcf|2|4|Bo Lee|tech|Title|Technician"_s,
                       u"tab.vcf|1|3|Tab\t\"Tech\"|tech|FirstName|Tab\t\"Tech\""_s,
                       u"tab.vcf|2|6|Tech, Inc., Lab|tech|Organization|Tech, Inc.;;Lab"_s};
    QTest::newRow("the search text that matched")
        << QStringList{u"lee"_s, u"tech"_s} << 0
        << QStringList{u"multi.vcf|1|1|Ann Tech|tech|FirstName|Ann Tech"_s,
                       u"multi.vcf|2|4|Bo Lee|lee|LastName|Lee"_s,
                       u"multi.vcf|2|4|Bo Lee|tech|Title|Technician"_s,
                       u"tab.vcf|1|3|Tab\t\"Tech\"|tech|FirstName|Tab\t\"Tech\""_s,
                       u"tab.vcf|2|6|Tech, Inc., Lab|tech|Organization|Tech, Inc.;;Lab"_s};
    QTest::newRow("no hit") << QStringList{u"zebra"_s} << 1 << QStringList{};
}

// --duplicates: the groups as text lines or one JSON object each, the exit status
// telling whether any was found.
void TestCliSearch::duplicates()
{
    QTemporaryDir dir;
    const QString a = writeTestFile(dir, u"a.vcf"_s,
                                    "BEGIN:VCARD\r\nFN:Ann\r\nTEL;TYPE=CELL:0176 12345678\r\n"
                                    "END:VCARD\r\nBEGIN:VCARD\r\nFN:Otto\r\nEND:VCARD\r\n");
    const QString b = writeTestFile(dir, u"b.vcf"_s,
                                    "BEGIN:VCARD\r\nFN:A.\r\nTEL:tel:+49-176-12345678\r\n"
                                    "END:VCARD\r\n");
    const QStringList options{u"--duplicates"_s, u"--region"_s, u"DE"_s};
    Run found = search(options + QStringList{a, b});
    QCOMPARE(found.status, 0);
    QCOMPARE(QString::fromUtf8(found.out),
             u"Group\tContact\tFile\tCard\tLine\tShared\t\r\n"
             "1\tAnn\t%1\t1\t1\t+49 176 12345678 (Mobile)\t\r\n"
             "1\tA.\t%2\t1\t1\t+49 176 12345678 (HomePhones)\t\r\n\r\n"_s.arg(a, b));

    found = search(options + QStringList{u"--json"_s, a, b});
    QCOMPARE(found.status, 0);
    const QJsonObject group = QJsonDocument::fromJson(found.out).object();
    QCOMPARE(group.value(u"cards"_s).toArray().size(), 2);
    QCOMPARE(group.value(u"cards"_s).toArray().at(1).toObject().value(u"file"_s).toString(), b);
    QCOMPARE(group.value(u"shared"_s).toArray().at(0).toString(),
             u"+49 176 12345678 (Mobile, HomePhones)"_s);

    // Only the cards that match a text take part.
    found = search(options + QStringList{u"-e"_s, u"Ann"_s, a, b});
    QCOMPARE(found.status, 1);
    QVERIFY(found.out.isEmpty());
}

void TestCliSearch::jsonLines()
{
    QFETCH(QStringList, texts);
    QFETCH(int, status);
    QFETCH(QStringList, rows);
    QStringList arguments{u"--json"_s};
    for (const QString &text : texts)
        arguments << u"-e"_s << text;
    const Run run = search(
        arguments + QStringList{m_dir.filePath(u"multi.vcf"_s), m_dir.filePath(u"tab.vcf"_s)});
    QCOMPARE(run.status, status);
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    QVERIFY(run.out.isEmpty() || run.out.endsWith('\n'));
    const QList<QByteArray> lines
        = run.out.isEmpty() ? QList<QByteArray>() : run.out.chopped(1).split('\n');
    QCOMPARE(lines.size(), rows.size());
    const QStringList keys{u"file"_s, u"card"_s, u"line"_s, u"contact"_s,
                           u"text"_s, u"tag"_s,  u"value"_s};
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QJsonParseError error{};
        const QJsonObject object = QJsonDocument::fromJson(lines.at(i), &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, lines.at(i).constData());
        QStringList values;
        qsizetype at = 0;
        for (const QString &key : keys) {
            // The keys come in this order.
            const qsizetype next
                = lines.at(i).indexOf(QByteArray("\"" + key.toUtf8() + "\": "), at);
            QVERIFY2(next > at, qPrintable(key));
            at = next;
            const QJsonValue value = object.value(key);
            values.append(value.isDouble() ? QString::number(value.toInteger()) : value.toString());
        }
        QCOMPARE(object.size(), keys.size());
        values.first() = QFileInfo(values.first()).fileName();
        QCOMPARE(values.join(u'|'), rows.at(i));
    }
}

void TestCliSearch::longValuesKeepSurrogatePairs_data()
{
    QTest::addColumn<QStringList>("mode");
    QTest::newRow("results file") << QStringList{u"-e"_s, u"needle"_s};
    QTest::newRow("--json") << QStringList{u"--json"_s, u"-e"_s, u"needle"_s};
    QTest::newRow("--dump") << QStringList{u"--dump"_s};
}

void TestCliSearch::longValuesKeepSurrogatePairs()
{
    // Long values are written 65,536 characters at a time. A character outside the BMP,
    // two UTF-16 units, at each place around such a cut comes out whole, as UTF-8.
    QFETCH(QStringList, mode);
    QStringList values;
    QByteArray cards;
    for (qsizetype at = 65528; at <= 65540; ++at) {
        const QString value = u"needle"_s + QString(at - 6, u'x') + u"\U0001F480 end"_s;
        values.append(value);
        cards += "BEGIN:VCARD\r\nFN:" + value.toUtf8() + "\r\nEND:VCARD\r\n";
    }
    const Run run = search(mode + QStringList{write(u"astral.vcf"_s, cards)});
    QCOMPARE(run.status, 0);
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString out = utf8(run.out);
    QVERIFY2(!utf8.hasError(), "the output is not UTF-8");
    for (const QString &value : std::as_const(values))
        QVERIFY2(out.contains(value), qPrintable(QString::number(value.indexOf(u'\xD83D'))));
}

void TestCliSearch::controlCharactersStayOffTheTerminal()
{
    // NUL, ESC and BEL in a value (quoted-printable makes the NUL), ESC in a file's name
    // and in a name that is not there.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = writeTestFile(
        dir, u"a\x1B[2J.vcf"_s,
        "BEGIN:VCARD\nFN;ENCODING=QUOTED-PRINTABLE:Ann=00=1B[31mRed=07\nEND:VCARD\n");
    const QString missing = dir.filePath(u"gone\x1B]0;x.vcf"_s);
    const Run text = search({u"-e"_s, u"ann"_s, file, missing});
    QCOMPARE(text.status, 2);
    QCOMPARE(text.out,
             "File\tTag\t Value\tContact\t\r\n" + file.toUtf8().replace('\x1B', ' ')
                 + "\tFirstName\tAnn  [31mRed \tAnn  [31mRed \t\r\n");
    QCOMPARE(text.err,
             u"quillory-search: "_s + QString(missing).replace(u'\x1B', u"\\x1B"_s)
                 + u": No such file or directory\n"_s);
    // JSON lines escape them instead.
    const Run json = search({u"--json"_s, u"-e"_s, u"ann"_s, file});
    QCOMPARE(json.status, 0);
    QVERIFY2(json.out.contains(R"("value": "Ann\u0000\u001b[31mRed\u0007")"), json.out.constData());
}

QTEST_GUILESS_MAIN(TestCliSearch)
#include "tst_cli_search.moc"
