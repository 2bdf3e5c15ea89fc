// The reading report: the facts each file gives, over hand-made broken files and the
// shared corpus, and its JSON against the schema kept in docs/.

#include "card/CardBlocks.h"
#include "card/CardFile.h"
#include "card/CardParser.h"
#include "search/SearchReport.h"
#include "search/SearchRun.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"

#include <optional>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using Problem = ReadFacts::Problem;
using Way = ReadFacts::CharsetWay;

namespace {

/// A run that reads facts, told to a report and kept per file.
struct FactsRun final : SearchListener
{
    explicit FactsRun(qsizetype spoolAfter = -1) : report(true, spoolAfter) {}

    SearchReport report;
    QList<ReadFacts> facts;
    QList<ResultRow> found;

    bool search(const QStringList &files, const QString &text, bool readFacts = true,
                int threads = 2)
    {
        SearchRun run({threads, false, false, readFacts, true}, files);
        run.setCriteria(criteriaFor(SearchChoices::forTexts({text})));
        const bool completed = run.run(*this);
        report.finish(files.size(), run.filesDone(), !completed, false, {});
        return completed;
    }
    void fileStarted(qsizetype index, const FileRef &file) override
    {
        report.fileStarted(index, file);
        facts.append(ReadFacts());
    }
    void fileRead(qsizetype index, const ReadFacts &read) override
    {
        report.fileRead(index, read);
        facts[index] = read;
    }
    bool rows(QList<ResultRow> &&batch) override
    {
        report.addRows(batch.size());
        found.append(batch);
        return true;
    }
    void fileFailed(qsizetype index, FileFailure kind, const QString &description) override
    {
        report.fileFailed(index, kind, description);
    }
};

/// The problems as "kind@line×count", in their order.
QString problemsText(const ReadFacts &facts)
{
    QStringList found;
    for (std::size_t k = 0; k < ReadFacts::kProblemKinds; ++k) {
        const ReadFacts::Tally &tally = facts.problems[k];
        if (tally.count > 0)
            found.append(SearchReport::problemName(Problem(k)) + u'@'
                         + QString::number(tally.first) + u'x' + QString::number(tally.count));
    }
    return found.join(u", "_s);
}

QByteArray encoded(const char *charset, const QString &text)
{
    QStringEncoder encoder(charset);
    return encoder.encode(text);
}

/// Checks a JSON value against the part of JSON Schema the report's schema uses: type,
/// enum, required, properties, additionalProperties false, items, minimum and pattern.
/// Returns the first problem found, with its place; empty when it holds.
QString schemaProblem(const QJsonValue &value, const QJsonObject &schema, const QString &at)
{
    const auto typeName = [](const QJsonValue &v) -> QString {
        switch (v.type()) {
        case QJsonValue::Null:
            return u"null"_s;
        case QJsonValue::Bool:
            return u"boolean"_s;
        case QJsonValue::Double:
            return v.toDouble() == double(v.toInteger()) ? u"integer"_s : u"number"_s;
        case QJsonValue::String:
            return u"string"_s;
        case QJsonValue::Array:
            return u"array"_s;
        case QJsonValue::Object:
            return u"object"_s;
        default:
            return u"undefined"_s;
        }
    };
    if (schema.contains(u"enum"_s) && !schema[u"enum"_s].toArray().contains(value))
        return at + u": not one of the enum"_s;
    if (schema.contains(u"type"_s)) {
        const QJsonValue type = schema[u"type"_s];
        const QStringList types = type.isArray() ? type.toVariant().toStringList()
                                                 : QStringList{type.toString()};
        const QString actual = typeName(value);
        if (!types.contains(actual) && !(actual == u"integer"_s && types.contains(u"number"_s)))
            return at + u": "_s + actual + u" is not "_s + types.join(u'/');
    }
    if (value.isDouble() && schema.contains(u"minimum"_s)
        && value.toDouble() < schema[u"minimum"_s].toDouble())
        return at + u": below the minimum"_s;
    if (value.isString() && schema.contains(u"pattern"_s)
        && !QRegularExpression(schema[u"pattern"_s].toString()).match(value.toString()).hasMatch())
        return at + u": does not match its pattern"_s;
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        const QJsonObject properties = schema[u"properties"_s].toObject();
        for (const QJsonValue &key : schema[u"required"_s].toArray()) {
            if (!object.contains(key.toString()))
                return at + u": lacks "_s + key.toString();
        }
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!properties.contains(it.key())) {
                if (schema[u"additionalProperties"_s] == QJsonValue(false))
                    return at + u": unknown key "_s + it.key();
                continue;
            }
            const QString problem = schemaProblem(*it, properties[it.key()].toObject(),
                                                  at + u'.' + it.key());
            if (!problem.isEmpty())
                return problem;
        }
    }
    if (value.isArray()) {
        const QJsonArray items = value.toArray();
        for (qsizetype i = 0; i < items.size(); ++i) {
            const QString problem = schemaProblem(items[i], schema[u"items"_s].toObject(),
                                                  at + u'[' + QString::number(i) + u']');
            if (!problem.isEmpty())
                return problem;
        }
    }
    return {};
}

