// The results model and its two text forms: the results file and the clipboard.

#include "base/EventPump.h"
#include "base/Failure.h"
#include "card/CardParser.h"
#include "results/CardDetails.h"
#include "results/ResultsModel.h"
#include "results/ResultsText.h"
#include "search/FieldMatching.h"
#include "search/SearchPipeline.h"

#include "TestFiles.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(ResultRow)

namespace {

/// The rows a search for text finds in the bytes, with their cards, as a run gives them.
QList<ResultRow> searchRows(const CardBytes &text, const QString &needle)
{
    QList<ResultRow> rows;
    const TextMatcher matcher(needle, true);
    CardParser::parse(
        text,
        [&](ContactFields &&card, const CardParser::Identity &identity) {
            const qint64 line
                = CardParser::countLineEnds(QByteArrayView(text.bytes).first(identity.begin)) + 1;
            forEachFieldMatch(card, matcher, [&](const QString &tag, QString value) {
                rows.append({u"f.vcf"_s,
                             tag,
                             std::move(value),
                             identity.contact,
                             needle,
                             {identity.number, line, identity.begin, identity.end}});
            });
        },
        nullptr, nullptr, ParseOptions{true});
    return rows;
}

/// The rows a run's search for needle finds in the file, with what it read of it.
QList<ResultRow> searchedRows(const QString &path, const QString &needle)
{
    SearchCriteria criteria;
    criteria.text = needle;
    // Two workers: a large file is searched in two parts at once.
    SearchPipeline pipeline(criteria, 2);
    pipeline.add(QStringList{path});
    QList<ResultRow> rows;
    FileOutcome outcome;
    while (!outcome.finished)
        outcome = pipeline.take([&](QList<ResultRow> &&found) { rows.append(std::move(found)); });
    if (outcome.readFailure || outcome.searchFailure)
        qFatal("the search of %s failed", qPrintable(path));
    return rows;
}

/// The results of rows as a search of the texts they carry gives them: with several, the
/// table shows which found each row.
void fill(ResultsModel &results, const QList<ResultRow> &rows)
{
    QStringList texts;
    for (const ResultRow &row : rows) {
        if (!row.Text.isEmpty() && !texts.contains(row.Text))
            texts.append(row.Text);
    }
    results.setSearchTexts(texts);
    results.appendRows(rows);
}

QByteArray utf16(const QString &text, QStringConverter::Encoding encoding, bool mark)
{
    QStringEncoder encoder(
        encoding, mark ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    return encoder.encode(text);
}

/// What happens to a file between its search and the reading of a card.
enum class Change { None, CardInFront, Touched, EditedKeepingTime, CutShort, Deleted };

} // namespace

Q_DECLARE_METATYPE(Change)

class TestResults final : public QObject
{
    Q_OBJECT

private slots:
    void model();
    void ticks();
    void textCounts_data();
    void textCounts();
    void fileText_data();
    void fileText();
    void clipboardText_data();
    void clipboardText();
    void cardDetails_data();
    void cardDetails();
    void cardFromItsFile_data();
    void cardFromItsFile();
    void writeTextFile();
    void writeTextFileFailures_data();
    void writeTextFileFailures();

private:
    QTemporaryDir m_dir;
};

void TestResults::model()
{
    ResultsModel results;
    QAbstractItemModelTester tester(&results,
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(results.columnCount(), 5);
    QCOMPARE(results.headerData(0, Qt::Horizontal).toString(), u"File"_s);
    QCOMPARE(results.headerData(1, Qt::Horizontal).toString(), u"Tag"_s);
    QCOMPARE(results.headerData(2, Qt::Horizontal).toString(), u" Value"_s);
    QCOMPARE(results.headerData(3, Qt::Horizontal).toString(), u"Contact"_s);
    QCOMPARE(results.headerData(4, Qt::Horizontal).toString(), u"Search text"_s);

    QSignalSpy inserted(&results, &QAbstractItemModel::rowsInserted);
    QList<ResultRow> batch;
    for (int i = 0; i < 1000; ++i)
        batch.append({u"/f%1.vcf"_s.arg(i), u"Notes"_s, u"line\twith tab\r\nand break"_s});
    results.appendRows(batch);
    results.appendRows({});
    results.appendRows({{u"/last.vcf"_s, u"Emails2"_s, u"x@y"_s, u"Ann"_s}});
    QCOMPARE(inserted.count(), 2); // one insertion per batch, none for an empty one
    QCOMPARE(results.count(), 1001);
    QCOMPARE(results.data(results.index(0, 2)).toString(), u"line\twith tab\r\nand break"_s);
    QCOMPARE(results.cell(1000, 1), u"/last.vcf"_s);
    QCOMPARE(results.cell(1000, 2), u"Emails2"_s);
    QCOMPARE(results.cell(1000, 3), u"x@y"_s);
    QCOMPARE(results.data(results.index(1000, 3)).toString(), u"Ann"_s);

    results.clear();
    QCOMPARE(results.count(), 0);
    QSignalSpy reset(&results, &QAbstractItemModel::modelReset);
    results.clear(); // an empty table stays as it is
    QCOMPARE(reset.count(), 0);
}

void TestResults::textCounts_data()
{
    QTest::addColumn<QStringList>("texts"); // searched
    QTest::addColumn<QStringList>("rows"); // file, card, text
    QTest::addColumn<QStringList>("counts"); // text, rows, cards, files; then all of them
    QTest::newRow("a text that found nothing")
        << QStringList{u"anna"_s, u"zed"_s} << QStringList{u"f 1 anna"_s, u"f 1 anna"_s}
        << QStringList{u"anna 2 1 1"_s, u"zed 0 0 0"_s, u"2 1 1"_s};
    QTest::newRow("a card matched by two texts")
        << QStringList{u"anna"_s, u"berlin"_s}
        << QStringList{u"f 1 anna"_s, u"f 1 berlin"_s, u"f 2 berlin"_s, u"g 1 berlin"_s}
        << QStringList{u"anna 1 1 1"_s, u"berlin 3 3 2"_s, u"4 3 2"_s};
    QTest::newRow("a file listed twice counts its rows twice, itself and its cards once")
        << QStringList{u"anna"_s, u"berlin"_s}
        << QStringList{u"f 1 anna"_s, u"g 1 berlin"_s, u"f 1 anna"_s}
        << QStringList{u"anna 2 1 1"_s, u"berlin 1 1 1"_s, u"3 2 2"_s};
    QTest::newRow("a text given twice is listed once")
        << QStringList{u"anna"_s, u"anna"_s} << QStringList{u"f 1 anna"_s, u"f 1 anna"_s}
        << QStringList{u"anna 2 1 1"_s, u"2 1 1"_s};
    // Enough files for their numbers to spread over every table; a text first found in
    // files listed again counts their files but not their cards.
    QStringList many;
    for (int f = 0; f < 600; ++f)
        many.append(u"f%1 1 anna"_s.arg(f));
    many += QStringList{u"f3 1 berlin"_s, u"f599 1 berlin"_s, u"f0 1 anna"_s};
    QTest::newRow("six hundred files, some listed again")
        << QStringList{u"anna"_s, u"berlin"_s} << many
        << QStringList{u"anna 601 600 600"_s, u"berlin 2 0 2"_s, u"603 600 600"_s};
    // Past the 64th text a file's texts are kept another way.
    QStringList seventy;
    QStringList counted;
    for (int t = 0; t < 70; ++t) {
        seventy.append(u"t%1"_s.arg(t));
        counted.append(t == 0 ? u"t0 2 1 1"_s : t == 65 ? u"t65 3 2 2"_s : u"t%1 0 0 0"_s.arg(t));
    }
    counted.append(u"5 3 3"_s);
    QTest::newRow("a file listed twice, its text past the 64th")
        << seventy
        << QStringList{u"f 1 t65"_s, u"g 1 t65"_s, u"h 1 t0"_s, u"f 1 t65"_s, u"h 1 t0"_s}
        << counted;
}

void TestResults::textCounts()
{
    QFETCH(QStringList, texts);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, counts);
    ResultsModel results;
    results.setSearchTexts(texts);
    for (const QString &row : std::as_const(rows)) {
        const QStringList cells = row.split(u' ');
        const qint64 card = cells.at(1).toLongLong();
        results.appendRows({{cells.at(0), u"Notes"_s, u"v"_s, u"C"_s, cells.at(2), {card, card}}});
    }
    QStringList got;
    for (const ResultCounts::PerText &one : results.textCounts())
        got.append(u"%1 %2 %3 %4"_s.arg(one.text).arg(one.rows).arg(one.cards).arg(one.files));
    got.append(
        u"%1 %2 %3"_s.arg(results.count()).arg(results.cardCount()).arg(results.fileCount()));
    QCOMPARE(got, counts);
    // Rows name their text by its place in the counts.
    QCOMPARE(results.textOf(0), quint32(texts.indexOf(rows.first().section(u' ', 2))));
}

void TestResults::ticks()
{
    ResultsModel results;
    QAbstractItemModelTester tester(&results,
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    results.appendRows({{u"A"_s, u"T"_s, u"V"_s}, {u"B"_s, u"T"_s, u"V"_s}});
    QVERIFY(results.flags(results.index(0, 0)) & Qt::ItemIsUserCheckable);
    QVERIFY(!(results.flags(results.index(0, 1)) & Qt::ItemIsUserCheckable));
    QCOMPARE(results.data(results.index(1, 0), Qt::CheckStateRole).value<Qt::CheckState>(),
             Qt::Unchecked);
    QSignalSpy changed(&results, &QAbstractItemModel::dataChanged);
    QVERIFY(results.setData(results.index(1, 0), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(!results.setData(results.index(1, 2), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(!results.setData(results.index(1, 0), u"x"_s, Qt::EditRole));
    QCOMPARE(changed.count(), 1);
    QVERIFY(results.isChecked(1));
    QVERIFY(!results.isChecked(0));
    // New rows come unticked, old ticks stay.
    results.appendRows({{u"C"_s, u"T"_s, u"V"_s}});
    QVERIFY(results.isChecked(1));
    QVERIFY(!results.isChecked(2));
}

void TestResults::fileText_data()
{
    QTest::addColumn<QList<ResultRow>>("rows");
    QTest::addColumn<QString>("text");
    QTest::newRow("two rows")
        << QList<ResultRow>{{u"A"_s, u"FirstName"_s, u"Alpha"_s, u"Alpha Lee"_s},
                            {u"BB"_s, u"Emails1"_s, u"x"_s, u"Bo"_s}}
        << u"File\tTag\t Value\tContact\t\r\nA\tFirstName\tAlpha\tAlpha Lee\t\r\n"
           u"BB\tEmails1\tx\tBo\t\r\n"_s;
    QTest::newRow("empty cells leave out their TAB, captions follow the first row")
        << QList<ResultRow>{{u"A"_s, QString(), u"v"_s}, {u"B"_s, u"Tag"_s, QString(), u"Cy"_s}}
        << u"File\t Value\t\r\nA\tv\t\r\nB\tTag\tCy\t\r\n"_s;
    QTest::newRow("TAB, CR and LF in a cell each become a space")
        << QList<ResultRow>{{u"/c/a\nb.vcf"_s, u"Notes"_s, u"\tX\r\nY"_s, u"A\tB"_s}}
        << u"File\tTag\t Value\tContact\t\r\n/c/a b.vcf\tNotes\t X  Y\tA B\t\r\n"_s;
    QTest::newRow("empty table writes nothing") << QList<ResultRow>{} << QString();
    QTest::newRow("one text: no column of it")
        << QList<ResultRow>{{u"A"_s, u"T"_s, u"v"_s, u"C"_s, u"anna"_s}}
        << u"File\tTag\t Value\tContact\t\r\nA\tT\tv\tC\t\r\n"_s;
    QTest::newRow("several texts: the one of each row, flattened")
        << QList<ResultRow>{{u"A"_s, u"T"_s, u"v"_s, u"C"_s, u"anna"_s},
                            {u"A"_s, u"T"_s, u"v"_s, QString(), u"a\tb"_s}}
        << u"File\tTag\t Value\tContact\tSearch text\t\r\nA\tT\tv\tC\tanna\t\r\n"
           u"A\tT\tv\ta b\t\r\n"_s;
}

void TestResults::fileText()
{
    QFETCH(QList<ResultRow>, rows);
    QFETCH(QString, text);
    ResultsModel results;
    fill(results, rows);
    QCOMPARE(resultsFileText(results), text);
}

void TestResults::clipboardText_data()
{
    QTest::addColumn<QList<ResultRow>>("rows");
    QTest::addColumn<QList<int>>("ticked");
    QTest::addColumn<QString>("text");
    const QList<ResultRow> two{{u"A"_s, u"FirstName"_s, u"Alpha"_s, u"Ann Lee"_s},
                               {u"BB"_s, u"Emails1"_s, u"x"_s, u"Bo"_s}};
    QTest::newRow("widths over all rows, only the ticked one copied")
        << two << QList<int>{1} << u"BB\tEmails1  \tx    \tBo\r\n"_s;
    QTest::newRow("both ticked")
        << two << QList<int>{0, 1}
        << u"A \tFirstName\tAlpha\tAnn Lee\r\nBB\tEmails1  \tx    \tBo\r\n"_s;
    QTest::newRow("no tick gives empty text") << two << QList<int>{} << QString();
    // Only the last TAB goes, then trailing blanks: an empty Contact leaves the padded
    // Value and its TAB; an empty Value before it stays padded too.
    QTest::newRow("empty last cells")
        << QList<ResultRow>{{u"A"_s, u"T"_s, QString()}, {u"B"_s, u"Tag"_s, u"long value"_s}}
        << QList<int>{0, 1} << u"A\tT  \t          \t\r\nB\tTag\tlong value\t\r\n"_s;
    QTest::newRow("TAB, CR and LF in a cell each become a space")
        << QList<ResultRow>{{u"/c/a\nb.vcf"_s, u"T"_s, u"\tX\r\nY"_s, u"A\nB"_s}} << QList<int>{0}
        << u"/c/a b.vcf\tT\t X  Y\tA B\r\n"_s;
    // Longer cells are copied whole but do not widen their column.
    const QString cell256(256, u'a');
    const QString cell257 = cell256 + u'b';
    QTest::newRow("a cell of 257 characters")
        << QList<ResultRow>{{cell257, u"T"_s, u"v"_s, u"C"_s}, {u"BB"_s, u"Tag"_s, u"w"_s, u"D"_s}}
        << QList<int>{0, 1} << cell257 + u"\tT  \tv\tC\r\nBB\tTag\tw\tD\r\n"_s;
    QTest::newRow("a cell of 256 characters still widens")
        << QList<ResultRow>{{cell256, u"T"_s, u"v"_s, u"C"_s}, {u"BB"_s, u"Tag"_s, u"w"_s, u"D"_s}}
        << QList<int>{1} << u"BB"_s + QString(254, u' ') + u"\tTag\tw\tD\r\n"_s;
    QTest::newRow("non-ASCII counts by characters")
        << QList<ResultRow>{{u"Ä"_s, u"T"_s, u"ü"_s, u"É"_s}, {u"ABC"_s, u"T"_s, u"x"_s, u"Z"_s}}
        << QList<int>{0} << u"Ä  \tT\tü\tÉ\r\n"_s;
    QTest::newRow("one text: no column of it")
        << QList<ResultRow>{{u"A"_s, u"T"_s, u"v"_s, u"C"_s, u"anna"_s}} << QList<int>{0}
        << u"A\tT\tv\tC\r\n"_s;
    QTest::newRow("several texts: the column padded as the others")
        << QList<ResultRow>{{u"A"_s, u"T"_s, u"v"_s, u"C"_s, u"anna"_s},
                            {u"A"_s, u"T"_s, u"v"_s, u"Dee"_s, u"bo"_s}}
        << QList<int>{0, 1} << u"A\tT\tv\tC  \tanna\r\nA\tT\tv\tDee\tbo\r\n"_s;
}

void TestResults::clipboardText()
{
    QFETCH(QList<ResultRow>, rows);
    QFETCH(QList<int>, ticked);
    QFETCH(QString, text);
    ResultsModel results;
    fill(results, rows);
    for (const int r : ticked)
        results.setChecked(r, true);
    QCOMPARE(::clipboardText(results), text);
}

void TestResults::cardDetails_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("matched"); // the marked property: name|types|value
    QTest::addColumn<QStringList>("marked"); // the marked lines
    QTest::addColumn<int>("properties");
    QTest::addColumn<QString>("note");
    const QByteArray two("BEGIN:VCARD\r\nFN:Ann\r\nEND:VCARD\r\nBEGIN:VCARD\r\nVERSION:2.1\r\n"
                         "N:Lee;Bo\r\nEMAIL;TYPE=HOME:bo@home\r\nitem1.EMAIL;WORK;PREF:bo@work\r\n"
                         "END:VCARD\r\n");
    QTest::newRow("second element of a list, second card")
        << two << u"work"_s << u"Card 2, line 4: Bo Lee"_s << u"EMAIL|WORK, PREF|bo@work"_s
        << QStringList{u"item1.EMAIL;WORK;PREF:bo@work"_s} << 4 << QString();
    QTest::newRow("a folded quoted-printable value marks all its lines")
        << QByteArray("BEGIN:VCARD\nFN:X\nNOTE;ENCODING=QUOTED-PRINTABLE:caf=C3=A9=\n au lait\n"
                      "END:VCARD\n")
        << u"lait"_s << u"Card 1, line 1: X"_s << u"NOTE||café au lait"_s
        << QStringList{u"NOTE;ENCODING=QUOTED-PRINTABLE:caf=C3=A9="_s, u" au lait"_s} << 2
        << QString();
    // FirstName holds the last line that wrote it: here N, after FN.
    QTest::newRow("the line that wrote the value wins")
        << QByteArray("BEGIN:VCARD\nFN:Zed Zee\nN:Zee;Zed\nEND:VCARD\n") << u"zed"_s
        << u"Card 1, line 1: Zed Zee"_s << u"N||Zee; Zed"_s << QStringList{u"N:Zee;Zed"_s} << 2
        << QString();
    QTest::newRow("a value written over marks the line that wrote it")
        << QByteArray("BEGIN:VCARD\nFN:Zed Zee\nN:Zee;Zed\nEND:VCARD\n") << u"zed zee"_s
        << u"Card 1, line 1: Zed Zee"_s << u"FN||Zed Zee"_s << QStringList{u"FN:Zed Zee"_s} << 2
        << QString();
    QTest::newRow("a nested card's lines are not the parent's properties")
        << QByteArray("BEGIN:VCARD\nFN:Outer\nBEGIN:VCARD\nFN:Inner\nEND:VCARD\nTITLE:Boss\n"
                      "END:VCARD\n")
        << u"boss"_s << u"Card 1, line 1: Outer"_s << u"TITLE||Boss"_s
        << QStringList{u"TITLE:Boss"_s} << 2 << QString();
    QTest::newRow("another property: the line of that name with the value")
        << QByteArray("BEGIN:VCARD\nFN:Ann\nCATEGORIES:Family\nitem2.CATEGORIES;X-A=1:VIP,Tech\n"
                      "X-TECH:no\nEND:VCARD\n")
        << u"vip"_s << u"Card 1, line 1: Ann"_s << u"CATEGORIES||VIP,Tech"_s
        << QStringList{u"item2.CATEGORIES;X-A=1:VIP,Tech"_s} << 4 << QString();
    QTest::newRow("a part that no field holds: its own line")
        << QByteArray("BEGIN:VCARD\nN:Lee;Ann;;;\nN:Lee;Ann;Mary;;\nEND:VCARD\n") << u"mary"_s
        << u"Card 1, line 1: Ann Lee"_s << u"N||Lee; Ann; Mary"_s
        << QStringList{u"N:Lee;Ann;Mary;;"_s} << 2 << QString();
    QTest::newRow("a parameter's text: its own line; the contact as written")
        << QByteArray("BEGIN:VCARD\nORG:Acme\\, Inc.;;Sales\nADR;TYPE=home:;;Oak St.;Town\n"
                      "ADR;TYPE=work;LABEL=\"Oak St.^nTown\":;;Oak St.;Town\nEND:VCARD\n")
        << u"oak st. town"_s << u"Card 1, line 1: Acme, Inc., Sales"_s
        << u"ADR|work|Oak St.; Town"_s
        << QStringList{u"ADR;TYPE=work;LABEL=\"Oak St.^nTown\":;;Oak St.;Town"_s} << 3 << QString();
}

void TestResults::cardDetails()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, needle);
    QFETCH(QString, title);
    QFETCH(QString, matched);
    QFETCH(QStringList, marked);
    QFETCH(int, properties);
    QFETCH(QString, note);
    const CardBytes text = prepareCardBytes(file);
    const QList<ResultRow> rows = searchRows(text, needle);
    QCOMPARE(rows.size(), 1);
    const CardDetails details = describeCard(rows.first(), text);
    QCOMPARE(details.title, title);
    QCOMPARE(details.searchText, needle);
    QCOMPARE(details.note, note);
    QCOMPARE(details.properties.size(), properties);
    QStringList found;
    for (const CardDetails::Property &property : details.properties) {
        if (property.matched)
            found.append(property.name + u'|' + property.types + u'|' + property.value);
    }
    QCOMPARE(found, QStringList{matched});
    QStringList lines;
    for (const qsizetype i : details.matchedLines)
        lines.append(details.lines.at(i));
    QCOMPARE(lines, marked);
    QCOMPARE(details.firstLine, rows.first().Card.line);

    // A file that no longer holds the card where the search found it says so.
    ResultRow moved = rows.first();
    moved.Card.end = text.bytes.size() + 1;
    QVERIFY(describeCard(moved, text).note.contains(u"changed"_s));
}

void TestResults::cardFromItsFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("note");
    QTest::addColumn<QString>("first"); // the first property shown, name:value
    QTest::addColumn<QStringList>("marked");
    const QString changed = QString::fromUtf16(kFileChangedNote);
    const QString gone = changed + u": the card is no longer where it was."_s;
    const QString two = u"BEGIN:VCARD\r\nFN:Ann\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:Bo 😀\r\n"
                        "EMAIL:bo@x\r\nEND:VCARD\r\n"_s;
    const QStringList email{u"EMAIL:bo@x"_s};
    QTest::newRow("as searched") << two.toUtf8() << Change::None << QString() << u"FN:Bo 😀"_s
                                 << email;
    QTest::newRow("a card added in front, of the first one's length")
        << two.toUtf8() << Change::CardInFront << gone << QString() << QStringList();
    QTest::newRow("touched: the card is still shown")
        << two.toUtf8() << Change::Touched << changed + u", but not this card."_s << u"FN:Bo 😀"_s
        << email;
    QTest::newRow("edited in place, its size and time kept")
        << two.toUtf8() << Change::EditedKeepingTime << gone << QString() << QStringList();
    QTest::newRow("cut short") << two.toUtf8() << Change::CutShort << gone << QString()
                               << QStringList();
    QTest::newRow("deleted") << two.toUtf8() << Change::Deleted
                             << changed + u": it is no longer there."_s << QString()
                             << QStringList();
    QTest::newRow("UTF-8 with a mark") << QByteArray("\xEF\xBB\xBF") + two.toUtf8() << Change::None
                                       << QString() << u"FN:Bo 😀"_s << email;
    QTest::newRow("UTF-16LE with a mark") << utf16(two, QStringConverter::Utf16LE, true)
                                          << Change::None << QString() << u"FN:Bo 😀"_s << email;
    QTest::newRow("UTF-16BE without a mark") << utf16(two, QStringConverter::Utf16BE, false)
                                             << Change::None << QString() << u"FN:Bo 😀"_s << email;
    // A surrogate pair across the pieces a UTF-16 file is decoded in, before the card;
    // the file large enough to be searched in two parts.
    QString padding = u"BEGIN:VCARD\r\nNOTE:"_s;
    padding += QString((qsizetype(4) << 20) - 1 - padding.size(), u'x');
    padding += u"😀\r\nEND:VCARD\r\nBEGIN:VCARD\r\nNOTE:"_s + QString(5 << 20, u'y')
        + u"\r\nEND:VCARD\r\n"_s;
    QTest::newRow("UTF-16LE, a pair split by a piece before the card, in parts")
        << utf16(padding + two, QStringConverter::Utf16LE, true) << Change::None << QString()
        << u"FN:Bo 😀"_s << email;
    // Unlabelled legacy text is read in the charset that another card names.
    QTest::newRow("legacy text in the file's charset")
        << QByteArray("BEGIN:VCARD\r\nFN;CHARSET=ISO-8859-5:\xB0\r\nEND:VCARD\r\n"
                      "BEGIN:VCARD\r\nFN:Ren\xE9\r\nEMAIL:bo@x\r\nEND:VCARD\r\n")
        << Change::None << QString() << u"FN:Renщ"_s << email;
    QByteArray many("BEGIN:VCARD\r\nFN:Many\r\n");
    for (int i = 0; i < 2000; ++i)
        many += "NOTE:n\r\n";
    QTest::newRow("a match past the properties shown")
        << many + "EMAIL:bo@x\r\nEND:VCARD\r\n"
        << Change::None
        << u"The card is too long to show whole: its first 2000 properties are shown."_s
        << u"FN:Many"_s << QStringList();
}

void TestResults::cardFromItsFile()
{
    QFETCH(QByteArray, file);
    QFETCH(Change, change);
    QFETCH(QString, note);
    QFETCH(QString, first);
    QFETCH(QStringList, marked);
    const QString path = writeTestFile(m_dir, u"card.vcf"_s, file);
    const QList<ResultRow> rows = searchedRows(path, u"bo@x"_s);
    QCOMPARE(rows.size(), 1);
    // The row's card is the file's last; the search tells where it begins in the file.
    const CardEncoding encoding = detectCardEncoding(file);
    const QByteArray begin = encoding == CardEncoding::Utf16LE
        ? utf16(u"BEGIN:VCARD"_s, QStringConverter::Utf16LE, false)
        : encoding == CardEncoding::Utf16BE
        ? utf16(u"BEGIN:VCARD"_s, QStringConverter::Utf16BE, false)
        : QByteArray("BEGIN:VCARD");
    QCOMPARE(rows.first().Card.fileBegin, qint64(file.lastIndexOf(begin)));
    struct stat before
    {
    };
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &before), 0);
    const auto setTimes = [&](timespec modified) {
        const timespec times[2]{before.st_atim, modified};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    };
    switch (change) {
    case Change::None:
        break;
    case Change::CardInFront:
        writeTestFile(m_dir, u"card.vcf"_s, "BEGIN:VCARD\r\nFN:Cyd\r\nEND:VCARD\r\n" + file);
        break;
    case Change::Touched:
        setTimes({before.st_mtim.tv_sec + 3600, before.st_mtim.tv_nsec});
        break;
    case Change::EditedKeepingTime:
        writeTestFile(m_dir, u"card.vcf"_s, QByteArray(file).replace("bo@x", "bo@y"));
        setTimes(before.st_mtim);
        break;
    case Change::CutShort:
        writeTestFile(m_dir, u"card.vcf"_s, file.chopped(3));
        break;
    case Change::Deleted:
        QVERIFY(QFile::remove(path));
        break;
    }

