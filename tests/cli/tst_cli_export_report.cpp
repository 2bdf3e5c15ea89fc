// What quillory-search writes beside its rows: the cards found, exported as a vCard file,
// and the reading report.

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "CliRun.h"
#include "TestFiles.h"

#include <sys/stat.h>

using namespace Qt::StringLiterals;

class TestCliExportReport final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exportCards_data();
    void exportCards();
    void exportNeverReplacesWhatItMayNot_data();
    void exportNeverReplacesWhatItMayNot();
    void readingReport_data();
    void readingReport();

private:
    QTemporaryDir m_dir;
};

void TestCliExportReport::initTestCase()
{
    QVERIFY(m_dir.isValid());
    writeSearchedFiles(m_dir);
}

void TestCliExportReport::exportCards_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("target"); // in the temporary folder
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("cards"); // what the target holds then
    QTest::newRow("the matching cards, once each")
        << QStringList{u"-e"_s, u"tech"_s, u"-e"_s, u"ann"_s} << u"cards.vcf"_s << 0
        << QByteArray("BEGIN:VCARD\nFN:Ann Tech\nEND:VCARD\nBEGIN:VCARD\nN:Lee;Bo\n"
                      "TITLE:Technician\nEND:VCARD\n");
    QTest::newRow("with JSON lines")
        << QStringList{u"--json"_s, u"-e"_s, u"bo"_s} << u"cards.vcf"_s << 0
        << QByteArray("BEGIN:VCARD\nN:Lee;Bo\nTITLE:Technician\n"
                      "END:VCARD\n");
    // A file of its own beside multi.vcf: its card matches only through a value that a
    // later line wrote over.
    QTest::newRow("a card found by a value written over")
        << QStringList{u"-e"_s, u"simon perreault"_s, m_dir.filePath(u"overwritten.vcf"_s)}
        << u"cards.vcf"_s << 0 << kOverwritten;
    QTest::newRow("no hit, no card")
        << QStringList{u"-e"_s, u"zebra"_s} << u"cards.vcf"_s << 1 << QByteArray();
    QTest::newRow("a path under a regular file")
        << QStringList{u"-e"_s, u"tech"_s} << u"multi.vcf/cards.vcf"_s << 2 << QByteArray();
    QTest::newRow("a folder in the file's place")
        << QStringList{u"-e"_s, u"tech"_s} << u"tree"_s << 2 << QByteArray();
}

void TestCliExportReport::exportCards()
{
    QFETCH(QStringList, options);
    QFETCH(QString, target);
    QFETCH(int, status);
    QFETCH(QByteArray, cards);
    const QString path = m_dir.filePath(target);
    QFile::remove(path);
    const QStringList files{m_dir.filePath(u"multi.vcf"_s)};
    const Run run = search(options + QStringList{u"--export-cards"_s, path} + files);
    QCOMPARE(run.status, status);
    // The results are printed as usual.
    QCOMPARE(run.out, search(options + files).out);
    if (status == 2) {
        QVERIFY2(run.err.startsWith(u"quillory-search: cannot write the cards: "_s + path),
                 qPrintable(run.err));
        return;
    }
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    QCOMPARE(readTestFile(path), cards);
}

void TestCliExportReport::exportNeverReplacesWhatItMayNot_data()
{
    QTest::addColumn<QString>("target"); // in a folder of its own, which holds book.vcf
    QTest::addColumn<QString>("searched"); // likewise
    QTest::addColumn<QString>("reason");
    const QString input = u"this is one of the files searched"_s;
    QTest::newRow("the file searched") << u"book.vcf"_s << u"book.vcf"_s << input;
    QTest::newRow("a link to it") << u"link.vcf"_s << u"book.vcf"_s << input;
    QTest::newRow("a hard link to it") << u"hard.vcf"_s << u"book.vcf"_s << input;
    QTest::newRow("a file of a folder searched") << u"sub/inner.vcf"_s << u"."_s << input;
    QTest::newRow("a device") << u"/dev/null"_s << u"book.vcf"_s << u"this is a device"_s;
    QTest::newRow("a FIFO") << u"fifo"_s << u"book.vcf"_s << u"this is a FIFO"_s;
    QTest::newRow("the file the results go to")
        << u"/dev/stdout"_s << u"book.vcf"_s << u"this is where the results or errors"_s;
}