QJsonObject reportSchema()
{
    QFile file(QStringLiteral(QUILLORY_TEST_DATA "/../../docs/report.schema.json"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read the report's schema");
    return QJsonDocument::fromJson(file.readAll()).object();
}

const QByteArray kCard = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann Tech\r\nEND:VCARD\r\n";

/// What a search of one file told: its rows, placed in full, and its facts.
QStringList toldOf(const FactsRun &run)
{
    QStringList told;
    for (const ResultRow &row : run.found) {
        const CardPlace &card = row.Card;
        told.append(u"%1|%2|%3|%4 card %5 line %6 [%7,%8) at %9 digest %10"_s.arg(
            row.Tag, row.Value, row.Contact, row.Text, QString::number(card.number),
            QString::number(card.line), QString::number(card.begin), QString::number(card.end),
            QString::number(card.fileBegin), QString::number(card.digest)));
    }
    for (const ReadFacts &facts : run.facts) {
        told.append(u"%1; %2 cards; %3 %4 (%5); %6 bytes; sha %7"_s.arg(
            problemsText(facts), QString::number(facts.cards), QString::number(int(facts.charsetWay)),
            QString::fromLatin1(facts.charset), QString::fromLatin1(facts.detector),
            QString::number(facts.bytes), QString::fromLatin1(facts.sha256.toHex())));
    }
    return told;
}

/// Reads files in blocks of the given size while it lives; files up to whole bytes may be
/// read whole after all.
struct BlockSize
{
    explicit BlockSize(qsizetype bytes, qsizetype whole = 0) { setCardBlockBytes(bytes, whole); }
    ~BlockSize() { setCardBlockBytes(0); }
};

} // namespace

class TestSearchReport : public QObject
{
    Q_OBJECT

private slots:
    void brokenFiles_data();
    void brokenFiles();
    void unreadFiles();
    void blocksReadAsTheWholeFile_data();
    void blocksReadAsTheWholeFile();
    void blockRowsGoOnOnce_data();
    void blockRowsGoOnOnce();
    void partsTellTheCharsetOfTheWhole_data();
    void partsTellTheCharsetOfTheWhole();
    void corpusAgreesWithParseAndAnalysis();
    void jsonHoldsToSchema();
    void spooledEntriesWriteTheSameJson();
};

void TestSearchReport::brokenFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("problems");
    QTest::addColumn<int>("cards");
    QTest::addColumn<int>("way");
    QTest::addColumn<QString>("charset");

    const int utf8 = int(Way::Utf8);
    QTest::newRow("plain cards: nothing to say") << kCard + kCard << u""_s << 2 << utf8 << u""_s;
    QTest::newRow("a card that never ends") << kCard + "BEGIN:VCARD\r\nFN:Bo\r\n"
                                            << u"unclosed card@5x1"_s << 2 << utf8 << u""_s;
    // An "=" that ends the line before END: a soft line break only in quoted-printable.
    const QByteArray v21 = "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Ann\r\n";
    QTest::newRow("base64 ending in == on a fold before END")
        << "BEGIN:VCARD\r\nVERSION:3.0\r\nPHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQ\r\n SkZJRg==\r\n"
           "END:VCARD\r\n" + kCard
        << u""_s << 2 << utf8 << u""_s;
    QTest::newRow("base64 ending in = on lines of its own, LF")
        << v21 + "PHOTO;ENCODING=BASE64;TYPE=GIF:\nR0lGODdh\nAAA=\nEND:VCARD\n" + kCard
        << u""_s << 2 << utf8 << u""_s;
    QTest::newRow("base64 ending in = before a blank line")
        << v21 + "LOGO;BASE64:\r\n R0lGODdh==\r\n\r\nEND:VCARD\r\n" + kCard
        << u""_s << 2 << utf8 << u""_s;
    QTest::newRow("a text value with a hyphen ending in =")
        << v21 + "X-CODE:a-b=\r\nEND:VCARD\r\n" + kCard << u""_s << 2 << utf8 << u""_s;
    QTest::newRow("a quoted-printable soft break before END")
        << v21 + "NOTE;ENCODING=QUOTED-PRINTABLE:a=\r\nEND:VCARD\r\n" + kCard
        << u"unclosed card@1x1, nested card@6x1"_s << 2 << utf8 << u""_s;
    QTest::newRow("a soft break whose QUOTED-PRINTABLE a fold splits")
        << v21 + "NOTE;ENCODING=QUOTED-\r\n PRINTABLE:a=\r\nEND:VCARD\r\n" + kCard
        << u"unclosed card@1x1, nested card@7x1"_s << 2 << utf8 << u""_s;
    QTest::newRow("soft breaks over a line with a colon before END")
        << v21 + "NOTE;QUOTED-PRINTABLE:a=\r\nb:c=\r\nEND:VCARD\r\n" + kCard
        << u"unclosed card@1x1, nested card@7x1"_s << 2 << utf8 << u""_s;
    QTest::newRow("a soft break ended by a blank line before END")
        << v21 + "NOTE;ENCODING=QUOTED-PRINTABLE:a=\r\n\r\nEND:VCARD\r\n" + kCard
        << u""_s << 2 << utf8 << u""_s;
    QTest::newRow("a soft break before END after a lone CR")
        << v21 + "NOTE;ENCODING=QUOTED-PRINTABLE:a=\rEND:VCARD\r\n" + kCard
        << u"unclosed card@1x1, nested card@6x1"_s << 2 << utf8 << u""_s;
    // The walk back over a value's lines, 32 bytes at a time, across many of them.
    QByteArray folds;
    for (int k = 0; k < 40; ++k)
        folds += " " + QByteArray(74, char('A' + k % 26)) + "\r\n";
    const QByteArray photo = "BEGIN:VCARD\r\nVERSION:3.0\r\nX-ABLABEL:a-b\r\n"
                             "PHOTO;ENCODING=b;TYPE=JPEG:/9j/\r\n"
        + folds + " AA==\r\nEND:VCARD\r\n";
    QTest::newRow("base64 over forty folds ending in == before END")
        << photo + kCard << u""_s << 2 << utf8 << u""_s;
    QTest::newRow("the same after a card") << kCard + photo << u""_s << 2 << utf8 << u""_s;
    QTest::newRow("a lone CR in the folds of base64 before END")
        << "BEGIN:VCARD\r\nVERSION:3.0\r\nPHOTO;ENCODING=b:/9j/\r\n" + folds + " AB\rCD\r\n" + folds
            + " AA==\r\nEND:VCARD\r\n" + kCard
        << u""_s << 2 << utf8 << u""_s;
    QByteArray softBreaks;
    for (int k = 0; k < 6; ++k)
        softBreaks += QByteArray(70, 'a') + "=\r\n";
    QTest::newRow("soft breaks over six lines before END")
        << v21 + "NOTE;ENCODING=QUOTED-PRINTABLE:" + softBreaks + "END:VCARD\r\n" + kCard
        << u"unclosed card@1x1, nested card@11x1"_s << 2 << utf8 << u""_s;
    QTest::newRow("soft breaks over a line without a colon before END")
        << v21 + "NOTE;ENCODING=QUOTED-PRINTABLE:a\r\nq=\r\nz:z=\r\nEND:VCARD\r\n" + kCard
        << u"unclosed card@1x1, nested card@8x1"_s << 2 << utf8 << u""_s;
    QTest::newRow("a card nested in another")
        << QByteArray("BEGIN:VCARD\r\nFN:Outer\r\nBEGIN:VCARD\r\nFN:Inner\r\nEND:VCARD\r\n"
                      "END:VCARD\r\n")
        << u"nested card@3x1"_s << 2 << utf8 << u""_s;
    // A VCARD that a letter or digit stands right before is a word of a value.
    QTest::newRow("VCARD inside base64 data")
        << "BEGIN:VCARD\r\nVERSION:3.0\r\nPHOTO;ENCODING=b;TYPE=JPEG:/9j/4AvCaRd\r\n 9VcardQ==\r\n"
           "END:VCARD\r\n" + kCard
        << u""_s << 2 << utf8 << u""_s;
    QTest::newRow("BEGIN and END lines whose value only ends in VCARD")
        << "BEGIN:VCARD\r\nFN:Ann\r\nBEGIN:XVCARD\r\nEND:1VCARD\r\nEND:VCARD\r\n" + kCard
        << u""_s << 2 << utf8 << u""_s;
    QTest::newRow("two cards glued on one line")
        << QByteArray("BEGIN:VCARD\r\nFN:Ann\r\nEND:VCARDBEGIN:VCARD\r\nFN:Bo\r\nEND:VCARD\r\n")
        << u"glued cards@3x1"_s << 2 << utf8 << u""_s;
    QTest::newRow("lines before the first card and after the last")
        << "# exported\r\n" + kCard + "NOTE:stray\r\n" << u"lines outside cards@1x2"_s << 2
        << utf8 << u""_s;
    QTest::newRow("quoted-printable that is not, kept as written")
        << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Ann\r\nNOTE;ENCODING=QUOTED-PRINTABLE:"
                      "100=ZZ sure\r\nEND:VCARD\r\n")
        << u"invalid quoted-printable@4x1"_s << 1 << utf8 << u""_s;
    QTest::newRow("base64 that does not decode, kept as written")
        << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann\r\nNOTE;ENCODING=b:not*base64\r\n"
                      "END:VCARD\r\n")
        << u"invalid base64@4x1"_s << 1 << utf8 << u""_s;
    QTest::newRow("a charset no decoder knows")
        << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nFN;CHARSET=nonesuch:Ann\r\nEND:VCARD\r\n")
        << u"unknown charset@3x1"_s << 1 << utf8 << u""_s;
    QTest::newRow("a .vcf that is not a card file")
        << QByteArray("just some notes\r\nnothing more\r\n")
        << u"lines outside cards@1x2, no card@1x1"_s << 0 << utf8 << u""_s;
    QTest::newRow("an empty file") << QByteArray() << u"no card@1x1"_s << 0 << utf8 << u""_s;
    QTest::newRow("UTF-8 with a byte-order mark")
        << "\xEF\xBB\xBF" + kCard << u""_s << 1 << int(Way::Mark) << u"UTF-8"_s;
    QTest::newRow("UTF-16 without a mark")
        << encoded("UTF-16BE", QString::fromLatin1(kCard)) << u""_s << 1
        << int(Way::Utf16Zeros) << u"UTF-16BE"_s;
    QTest::newRow("UTF-32 with its mark")
        << encoded("UTF-32LE", u"\uFEFF"_s + QString::fromLatin1(kCard)) << u""_s << 1
        << int(Way::Mark) << u"UTF-32LE"_s;
    QTest::newRow("text without a charset, read in the one the file names")
        << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=ISO-8859-7:\xC1\xED\xED\xE1\r\n"
                      "FN:\xC1\xED\xED\xE1\r\nEND:VCARD\r\n")
        << u""_s << 1 << int(Way::Declared) << u"ISO-8859-7"_s;
    QTest::newRow("Cyrillic text without a charset, detected")
        << "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:"
               + encoded("windows-1251", u"Олександр Шевченко, Київ, вулиця Хрещатик"_s)
               + "\r\nNOTE:"
               + encoded("windows-1251",
                         u"Зустріч на виставці, потім листування про постачання обладнання"_s)
               + "\r\nEND:VCARD\r\n"
        << u""_s << 1 << int(Way::Detected) << u"WINDOWS-1251"_s;
    QTest::newRow("Western text without a charset: the Windows-1252 default")
        << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:J\xFCrgen M\xFCller\r\nEND:VCARD\r\n")
        << u""_s << 1 << int(Way::Default) << u"windows-1252"_s;
}

