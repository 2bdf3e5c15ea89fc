// quillory-search --dump as a separate process: the JSON Lines it writes, the order of
// files and cards, the text encoding, and how it reports paths it cannot read.

#include "TestFiles.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <QStringView>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <sys/types.h>

using namespace Qt::StringLiterals;

namespace {

// Long enough for a slow CI machine; short enough that a tool stuck on a FIFO with no
// writer fails the test instead of hanging the suite.
constexpr int kTimeoutMs = 30000;

// The record's fields in the order every line must list them. Written out here rather
// than taken from the library so that a reordering there shows up as a failure.
constexpr QStringView kFields[] = {
    u"FirstName",
    u"LastName",
    u"Nickname",
    u"Organization",
    u"Birthday",
    u"Title",
    u"Role",
    u"Emails",
    u"Urls",
    u"BusinessPhones",
    u"HomePhones",
    u"Notes",
    u"BusinessAddress1",
    u"BusinessAddress2",
    u"BusinessCity",
    u"BusinessState",
    u"BusinessCountry",
    u"BusinessPostal",
    u"HomeAddress1",
    u"HomeAddress2",
    u"HomeCity",
    u"HomeState",
    u"HomeCountry",
    u"HomePostal",
    u"HomeFax",
    u"Mobile",
    u"Pager",
};

bool isListField(QStringView field)
{
    return field == u"Emails" || field == u"Urls" || field == u"BusinessPhones"
        || field == u"HomePhones";
}

QStringList expectedKeys()
{
    QStringList keys{u"file"_s, u"card"_s};
    for (QStringView field : kFields)
        keys.append(field.toString());
    return keys;
}

struct Run
{
    QString failure; // empty when the process started and exited normally
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Run runTool(const QStringList &args, const QString &workDir = {},
            const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    Run run;
    QProcess process;
    process.setProgram(QStringLiteral(QUILLORY_SEARCH_BIN));
    process.setArguments(args);
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    process.setProcessEnvironment(env);
    process.start();
    if (!process.waitForStarted(kTimeoutMs)) {
        run.failure = u"could not start: "_s + process.errorString();
        return run;
    }
    // The tool has no business reading stdin; an open pipe would make such a read hang.
    process.closeWriteChannel();
    if (!process.waitForFinished(kTimeoutMs)) {
        process.kill();
        process.waitForFinished(kTimeoutMs);
        run.failure = u"did not finish in time (args: "_s + args.join(u' ') + u')';
        return run;
    }
    if (process.exitStatus() != QProcess::NormalExit)
        run.failure = u"crashed (args: "_s + args.join(u' ') + u')';
    run.status = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

/// The keys of a JSON object's top level in the order the text lists them.
/// QJsonObject sorts its keys and merges duplicates, so the order can only be seen here.
QStringList topLevelKeys(QByteArrayView line)
{
    QStringList keys;
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    bool expectKey = false;
    qsizetype keyStart = -1;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
                if (keyStart >= 0) {
                    keys.append(QString::fromUtf8(line.sliced(keyStart, i - keyStart)));
                    keyStart = -1;
                }
            }
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            if (depth == 1 && expectKey) {
                keyStart = i + 1;
                expectKey = false;
            }
            break;
        case '{':
        case '[':
            ++depth;
            if (depth == 1)
                expectKey = true;
            break;
        case '}':
        case ']':
            --depth;
            break;
        case ',':
            if (depth == 1)
                expectKey = true;
            break;
        default:
            break;
        }
    }
    return keys;
}