void TestCliExportReport::exportNeverReplacesWhatItMayNot()
{
    QFETCH(QString, target);
    QFETCH(QString, searched);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray book = "BEGIN:VCARD\nFN:Ann\nEND:VCARD\nBEGIN:VCARD\nFN:Bob\nEND:VCARD\n";
    const QString bookPath = writeTestFile(dir, u"book.vcf"_s, book);
    writeTestFile(dir, u"sub/inner.vcf"_s, book);
    QVERIFY(QFile::link(bookPath, dir.filePath(u"link.vcf"_s)));
    linkTestFile(bookPath, {dir.filePath(u"hard.vcf"_s)});
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(u"fifo"_s)).constData(), 0600), 0);
    const QString path = QDir(dir.path()).absoluteFilePath(target);
    struct stat before
    {
    };
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);

    QProcess process;
    // Standard output goes to a regular file, which /dev/stdout then names.
    process.setStandardOutputFile(dir.filePath(u"results.txt"_s));
    process.start(QStringLiteral(QUILLORY_SEARCH_BIN),
                  {u"-e"_s, u"ann"_s, u"--export-cards"_s, path, dir.filePath(searched)});
    QVERIFY(process.waitForFinished(20000));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    QCOMPARE(process.exitCode(), 2);
    QVERIFY2(
        err.startsWith(u"quillory-search: cannot write the cards: "_s + path + u": "_s + reason),
        qPrintable(err));
    QVERIFY2(err.endsWith(u"; choose another file.\n"_s), qPrintable(err));
    struct stat after
    {
    };
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &after), 0);
    QCOMPARE(after.st_mode & S_IFMT, before.st_mode & S_IFMT);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(readTestFile(bookPath), book);
    QCOMPARE(readTestFile(dir.filePath(u"sub/inner.vcf"_s)), book);
}

void TestCliExportReport::readingReport_data()
{
    QTest::addColumn<QStringList>("arguments"); // REPORT stands for the report's file
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("counts"); // files read, not read, cards, rows; files listed
    QTest::addColumn<bool>("toError");

    const QString tree = m_dir.filePath(u"tree"_s);
    const QString multi = m_dir.filePath(u"multi.vcf"_s);
    QTest::newRow("rows found") << QStringList{u"-e"_s, u"tech"_s, u"--report"_s, u"REPORT"_s, tree}
                                << 0 << u"2 0 3 4; 0"_s << false;
    QTest::newRow("nothing found keeps its status")
        << QStringList{u"-e"_s, u"zzqq"_s, u"--report"_s, u"REPORT"_s, multi} << 1
        << u"1 0 2 0; 0"_s << false;
    QTest::newRow("a file not read fails the search, and the report tells why")
        << QStringList{u"-e"_s, u"tech"_s, u"--report"_s, u"REPORT"_s, multi, u"FIFO"_s} << 2
        << u"1 1 2 2; 1"_s << false;
    QTest::newRow("to standard error")
        << QStringList{u"-e"_s, u"tech"_s, u"--report"_s, u"-"_s, multi} << 0 << u"1 0 2 2; 0"_s
        << true;
    QTest::newRow("--hash lists every file")
        << QStringList{u"-e"_s, u"tech"_s, u"--hash"_s, u"--report"_s, u"REPORT"_s, multi} << 0
        << u"1 0 2 2; 1"_s << false;
}

void TestCliExportReport::readingReport()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, counts);
    QFETCH(bool, toError);
    const QString path = m_dir.filePath(u"report.json"_s);
    QFile::remove(path);
    arguments.replaceInStrings(u"REPORT"_s, path);
    const QString fifo = m_dir.filePath(u"report-fifo.vcf"_s);
    if (arguments.contains(u"FIFO"_s) && !QFile::exists(fifo))
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    arguments.replaceInStrings(u"FIFO"_s, fifo);
    const Run result = search(arguments);
    QCOMPARE(result.status, status);
    const QByteArray json = toError ? result.err.toUtf8() : readTestFile(path);
    const QJsonObject report = QJsonDocument::fromJson(json).object();
    const auto number = [&](const char *key) {
        return QString::number(report[QLatin1StringView(key)].toInteger());
    };
    QCOMPARE(number("files_read") + u' ' + number("files_not_read") + u' ' + number("cards") + u' '
                 + number("rows") + u"; "_s + QString::number(report[u"files"_s].toArray().size()),
             counts);
    if (arguments.contains(u"--hash"_s))
        QCOMPARE(report[u"files"_s].toArray().at(0).toObject()[u"sha256"_s].toString().toLatin1(),
                 QCryptographicHash::hash(readTestFile(m_dir.filePath(u"multi.vcf"_s)),
                                          QCryptographicHash::Sha256)
                     .toHex());
}

QTEST_GUILESS_MAIN(TestCliExportReport)
#include "tst_cli_export_report.moc"