void TestSearchReport::brokenFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problems);
    QFETCH(int, cards);
    QFETCH(int, way);
    QFETCH(QString, charset);
    QTemporaryDir dir;
    const QString path = writeTestFile(dir, u"file.vcf"_s, bytes);
    // What is read never depends on the search: a text the file holds (it is parsed), one
    // it cannot hold (its bytes alone rule it out), on one thread and on several.
    // Nor on whether it is read whole or in blocks.
    for (const auto &[text, threads, block] :
         {std::tuple(u"ann"_s, 1, 0), std::tuple(u"qqzzy"_s, 1, 0), std::tuple(u"ann"_s, 2, 0),
          std::tuple(u"qqzzy"_s, 2, 0), std::tuple(u"ann"_s, 1, 64),
          std::tuple(u"qqzzy"_s, 2, 64)}) {
        const BlockSize blocks(block);
        FactsRun run;
        QVERIFY(run.search({path}, text, true, threads));
        const ReadFacts &facts = run.facts.at(0);
        QCOMPARE(problemsText(facts), problems);
        QCOMPARE(facts.cards, cards);
        QCOMPARE(int(facts.charsetWay), way);
        QCOMPARE(QString::fromLatin1(facts.charset), charset);
        QCOMPARE(facts.bytes, bytes.size());
        QCOMPARE(facts.sha256.toHex(),
                 QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        QCOMPARE(run.report.filesWithProblems(), problems.isEmpty() ? 0 : 1);
    }
}