/// Parses the tool's stdout into one object per line, failing the current test on
/// anything a JSON Lines reader would trip over or a record that is not shaped right.
void parseDump(const QByteArray &out, QList<QJsonObject> &cards)
{
    cards.clear();
    if (out.isEmpty())
        return;
    QVERIFY2(out.endsWith('\n'), "the last line is not terminated");

    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString decoded = utf8(out);
    QVERIFY2(!utf8.hasError(), "stdout is not valid UTF-8");

    const QStringList keys = expectedKeys();
    const QList<QByteArray> lines = out.chopped(1).split('\n');
    for (const QByteArray &line : lines) {
        // JSON forbids raw control characters inside strings, and a raw CR would
        // survive splitting on LF unnoticed.
        for (const char c : line)
            QVERIFY2(static_cast<unsigned char>(c) >= 0x20,
                     qPrintable(u"raw control character in: "_s + QString::fromUtf8(line)));

        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        QVERIFY2(error.error == QJsonParseError::NoError,
                 qPrintable(error.errorString() + u" in: "_s + QString::fromUtf8(line)));
        QVERIFY2(doc.isObject(), qPrintable(u"not an object: "_s + QString::fromUtf8(line)));
        QCOMPARE(topLevelKeys(line), keys);

        const QJsonObject card = doc.object();
        QVERIFY(card.value(u"file").isString());
        const QJsonValue number = card.value(u"card");
        QVERIFY2(number.isDouble() && number.toDouble() == double(number.toInteger()),
                 "card is not an integer");
        for (QStringView field : kFields) {
            const QJsonValue value = card.value(field);
            if (isListField(field)) {
                QVERIFY2(value.isArray(), qPrintable(field.toString() + u" is not an array"_s));
                for (const QJsonValue &item : value.toArray())
                    QVERIFY2(item.isString(),
                             qPrintable(field.toString() + u" holds a non-string"_s));
            } else {
                QVERIFY2(value.isString(), qPrintable(field.toString() + u" is not a string"_s));
            }
        }
        cards.append(card);
    }
}

/// "file#card:name", where name is LastName or, when that is empty, FirstName: enough
/// to tell the fixtures' cards apart.
QString label(const QJsonObject &card)
{
    QString name = card.value(u"LastName").toString();
    if (name.isEmpty())
        name = card.value(u"FirstName").toString();
    return card.value(u"file").toString() + u'#' + QString::number(card.value(u"card").toInteger())
        + u':' + name;
}

QStringList labels(const QList<QJsonObject> &cards)
{
    QStringList result;
    for (const QJsonObject &card : cards)
        result.append(label(card));
    return result;
}

QStringList stderrLines(const QByteArray &err)
{
    QString text = QString::fromUtf8(err);
    if (text.endsWith(u'\n'))
        text.chop(1);
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}

QStringList multiNestedLabels(const QString &file)
{
    return {file + u"#1:First Card"_s, file + u"#2:Outer Card"_s, file + u"#3:Agent Card"_s,
            file + u"#4:Last Card"_s};
}

} // namespace

class TestCliDump final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void lineShape_data();
    void lineShape();
    void filePathAsGiven_data();
    void filePathAsGiven();
    void fileAndCardOrder_data();
    void fileAndCardOrder();
    void listFields_data();
    void listFields();
    void utf8Text_data();
    void utf8Text();
    void jsonEscaping_data();
    void jsonEscaping();
    void emptyCard_data();
    void emptyCard();
    void unreadablePaths_data();
    void unreadablePaths();
    void usage_data();
    void usage();

private:
    QTemporaryDir m_tmp;
    QString m_spaced; // copy of utf8-bom.vcf under a folder and name with spaces
    QString m_oddName; // copy of utf8-bom.vcf whose name needs JSON escapes
    QString m_folder; // a folder named like a card file
    QString m_fifo; // a FIFO named like a card file, never written to
};

void TestCliDump::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    const QString source = fixture(u"utf8-bom.vcf"_s);

    QVERIFY(QDir(m_tmp.path()).mkpath(u"with space"_s));
    m_spaced = m_tmp.filePath(u"with space/Jürgen Groß.vcf"_s);
    QVERIFY(QFile::copy(source, m_spaced));

    m_oddName = m_tmp.filePath(u"q\"u\\o\tt\ne.vcf"_s);
    QVERIFY(QFile::copy(source, m_oddName));

    m_folder = m_tmp.filePath(u"folder.vcf"_s);
    QVERIFY(QDir(m_tmp.path()).mkdir(u"folder.vcf"_s));

    m_fifo = m_tmp.filePath(u"pipe.vcf"_s);
    QVERIFY2(::mkfifo(QFile::encodeName(m_fifo).constData(), 0600) == 0, std::strerror(errno));
}