    const CardDetails details = readCardDetails(rows.first());
    QCOMPARE(details.note, note);
    QCOMPARE(details.properties.isEmpty()
                 ? QString()
                 : details.properties.first().name + u':' + details.properties.first().value,
             first);
    QStringList lines;
    for (const qsizetype i : details.matchedLines)
        lines.append(details.lines.at(i));
    QCOMPARE(lines, marked);
    // What is shown is the row's card whole, or nothing of it.
    if (!details.lines.isEmpty()) {
        QCOMPARE(details.lines.first(), u"BEGIN:VCARD"_s);
        QCOMPARE(details.lines.last(), u"END:VCARD"_s);
    }
    // Without the card's place in the file, a UTF-16 file is decoded up to it: the same.
    ResultRow unplaced = rows.first();
    unplaced.Card.fileBegin = -1;
    const CardDetails decoded = readCardDetails(unplaced);
    QCOMPARE(decoded.note, details.note);
    QCOMPARE(decoded.lines, details.lines);
}

void TestResults::writeTextFile()
{
    QVERIFY(m_dir.isValid());
    const QString path = m_dir.filePath(u"results.txt"_s);
    WriteTextFile(u"a much longer first text than the second one\r\n"_s, path);
    WriteTextFile(u"Zürich\t€\r\n"_s, path);
    // UTF-8 without a byte-order mark, and nothing of the longer old file left.
    QCOMPARE(readTestFile(path), QByteArray("Z\xC3\xBCrich\t\xE2\x82\xAC\r\n"));
    WriteTextFile(QString(), path);
    QCOMPARE(readTestFile(path), QByteArray());
    // A text of several pieces, a pair of surrogates across the first boundary and a lone
    // one at the end, is written as one conversion would write it, the events run between.
    const QString large = QString((1 << 20) - 1, u'a') + u"\U0001F600"_s
        + QString(1 << 21, u'b') + u"ü"_s + QChar(0xD800);
    int turns = 0;
    EventPump pump([&turns] { ++turns; }, 0);
    WriteTextFile(large, path, &pump);
    QCOMPARE(readTestFile(path), large.toUtf8());
    QVERIFY(turns >= 3);
}

void TestResults::writeTextFileFailures_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("missing folder") << u"no/such/folder/results.txt"_s;
    QTest::newRow("path under a regular file") << u"old.txt/results.txt"_s;
    QTest::newRow("a folder in the file's place") << u"folder"_s;
}

void TestResults::writeTextFileFailures()
{
    QFETCH(QString, target);
    QVERIFY(m_dir.isValid());
    const QString old = m_dir.filePath(u"old.txt"_s);
    WriteTextFile(u"old content\r\n"_s, old);
    QDir(m_dir.path()).mkdir(u"folder"_s);
    const QString path = m_dir.filePath(target);
    try {
        WriteTextFile(u"new"_s, path);
        QFAIL("the write did not fail");
    } catch (const Failure &failure) {
        QVERIFY2(failure.description().startsWith(path), qPrintable(failure.description()));
    }
    QCOMPARE(readTestFile(old), QByteArray("old content\r\n"));
    QVERIFY(QFileInfo(m_dir.filePath(u"folder"_s)).isDir());
}

QTEST_GUILESS_MAIN(TestResults)
#include "tst_results.moc"