void TestSearchReport::unreadFiles()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(u"pipe.vcf"_s);
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString large = writeTestFile(dir, u"large.vcf"_s, kCard);
    QCOMPARE(::truncate(QFile::encodeName(large).constData(), kMaxReadableFileSize + 1), 0);
    const QStringList files{dir.filePath(u"gone.vcf"_s), dir.path(), fifo, large,
                            writeTestFile(dir, u"fine.vcf"_s, kCard)};
    FactsRun run;
    QVERIFY(run.search(files, u"ann"_s));
    const QList<ReadFacts::NotRead> expected{ReadFacts::NotRead::Missing,
                                             ReadFacts::NotRead::Folder,
                                             ReadFacts::NotRead::Unreadable,
                                             ReadFacts::NotRead::TooLarge, ReadFacts::NotRead::No};
    for (qsizetype i = 0; i < files.size(); ++i)
        QCOMPARE(int(run.facts.at(i).notRead), int(expected.at(i)));
    QCOMPARE(run.report.filesNotRead(), 4);
    QCOMPARE(run.report.filesRead(), 1);
    QCOMPARE(run.report.cards(), 1);
    QCOMPARE(run.report.rows(), 1);
    // Each file not read is listed with its reason; the one that failed names its cause.
    QCOMPARE(run.report.files().size(), files.size());
    QVERIFY(run.report.files().at(1).failure.contains(u"Is a directory"_s));
    QVERIFY(run.report.files().at(3).failure.contains(u"too large"_s));
}