void TestCliDump::lineShape_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("cards");

    QTest::newRow("UTF-16LE with BOM") << u"utf16le-bom.vcf"_s << 1;
    QTest::newRow("UTF-16BE without BOM") << u"utf16be-nomark.vcf"_s << 1;
    QTest::newRow("UTF-16BE with BOM, CR line ends") << u"utf16be-mark-cr.vcf"_s << 1;
    QTest::newRow("UTF-8 with BOM") << u"utf8-bom.vcf"_s << 1;
    QTest::newRow("iOS CR CR LF line ends") << u"ios-crcrlf.vcf"_s << 1;
    QTest::newRow("Windows-1252 without charset") << u"cp1252-nocharset.vcf"_s << 1;
    QTest::newRow("Shift_JIS") << u"shift-jis.vcf"_s << 1;
    QTest::newRow("four cards, one nested") << u"multi-nested.vcf"_s << 4;
    QTest::newRow("zero-byte file") << u"empty.vcf"_s << 1;
}

void TestCliDump::lineShape()
{
    QFETCH(QString, file);
    QFETCH(int, cards);

    const Run run = runTool({u"--dump"_s, file}, cardsDir());
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err, QByteArray());

    QList<QJsonObject> parsed;
    parseDump(run.out, parsed);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(parsed.size(), cards);
    for (qsizetype i = 0; i < parsed.size(); ++i) {
        QCOMPARE(parsed[i].value(u"file").toString(), file);
        QCOMPARE(parsed[i].value(u"card").toInteger(), i + 1);
    }
}

void TestCliDump::filePathAsGiven_data()
{
    QTest::addColumn<QString>("workDir");
    QTest::addColumn<QString>("path");

    QTest::newRow("bare relative name") << cardsDir() << u"utf8-bom.vcf"_s;
    QTest::newRow("relative with ./") << cardsDir() << u"./utf8-bom.vcf"_s;
    QTest::newRow("relative with ..") << cardsDir() << u"../cards/utf8-bom.vcf"_s;
    QTest::newRow("doubled slash not cleaned") << cardsDir() << u".//utf8-bom.vcf"_s;
    QTest::newRow("absolute") << QString() << fixture(u"utf8-bom.vcf"_s);
    QTest::newRow("relative with spaces and non-ASCII")
        << m_tmp.path() << u"with space/Jürgen Groß.vcf"_s;
    QTest::newRow("absolute with spaces and non-ASCII") << QString() << m_spaced;
    QTest::newRow("quote, backslash, tab and newline in name") << QString() << m_oddName;
}

void TestCliDump::filePathAsGiven()
{
    QFETCH(QString, workDir);
    QFETCH(QString, path);

    const Run run = runTool({u"--dump"_s, path}, workDir);
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(run.status, 0);

    QList<QJsonObject> parsed;
    parseDump(run.out, parsed);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(parsed.size(), 1);
    QCOMPARE(parsed[0].value(u"file").toString(), path);
    // The card's content shows the file was read, not taken for a missing one.
    QCOMPARE(parsed[0].value(u"LastName").toString(), u"Groß"_s);
}

void TestCliDump::fileAndCardOrder_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("expected");

    const QString multi = u"multi-nested.vcf"_s;
    const QString utf8 = u"utf8-bom.vcf"_s;
    const QString sjis = u"shift-jis.vcf"_s;

    QTest::newRow("four cards of one file in file order")
        << QStringList{multi} << multiNestedLabels(multi);
    QTest::newRow("numbering restarts with the next file")
        << QStringList{multi, utf8} << (multiNestedLabels(multi) << utf8 + u"#1:Groß"_s);
    QTest::newRow("files in argument order, not name order")
        << QStringList{utf8, multi, sjis}
        << (QStringList{utf8 + u"#1:Groß"_s} << multiNestedLabels(multi) << sjis + u"#1:安藤"_s);
    QTest::newRow("same file twice is read twice")
        << QStringList{multi, multi} << (multiNestedLabels(multi) << multiNestedLabels(multi));
}