void TestSearchReport::blocksReadAsTheWholeFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QByteArray cards;
    QByteArray folded;
    for (int i = 0; i < 40; ++i) {
        cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ann " + QByteArray::number(i)
            + "\r\nTEL:+49 30 " + QByteArray::number(1000 + i) + "\r\nEND:VCARD\r\n";
        // Folds and soft line breaks fall on every byte of a block's edge.
        folded += "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Ann\r\n "
            + QByteArray(i % 7, 'x') + " Lee\r\nNOTE;ENCODING=QUOTED-PRINTABLE:ann=\r\n"
            + QByteArray(i % 5, 'y') + "=\r\nend\r\nEND:VCARD\r\n";
    }
    QByteArray longCard = "BEGIN:VCARD\r\nFN:Ann Long\r\nNOTE:";
    for (int i = 0; i < 300; ++i)
        longCard += "ann " + QByteArray::number(i) + "\r\n ";
    longCard += "\r\nEND:VCARD\r\n";
    QByteArray nested = "BEGIN:VCARD\r\nFN:Ann Outer\r\n" + cards + "NOTE:ann\r\nEND:VCARD\r\n";
    QByteArray legacy;
    for (int i = 0; i < 30; ++i) {
        legacy += "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:"
            + encoded("windows-1251", u"Олександр Шевченко, Київ, вулиця Хрещатик"_s)
            + "\r\nNOTE:"
            + encoded("windows-1251", u"Зустріч на виставці, потім листування"_s)
            + "\r\nEND:VCARD\r\n";
    }
    QTest::newRow("cards, CR LF") << cards << u"ann 1"_s;
    QTest::newRow("cards, LF") << QByteArray(cards).replace("\r\n", "\n") << u"ann"_s;
    QTest::newRow("cards, lone CR") << QByteArray(cards).replace("\r\n", "\r") << u"ann"_s;
    QTest::newRow("folded lines across the edges") << folded << u"ann"_s;
    QTest::newRow("a card longer than a block") << cards + longCard + cards << u"ann 2"_s;
    QTest::newRow("cards nested across every block") << nested << u"ann"_s;
    // A block's cards go on before its lines end inside the nested ones, and not again.
    QTest::newRow("cards, then cards nested across the cuts") << cards + nested + cards << u"ann"_s;
    QTest::newRow("no END line at all") << QByteArray(nested).replace("END:", "X-E:") << u"ann"_s;
    QTest::newRow("an unclosed card at the end") << cards + longCard.chopped(11) << u"ann"_s;
    QTest::newRow("UTF-16 with its mark")
        << encoded("UTF-16LE", u"\uFEFF"_s + QString::fromLatin1(cards + longCard))
        << u"ann 3"_s;
    // Blocks passed over whose cards are not counted from their BEGIN and END lines alone,
    // before the first with a row: the file may be read whole instead. After a row (past
    // the first block's 4 KiB), it may not.
    const QByteArray zed = "BEGIN:VCARD\r\nFN:Zed\r\nEND:VCARD\r\n";
    QTest::newRow("cards, nested cards, then the text")
        << cards.repeated(2) + nested + zed << u"zed"_s;
    QTest::newRow("no END line, then the text")
        << nested.repeated(2).replace("END:", "X-E:") + zed << u"zed"_s;
    QTest::newRow("the text, cards, nested cards, the text")
        << zed + cards.repeated(3) + nested + zed << u"zed"_s;
    QTest::newRow("UTF-32 with its mark")
        << encoded("UTF-32BE", u"\uFEFF"_s + QString::fromLatin1(cards)) << u"ann"_s;
    QTest::newRow("legacy charset over many blocks") << legacy << u"шевченко"_s;
    QTest::newRow("legacy charset named in the last block")
        << legacy + "BEGIN:VCARD\r\nN;CHARSET=KOI8-R:x\r\nFN:Ann\r\nEND:VCARD\r\n"
        << u"ann"_s;
}

void TestSearchReport::blocksReadAsTheWholeFile()
{
    // A file larger than a block is read a block at a time: each block ends after an
    // END line, grows to hold a card longer than a block, and is read again larger when
    // its lines end inside a card. Its rows and facts are those of the file read whole.
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QTemporaryDir dir;
    const QString path = writeTestFile(dir, u"file.vcf"_s, bytes);
    FactsRun whole;
    QVERIFY(whole.search({path}, text, true, 1));
    const QStringList expected = toldOf(whole);
    QVERIFY(!whole.found.isEmpty());
    FactsRun rowsWhole;
    QVERIFY(rowsWhole.search({path}, text, false, 1));
    const QStringList rowsExpected = toldOf(rowsWhole);
    // Also where the file may be read whole after all, with a report and without.
    for (const int block : {64, 300, 1000}) {
        for (const int threads : {1, 2}) {
            for (const qsizetype wholeBytes : {qsizetype(0), bytes.size()}) {
                const BlockSize blocks(block, wholeBytes);
                FactsRun run;
                QVERIFY(run.search({path}, text, true, threads));
                QCOMPARE(toldOf(run), expected);
                FactsRun rows;
                QVERIFY(rows.search({path}, text, false, threads));
                QCOMPARE(toldOf(rows), rowsExpected);
            }
        }
    }
}

void TestSearchReport::blockRowsGoOnOnce_data()
{
    // Blocks of 3 MiB, each parsed in two parts (of at least 1 MiB) on three threads; the
    // nested cards are 1.3 MB long, in a file of 5 MiB.
    QTest::addColumn<qsizetype>("outerAt");
    constexpr qsizetype kKiB = 1024;
    // The first block ends inside the nested cards: read again to the file's end.
    QTest::newRow("a block ends inside") << 2048 * kKiB;
    // The cut between its two parts falls inside them: read again, then in one part.
    QTest::newRow("a part ends inside") << 768 * kKiB;
    // The same in the file's last block, which is given again as it is.
    QTest::newRow("a part of the last block") << 3584 * kKiB;
    // The last block starts with the nested cards: its first part hands out no card.
    QTest::newRow("the last block starts inside") << 3072 * kKiB - kKiB;
}

void TestSearchReport::blockRowsGoOnOnce()
{
    // A block's first part hands its rows on as its cards are found. A block whose lines
    // end inside nested cards, or whose parts do, is read again longer, or parsed again:
    // the rows handed on before must not come twice, nor any be lost.
    QFETCH(qsizetype, outerAt);
    constexpr qsizetype kMiB = qsizetype(1) << 20;
    const QByteArray other
        = "BEGIN:VCARD\r\nFN:Bob\r\nNOTE:" + QByteArray(2000, 'x') + "\r\nEND:VCARD\r\n";
    const QByteArray ann = "BEGIN:VCARD\r\nFN:Ann\r\nEND:VCARD\r\n";
    QByteArray bytes;
    const auto fillTo = [&](qsizetype size) {
        for (int k = 0; bytes.size() < size; ++k)
            bytes += k % 50 == 0 ? ann : other;
    };
    fillTo(outerAt);
    bytes += "BEGIN:VCARD\r\nFN:Ann Outer\r\nNOTE:" + QByteArray(64 * 1024, 'x') + "\r\n"
        + ann.repeated(40000) + "END:VCARD\r\n";
    fillTo(5 * kMiB);
    QTemporaryDir dir;
    const QString path = writeTestFile(dir, u"file.vcf"_s, bytes);
    FactsRun whole;
    {
        const BlockSize wholeFile(8 * kMiB);
        QVERIFY(whole.search({path}, u"ann"_s, true, 1));
    }
    const BlockSize blocks(3 * kMiB);
    FactsRun run;
    QVERIFY(run.search({path}, u"ann"_s, true, 3));
    QCOMPARE(toldOf(run), toldOf(whole));
}

void TestSearchReport::partsTellTheCharsetOfTheWhole_data()
{
    // Lines outside every card: no parse reads them in a charset.
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("last");
    QTest::addColumn<bool>("utf8");
    QTest::newRow("UTF-8 throughout")
        << QByteArray("X-A:caf\xC3\xA9\r\n") << QByteArray("X-B:=C3=A9\r\n") << true;
    QTest::newRow("Latin-1 in the last part")
        << QByteArray() << QByteArray("X-B:caf\xE9\r\n") << false;
    // Escapes alone leave no byte of the text to detect a charset from.
    QTest::newRow("an escape of Latin-1 in the last part")
        << QByteArray() << QByteArray("X-B:caf=E9\r\n") << true;
    QTest::newRow("Latin-1 in the first part")
        << QByteArray("X-A:caf\xE9\r\n") << QByteArray() << false;
}