void TestCliDump::fileAndCardOrder()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, expected);

    const Run run = runTool(QStringList{u"--dump"_s} + files, cardsDir());
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(run.status, 0);

    QList<QJsonObject> parsed;
    parseDump(run.out, parsed);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(labels(parsed), expected);
}

void TestCliDump::listFields_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("card");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QStringList>("values");

    QTest::newRow("two emails in card order")
        << u"multi-nested.vcf"_s << 1 << u"Emails"_s
        << QStringList{u"one@example.org"_s, u"two@example.org"_s};
    QTest::newRow("emails of the card after a nested one")
        << u"multi-nested.vcf"_s << 4 << u"Emails"_s
        << QStringList{u"three@example.org"_s, u"four@example.org"_s};
    QTest::newRow("phone after the nested card stays with the outer card")
        << u"multi-nested.vcf"_s << 2 << u"BusinessPhones"_s << QStringList{u"555 0101"_s};
    QTest::newRow("nested card gets none of the outer card's phones")
        << u"multi-nested.vcf"_s << 3 << u"BusinessPhones"_s << QStringList();
    QTest::newRow("home phone") << u"shift-jis.vcf"_s << 1 << u"HomePhones"_s
                                << QStringList{u"0300000000"_s};
    QTest::newRow("no URL is an empty array")
        << u"utf8-bom.vcf"_s << 1 << u"Urls"_s << QStringList();
}

void TestCliDump::listFields()
{
    QFETCH(QString, file);
    QFETCH(int, card);
    QFETCH(QString, field);
    QFETCH(QStringList, values);

    const Run run = runTool({u"--dump"_s, file}, cardsDir());
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));

    QList<QJsonObject> parsed;
    parseDump(run.out, parsed);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(card <= parsed.size());
    QStringList actual;
    for (const QJsonValue &item : parsed[card - 1].value(field).toArray())
        actual.append(item.toString());
    QCOMPARE(actual, values);
}

void TestCliDump::utf8Text_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("cLocale");

    QTest::newRow("UTF-16LE with BOM, family name")
        << u"utf16le-bom.vcf"_s << u"LastName"_s << u"Groß"_s << false;
    QTest::newRow("UTF-16LE with BOM, given name")
        << u"utf16le-bom.vcf"_s << u"FirstName"_s << u"Jürgen"_s << false;
    QTest::newRow("UTF-16BE without BOM")
        << u"utf16be-nomark.vcf"_s << u"LastName"_s << u"Groß"_s << false;
    QTest::newRow("UTF-16BE with BOM, CR line ends")
        << u"utf16be-mark-cr.vcf"_s << u"FirstName"_s << u"Jürgen"_s << false;
    QTest::newRow("UTF-8 with BOM") << u"utf8-bom.vcf"_s << u"LastName"_s << u"Groß"_s << false;
    QTest::newRow("Shift_JIS kanji") << u"shift-jis.vcf"_s << u"LastName"_s << u"安藤"_s << false;
    QTest::newRow("Shift_JIS katakana")
        << u"shift-jis.vcf"_s << u"FirstName"_s << u"ロイド"_s << false;
    QTest::newRow("Windows-1252 without charset")
        << u"cp1252-nocharset.vcf"_s << u"LastName"_s << u"Müller"_s << false;
    QTest::newRow("Windows-1252 euro sign, three UTF-8 bytes")
        << u"cp1252-nocharset.vcf"_s << u"Notes"_s << u"€"_s << false;
    // The output encoding must not follow the user's locale.
    QTest::newRow("UTF-16LE under the C locale")
        << u"utf16le-bom.vcf"_s << u"LastName"_s << u"Groß"_s << true;
    QTest::newRow("Shift_JIS under the C locale")
        << u"shift-jis.vcf"_s << u"FirstName"_s << u"ロイド"_s << true;
}

void TestCliDump::utf8Text()
{
    QFETCH(QString, file);
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(bool, cLocale);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (cLocale) {
        env.remove(u"LANG"_s);
        env.remove(u"LANGUAGE"_s);
        env.remove(u"LC_CTYPE"_s);
        env.insert(u"LC_ALL"_s, u"C"_s);
    }
    const Run run = runTool({u"--dump"_s, file}, cardsDir(), env);
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(run.status, 0);

    // parseDump already rejects invalid UTF-8; the bytes themselves are checked too,
    // since a \u escape would parse to the same text.
    QVERIFY2(run.out.contains(text.toUtf8()),
             qPrintable(u"the UTF-8 bytes of "_s + text + u" are not in the output"_s));

    QList<QJsonObject> parsed;
    parseDump(run.out, parsed);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(parsed.size(), 1);
    const QString value = parsed[0].value(field).toString();
    QVERIFY2(value.contains(text), qPrintable(field + u" is "_s + value));
}

void TestCliDump::jsonEscaping_data()
{
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");

    QTest::newRow("double quotes")
        << QByteArray("NOTE:say \"hi\"") << u"Notes"_s << u"say \"hi\""_s;
    QTest::newRow("escaped backslash becomes one backslash")
        << QByteArray("NOTE:C:\\\\Users") << u"Notes"_s << u"C:\\Users"_s;
    QTest::newRow("backslash before an ordinary letter is kept")
        << QByteArray("NOTE:a\\xb") << u"Notes"_s << u"a\\xb"_s;
    QTest::newRow("backslash right before a quote")
        << QByteArray("TITLE:\\\"q\\\"") << u"Title"_s << u"\\\"q\\\""_s;
    QTest::newRow("tab inside a value") << QByteArray("NOTE:a\tb") << u"Notes"_s << u"a\tb"_s;
    QTest::newRow("control characters without a short escape")
        << QByteArray("NOTE:a\x01"
                      "b\x1f"
                      "c")
        << u"Notes"_s << u"a\u0001b\u001fc"_s;
    QTest::newRow("quote and backslash in a list field")
        << QByteArray("EMAIL:\"odd\\xname\"@example.org") << u"Emails"_s
        << u"\"odd\\xname\"@example.org"_s;
}

void TestCliDump::jsonEscaping()
{
    QFETCH(QByteArray, property);
    QFETCH(QString, field);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"card.vcf"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Escape Test\r\n" + property + "\r\nEND:VCARD\r\n");
    file.close();

    const Run run = runTool({u"--dump"_s, path});
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(run.status, 0);

    QList<QJsonObject> parsed;
    parseDump(run.out, parsed);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(parsed.size(), 1);
    const QJsonValue value = parsed[0].value(field);
    if (isListField(field)) {
        QCOMPARE(value.toArray().size(), 1);
        QCOMPARE(value.toArray().at(0).toString(), expected);
    } else {
        QCOMPARE(value.toString(), expected);
    }
}

void TestCliDump::emptyCard_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("path");

    const QString zeroBytes = fixture(u"empty.vcf"_s);
    QFile dashed(m_tmp.filePath(u"-card.vcf"_s));
    QVERIFY(dashed.open(QIODevice::WriteOnly));

    QTest::newRow("zero-byte file") << QStringList{u"--dump"_s, zeroBytes} << zeroBytes;
    QTest::newRow("name starting with a dash after --")
        << QStringList{u"--dump"_s, u"--"_s, u"-card.vcf"_s} << u"-card.vcf"_s;
}

void TestCliDump::emptyCard()
{
    QFETCH(QStringList, args);
    QFETCH(QString, path);

    const Run run = runTool(args, m_tmp.path());
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err, QByteArray());

    QList<QJsonObject> parsed;
    parseDump(run.out, parsed);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(parsed.size(), 1);
    QCOMPARE(parsed[0].value(u"file").toString(), path);
    QCOMPARE(parsed[0].value(u"card").toInteger(), 1);
    for (QStringView field : kFields) {
        const QJsonValue value = parsed[0].value(field);
        if (isListField(field))
            QVERIFY2(value.toArray().isEmpty(), qPrintable(field.toString()));
        else
            QVERIFY2(value.toString().isEmpty(), qPrintable(field.toString()));
    }
}