void TestSearchReport::partsTellTheCharsetOfTheWhole()
{
    // A file of over 8 MiB is parsed in parts on several threads, each looking at its own
    // bytes for text other than UTF-8: together they tell what one thread tells.
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, last);
    QFETCH(bool, utf8);
    QByteArray file = first;
    for (int i = 0; file.size() < (qsizetype(9) << 20); ++i) {
        file += "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Person " + QByteArray::number(i)
            + (i % 97 == 0 ? " Ann" : "")
            + "\r\nNOTE;ENCODING=QUOTED-PRINTABLE:Met=0D=0Aat the fair\r\nEND:VCARD\r\n";
    }
    file += last;
    QTemporaryDir dir;
    const QString path = writeTestFile(dir, u"large.vcf"_s, file);
    FactsRun one;
    QVERIFY(one.search({path}, u"ann"_s, true, 1));
    QCOMPARE(one.facts.at(0).charsetWay == Way::Utf8, utf8);
    FactsRun parts;
    QVERIFY(parts.search({path}, u"ann"_s, true, 3));
    QCOMPARE(int(parts.facts.at(0).charsetWay), int(one.facts.at(0).charsetWay));
    QCOMPARE(parts.facts.at(0).charset, one.facts.at(0).charset);
    QCOMPARE(parts.found.size(), one.found.size());
}

void TestSearchReport::corpusAgreesWithParseAndAnalysis()
{
    QDir corpus(corpusDir());
    if (!corpus.exists())
        QSKIP("the shared corpus is not here");
    QStringList files;
    QDirIterator it(corpus.path(), {u"*.vcf"_s}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    files.sort();
    FactsRun matching;
    FactsRun none;
    FactsRun without;
    QVERIFY(matching.search(files, u"e"_s));
    QVERIFY(none.search(files, u"qqzzy"_s));
    QVERIFY(without.search(files, u"e"_s, false));
    // Reading facts changes nothing that is found.
    QCOMPARE(matching.found.size(), without.found.size());
    QSet<QString> unclosed, nested, outside, detected, legacy;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString name = corpus.relativeFilePath(files.at(i));
        const ReadFacts &facts = matching.facts.at(i);
        // The cards --dump prints: a file with none prints one empty card.
        const qint64 parsed = CardParser::parseAll(readCardFile(files.at(i))).size();
        QVERIFY2(facts.cards + facts.count(Problem::NoCard) == parsed, qPrintable(name));
        // Shapes and charsets are the same when the bytes alone rule the file out.
        QVERIFY2(problemsText(none.facts.at(i)) == problemsText(facts)
                     || facts.count(Problem::InvalidQuotedPrintable) > 0,
                 qPrintable(name));
        QCOMPARE(none.facts.at(i).cards, facts.cards);
        QCOMPARE(int(none.facts.at(i).charsetWay), int(facts.charsetWay));
        if (facts.count(Problem::UnclosedCard))
            unclosed.insert(name);
        if (facts.count(Problem::NestedCard))
            nested.insert(name);
        if (facts.count(Problem::LinesOutside))
            outside.insert(name);
        if (!facts.detector.isEmpty())
            detected.insert(name);
        if (facts.charsetWay >= Way::Declared)
            legacy.insert(name);
    }
    QCOMPARE(matching.report.cards(), 1258);
    // The analysis's cards without END, its nested cards and its card without BEGIN.
    QCOMPARE(unclosed,
             QSet<QString>({u"evolution-data-server/8.vcf"_s, u"evolution-data-server/9.vcf"_s,
                            u"folkerkinzel-vcards/Cropped_2_1.vcf"_s, u"khard/unparsable.vcf"_s}));
    QCOMPARE(nested, QSet<QString>({u"android-vcard/v21_nest.vcf"_s}));
    QVERIFY(outside.contains(u"evolution-data-server/7.vcf"_s));
    // Its files whose charset must be guessed: those that name none are detected, and the
    // others read their unlabelled text in the charset they name.
    const QSet<QString> guessed{
        u"folkerkinzel-vcards/AnsiIssue.vcf"_s,
        u"folkerkinzel-vcards/AnsiIssueInvalidEncoding.vcf"_s,
        u"folkerkinzel-vcards/MultiAnsiFilterTests/German.vcf"_s,
        u"folkerkinzel-vcards/MultiAnsiFilterTests/Greek.vcf"_s,
        u"folkerkinzel-vcards/MultiAnsiFilterTests/Hebrew.vcf"_s,
        u"folkerkinzel-vcards/MultiAnsiFilterTests/Murks.vcf"_s,
        u"folkerkinzel-vcards/MultiAnsiFilterTests/Ukrainian.vcf"_s,
        u"folkerkinzel-vcards/MultiAnsiFilterTests/v3Ansi.vcf"_s,
        u"ical4j-vcard/vcard-vCards-SAP.vcf"_s,
    };
    // The Polish Outlook 2003 file names no charset for its cp1250 text.
    QCOMPARE(detected - guessed, QSet<QString>({u"ical4j-vcard/vcard-antoni-outlook2003.vcf"_s}));
    QCOMPARE(guessed - legacy, QSet<QString>());
    QCOMPARE(detected.size(), 6);
}