void TestCliDump::unreadablePaths_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QStringList>("unreadable");
    QTest::addColumn<QStringList>("reasons"); // per unreadable path; empty: any reason
    QTest::addColumn<QStringList>("expected");

    const QString utf8 = u"utf8-bom.vcf"_s;
    const QString multi = u"multi-nested.vcf"_s;
    const QString isDir = QString::fromLocal8Bit(std::strerror(EISDIR));

    QTest::newRow("folder between two files")
        << QStringList{utf8, m_folder, multi} << QStringList{m_folder} << QStringList{isDir}
        << (QStringList{utf8 + u"#1:Groß"_s} << multiNestedLabels(multi));
    QTest::newRow("folder first") << QStringList{m_folder, utf8} << QStringList{m_folder}
                                  << QStringList{isDir} << QStringList{utf8 + u"#1:Groß"_s};
    QTest::newRow("only a folder")
        << QStringList{m_folder} << QStringList{m_folder} << QStringList{isDir} << QStringList();
    QTest::newRow("relative folder named as given")
        << QStringList{u"../cards"_s, utf8} << QStringList{u"../cards"_s} << QStringList{isDir}
        << QStringList{utf8 + u"#1:Groß"_s};
    QTest::newRow("FIFO between two files")
        << QStringList{multi, m_fifo, utf8} << QStringList{m_fifo} << QStringList{QString()}
        << (multiNestedLabels(multi) << utf8 + u"#1:Groß"_s);
    // A path that does not exist is an error, as in a search: no card is made up for it.
    const QString noSuch = QString::fromLocal8Bit(std::strerror(ENOENT));
    QTest::newRow("FIFO, missing file and folder: one line each unreadable, in order")
        << QStringList{m_fifo, u"nosuch.vcf"_s, m_folder, utf8}
        << QStringList{m_fifo, u"nosuch.vcf"_s, m_folder} << QStringList{QString(), noSuch, isDir}
        << QStringList{utf8 + u"#1:Groß"_s};
    QTest::newRow("missing folder on the path")
        << QStringList{u"no such folder/card.vcf"_s, utf8}
        << QStringList{u"no such folder/card.vcf"_s} << QStringList{noSuch}
        << QStringList{utf8 + u"#1:Groß"_s};
}

void TestCliDump::unreadablePaths()
{
    QFETCH(QStringList, paths);
    QFETCH(QStringList, unreadable);
    QFETCH(QStringList, reasons);
    QFETCH(QStringList, expected);

    const Run run = runTool(QStringList{u"--dump"_s} + paths, cardsDir());
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(run.status, 2);

    const QStringList lines = stderrLines(run.err);
    QCOMPARE(lines.size(), unreadable.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QVERIFY2(lines[i].contains(unreadable[i]),
                 qPrintable(u"does not name "_s + unreadable[i] + u": "_s + lines[i]));
        QVERIFY2(lines[i].contains(reasons[i]),
                 qPrintable(u"does not give the reason "_s + reasons[i] + u": "_s + lines[i]));
    }

    QList<QJsonObject> parsed;
    parseDump(run.out, parsed);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(labels(parsed), expected);
}

void TestCliDump::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");

    QTest::newRow("--help") << QStringList{u"--help"_s} << 0;
    QTest::newRow("-h") << QStringList{u"-h"_s} << 0;
    QTest::newRow("no arguments") << QStringList() << 2;
    QTest::newRow("--dump without a path") << QStringList{u"--dump"_s} << 2;
    QTest::newRow("path without --dump") << QStringList{u"utf8-bom.vcf"_s} << 2;
    QTest::newRow("unknown option")
        << QStringList{u"--dump"_s, u"--bogus"_s, u"utf8-bom.vcf"_s} << 2;
}

void TestCliDump::usage()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);

    const Run run = runTool(args, cardsDir());
    QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
    QCOMPARE(run.status, status);
    if (status == 0) {
        QVERIFY2(run.out.contains("--dump"), run.out.constData());
        QCOMPARE(run.err, QByteArray());
    } else {
        // A usage error explains itself on stderr and writes no card, not even a
        // partial one, to stdout.
        QCOMPARE(run.out, QByteArray());
        QVERIFY(!run.err.trimmed().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestCliDump)
#include "tst_cli_dump.moc"