void TestSearchReport::jsonHoldsToSchema()
{
    QTemporaryDir dir;
    const QStringList files{
        writeTestFile(dir, u"nested.vcf"_s,
                      "BEGIN:VCARD\r\nFN:A\r\nBEGIN:VCARD\r\nFN:Ann\r\nEND:VCARD\r\n"),
        writeTestFile(dir, u"plain.vcf"_s, kCard), dir.filePath(u"gone.vcf"_s)};
    FactsRun run;
    QVERIFY(run.search(files, u"ann"_s));
    const QJsonObject schema = reportSchema();
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(run.report.toJson(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(schemaProblem(json.object(), schema, u"report"_s), QString());
    // The key names stay as they are: readers of saved reports depend on them.
    const QJsonObject report = json.object();
    QCOMPARE(report[u"files"_s].toArray().size(), 3);
    const QJsonObject nested = report[u"files"_s].toArray().at(0).toObject();
    QCOMPARE(nested[u"problems"_s].toArray().at(0).toObject()[u"kind"_s], u"unclosed_card"_s);
    QCOMPARE(nested[u"problems"_s].toArray().at(1).toObject()[u"kind"_s], u"nested_card"_s);
    QCOMPARE(report[u"files"_s].toArray().at(2).toObject()[u"not_read"_s], u"missing"_s);
    QCOMPARE(report[u"cards"_s].toInt(), 3);
    // The validator finds what breaks the schema.
    QJsonObject broken = report;
    broken[u"rows"_s] = u"many"_s;
    QVERIFY(!schemaProblem(broken, schema, u"report"_s).isEmpty());
    broken = report;
    broken[u"extra"_s] = 1;
    QVERIFY(!schemaProblem(broken, schema, u"report"_s).isEmpty());
}

void TestSearchReport::spooledEntriesWriteTheSameJson()
{
    QTemporaryDir dir;
    QStringList files{dir.path(), dir.filePath(u"gone.vcf"_s),
                      writeTestFile(dir, u"nested.vcf"_s,
                                    "BEGIN:VCARD\r\nFN:A\r\nBEGIN:VCARD\r\nFN:Ann\r\nEND:VCARD\r\n")};
    for (int k = 0; k < 40; ++k)
        files.append(writeTestFile(dir, u"card%1 \"\\\u00e9.vcf"_s.arg(k), kCard));
    const auto json = [&](qsizetype spoolAfter, QString *problem = nullptr) {
        FactsRun run(spoolAfter);
        run.search(files, u"ann"_s);
        QByteArray written;
        const bool ok = run.report.writeJson(
            [&](QByteArrayView piece) {
                written += piece;
                return true;
            },
            problem);
        // The time taken is the one thing two runs may not share.
        static const QRegularExpression seconds(u"\"seconds\": [0-9.]+"_s);
        return ok ? QString::fromUtf8(written).replace(seconds, u"\"seconds\": 0"_s) : QString();
    };
    const QString held = json(-1);
    QVERIFY(held.contains(u"card39"_s));
    // Entries kept in memory, written to a temporary file after each one, or after a few.
    QCOMPARE(json(1 << 20), held);
    QCOMPARE(json(0), held);
    QCOMPARE(json(1000), held);
    // A temporary folder that cannot take the entries fails the report, and says why.
    const std::optional<QByteArray> tmp = qEnvironmentVariableIsSet("TMPDIR")
        ? std::optional(qgetenv("TMPDIR"))
        : std::nullopt;
    qputenv("TMPDIR", QFile::encodeName(files.last()));
    QString problem;
    const QString lost = json(1000, &problem);
    if (tmp)
        qputenv("TMPDIR", *tmp);
    else
        qunsetenv("TMPDIR");
    QVERIFY(lost.isEmpty());
    QVERIFY2(problem.contains(u"temporary folder"_s), qPrintable(problem));
}

QTEST_GUILESS_MAIN(TestSearchReport)
#include "tst_search_report.moc"
