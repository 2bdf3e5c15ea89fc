// Field matching, the stored form of search sets, and the search run over real files.

#include "CardExpect.h"
#include "ScriptedListener.h"
#include "card/CardParser.h"
#include "search/FieldMatching.h"
#include "search/FileSearch.h"
#include "search/PatternMatching.h"
#include "search/PhoneMatcher.h"
#include "search/SearchRun.h"
#include "search/SearchSets.h"
#include "search/TextFolding.h"
#include "search/TextMatcher.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

QString rowsText(const QList<ResultRow> &rows)
{
    QStringList lines;
    for (const ResultRow &row : rows)
        lines.append(row.File + u" | "_s + row.Tag + u" | "_s + row.Value);
    return lines.join(u'\n');
}

/// Options from words: "exact" (match case), "accents" (ignore them), "phone:CC", "regex",
/// "words" (whole words only).
MatchOptions optionsFrom(const QString &words)
{
    MatchOptions options;
    for (const QString &word : words.split(u' ', Qt::SkipEmptyParts)) {
        if (word == u"exact"_s)
            options.ignoreCase = false;
        else if (word == u"accents"_s)
            options.ignoreAccents = true;
        else if (word.startsWith(u"phone:"_s))
            options.phoneNumbers = true, options.region = word.sliced(6);
        else if (word == u"regex"_s)
            options.regularExpression = true;
        else if (word == u"words"_s)
            options.wholeWords = true;
        else
            qFatal("unknown option word %s", qPrintable(word));
    }
    return options;
}

} // namespace

class TestSearch final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void fieldOrder();
    void fieldMatching_data();
    void fieldMatching();
    void findSetsStoredForm_data();
    void findSetsStoredForm();
    void findSetsMerged_data();
    void findSetsMerged();
    void runOrdersRowsByFileCardTextField();
    void runReportsUnreadableFileOnce();
    void runStopsBeforeTheNextFile();
    void runReadsCriteriaAfreshPerFile_data();
    void runReadsCriteriaAfreshPerFile();
    void runGivesTheSameRowsOnAnyThreads_data();
    void runGivesTheSameRowsOnAnyThreads();
    void runModes_data();
    void runModes();
    void everyText_data();
    void everyText();
    void textMatcher_data();
    void textMatcher();
    void patternMatcher_data();
    void patternMatcher();
    void shortcutsNeverHideAMatch_data();
    void shortcutsNeverHideAMatch();
    void rawFilterSeesBase64Text_data();
    void rawFilterSeesBase64Text();
    void foldedMatching_data();
    void foldedMatching();
    void foldingAgreesWithIcuOnEveryCharacter();
    void phoneMatching_data();
    void phoneMatching();
    void shortcutsWithOptions_data();
    void shortcutsWithOptions();
    void filterStillSkips_data();
    void filterStillSkips();
    void valuesWrittenOverStayFindable_data();
    void valuesWrittenOverStayFindable();
    void wholeWords_data();
    void wholeWords();
    void chosenFields_data();
    void chosenFields();

private:
    QString write(const QString &name, const QByteArray &bytes);
    QTemporaryDir m_dir;
};

QString TestSearch::write(const QString &name, const QByteArray &bytes)
{
    return writeTestFile(m_dir, name, bytes);
}

void TestSearch::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestSearch::fieldOrder()
{
    QStringList names;
    for (const ContactFieldInfo &field : searchedContactFields())
        names.append(QString(field.name));
    const QStringList expected{u"Birthday"_s,
                               u"BusinessAddress1"_s,
                               u"BusinessAddress2"_s,
                               u"BusinessCity"_s,
                               u"BusinessCountry"_s,
                               u"BusinessPhones"_s,
                               u"BusinessPostal"_s,
                               u"BusinessState"_s,
                               u"Emails"_s,
                               u"FirstName"_s,
                               u"HomeAddress1"_s,
                               u"HomeAddress2"_s,
                               u"HomeCity"_s,
                               u"HomeCountry"_s,
                               u"HomeFax"_s,
                               u"HomePhones"_s,
                               u"HomePostal"_s,
                               u"HomeState"_s,
                               u"LastName"_s,
                               u"Mobile"_s,
                               u"Nickname"_s,
                               u"Notes"_s,
                               u"Organization"_s,
                               u"Pager"_s,
                               u"Role"_s,
                               u"Title"_s,
                               u"Urls"_s};
    QCOMPARE(names, expected);
}

void TestSearch::fieldMatching_data()
{
    QTest::addColumn<QVariantMap>("card");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ignoreCase");
    QTest::addColumn<QStringList>("rows"); // "Tag=Value"

    const QVariantMap anna{{u"FirstName"_s, u"Anna"_s}, {u"Notes"_s, u"call Anna"_s}};
    QTest::newRow("ignore case finds both, in field order")
        << anna << u"anna"_s << true << QStringList{u"FirstName=Anna"_s, u"Notes=call Anna"_s};
    QTest::newRow("match case finds none") << anna << u"anna"_s << false << QStringList{};
    QTest::newRow("list elements carry their position")
        << QVariantMap{{u"Emails"_s, QStringList{u"a@x"_s, u"b@shop"_s, u"c@shop"_s}}} << u"shop"_s
        << true << QStringList{u"Emails2=b@shop"_s, u"Emails3=c@shop"_s};
    QTest::newRow("a single element is untagged")
        << QVariantMap{{u"HomePhones"_s, QStringList{u"555 1234"_s}}} << u"555"_s << true
        << QStringList{u"HomePhones=555 1234"_s};
    QTest::newRow("twelfth element")
        << QVariantMap{{u"Urls"_s, QStringList(11, u"x"_s) + QStringList{u"hit"_s}}} << u"hit"_s
        << true << QStringList{u"Urls12=hit"_s};
    QTest::newRow("Birthday comes first, Urls last")
        << QVariantMap{{u"Urls"_s, QStringList{u"19"_s}},
                       {u"Birthday"_s, u"1970-01-19"_s},
                       {u"Notes"_s, u"19"_s}}
        << u"19"_s << true << QStringList{u"Birthday=1970-01-19"_s, u"Notes=19"_s, u"Urls=19"_s};
    QTest::newRow("leading blank is part of the text")
        << QVariantMap{{u"HomeAddress1"_s, u"Main-Street"_s},
                       {u"BusinessAddress1"_s, u"Main Street"_s}}
        << u" Street"_s << true << QStringList{u"BusinessAddress1=Main Street"_s};
    QTest::newRow("several hits in one value give one row")
        << QVariantMap{{u"Notes"_s, u"aa aa aa"_s}} << u"aa"_s << true
        << QStringList{u"Notes=aa aa aa"_s};
    QTest::newRow("empty text matches every non-empty value, no empty one")
        << QVariantMap{{u"Title"_s, u"Boss"_s}, {u"Emails"_s, QStringList{QString(), u"e"_s}}}
        << QString() << true << QStringList{u"Emails2=e"_s, u"Title=Boss"_s};
    QTest::newRow("Unicode case folding")
        << QVariantMap{{u"LastName"_s, u"ÖZTÜRK"_s}, {u"Organization"_s, u"ΣΟΦΙΑ"_s}} << u"öztürk"_s
        << true << QStringList{u"LastName=ÖZTÜRK"_s};
    QTest::newRow("Greek lower case") << QVariantMap{{u"Organization"_s, u"ΣΟΦΙΑ"_s}} << u"σοφια"_s
                                      << true << QStringList{u"Organization=ΣΟΦΙΑ"_s};
    QTest::newRow("match case is exact") << QVariantMap{{u"Role"_s, u"Tech Lead"_s}} << u"Tech"_s
                                         << false << QStringList{u"Role=Tech Lead"_s};
}

void TestSearch::fieldMatching()
{
    QFETCH(QVariantMap, card);
    QFETCH(QString, text);
    QFETCH(bool, ignoreCase);
    QFETCH(QStringList, rows);
    QList<ResultRow> found;
    AddFieldMatches(expectedFields(card), u"/c/a.vcf"_s, text, ignoreCase, found);
    QStringList actual;
    for (const ResultRow &row : found) {
        QCOMPARE(row.File, u"/c/a.vcf"_s);
        actual.append(row.Tag + u'=' + row.Value);
    }
    QCOMPARE(actual, rows);
}

void TestSearch::findSetsStoredForm_data()
{
    QTest::addColumn<QStringList>("sets");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("restored");
    QTest::newRow("two entries") << QStringList{u"a"_s, u"b"_s} << u"::a::b"_s
                                 << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("empty list") << QStringList{} << QString() << QStringList{};
    // Lists the "::" form would change are stored as a JSON array.
    QTest::newRow("an entry holding ::")
        << QStringList{u"x::y"_s} << u"[\"x::y\"]"_s << QStringList{u"x::y"_s};
    QTest::newRow("an entry ending in a colon")
        << QStringList{u"a:"_s, u"b"_s} << u"[\"a:\",\"b\"]"_s << QStringList{u"a:"_s, u"b"_s};
    QTest::newRow("blank entry survives")
        << QStringList{u"  "_s} << u"::  "_s << QStringList{u"  "_s};
    QTest::newRow("commas and quotes")
        << QStringList{u"a, \"b\""_s} << u"::a, \"b\""_s << QStringList{u"a, \"b\""_s};
}

void TestSearch::findSetsStoredForm()
{
    QFETCH(QStringList, sets);
    QFETCH(QString, stored);
    QFETCH(QStringList, restored);
    QCOMPARE(findSetsText(sets), stored);
    QCOMPARE(findSetsFromText(stored), restored);
}

void TestSearch::findSetsMerged_data()
{
    // A window's list went from before to sets while the list stored became stored.
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("sets");
    QTest::addColumn<QStringList>("merged");
    const QStringList ab{u"a"_s, u"b"_s};
    QTest::newRow("no other change: the list as it is, order included")
        << ab << ab << QStringList{u"b"_s, u"c"_s, u"a"_s} << QStringList{u"b"_s, u"c"_s, u"a"_s};
    QTest::newRow("another window added and removed")
        << QStringList{u"b"_s, u"x"_s} << ab << QStringList{u"a"_s, u"b"_s, u"c"_s}
        << QStringList{u"b"_s, u"x"_s, u"c"_s};
    QTest::newRow("removed here, one of two alike")
        << QStringList{u"a"_s, u"a"_s, u"x"_s} << QStringList{u"a"_s, u"a"_s} << QStringList{u"a"_s}
        << QStringList{u"a"_s, u"x"_s};
    QTest::newRow("removed here and there")
        << QStringList{u"x"_s} << ab << QStringList{u"b"_s} << QStringList{u"x"_s};
    QTest::newRow("added here and there: once")
        << QStringList{u"a"_s, u"b"_s, u"c"_s} << ab << QStringList{u"c"_s, u"a"_s, u"b"_s}
        << QStringList{u"a"_s, u"b"_s, u"c"_s};
    QTest::newRow("cleared elsewhere, added here")
        << QStringList{} << ab << QStringList{u"a"_s, u"b"_s, u"c"_s, u"c"_s}
        << QStringList{u"c"_s, u"c"_s};
}

void TestSearch::findSetsMerged()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, before);
    QFETCH(QStringList, sets);
    QFETCH(QStringList, merged);
    QCOMPARE(mergedFindSets(stored, before, sets), merged);
}

void TestSearch::runOrdersRowsByFileCardTextField()
{
    const QString first = write(u"first.vcf"_s,
                                "BEGIN:VCARD\nFN:Red Green\nNOTE:green red\nEND:VCARD\n"
                                "BEGIN:VCARD\nFN:Second red\nEND:VCARD\n");
    const QString second = write(u"second.vcf"_s, "BEGIN:VCARD\nTITLE:green\nEND:VCARD\n");
    ScriptedListener host;
    host.criteria.mode = SearchCriteria::Mode::Multiple;
    host.criteria.sets = {u"red"_s, u"green"_s};
    QVERIFY(host.search({first, second, first}));
    QVERIFY(host.failures.isEmpty());
    // Each row also names its card: number, first line, contact, and the text that matched.
    const CardPlace card1{1, 1, 0, 50};
    const CardPlace card2{2, 5, 50, 86};
    const QList<ResultRow> expected{
        {first, u"FirstName"_s, u"Red Green"_s, u"Red Green"_s, u"red"_s, card1},
        {first, u"Notes"_s, u"green red"_s, u"Red Green"_s, u"red"_s, card1},
        {first, u"FirstName"_s, u"Red Green"_s, u"Red Green"_s, u"green"_s, card1},
        {first, u"Notes"_s, u"green red"_s, u"Red Green"_s, u"green"_s, card1},
        {first, u"FirstName"_s, u"Second red"_s, u"Second red"_s, u"red"_s, card2},
        {second, u"Title"_s, u"green"_s, QString(), u"green"_s, {1, 1, 0, 34}},
    };
    QVERIFY2(host.found == expected + expected.first(5), qPrintable(rowsText(host.found)));
    QCOMPARE(host.batches, 3); // one batch per file: few rows, gathered before they go on
    QCOMPARE(host.started, (QStringList{first, second, first}));
    QCOMPARE(host.eventTurns, 3);
}

void TestSearch::runReportsUnreadableFileOnce()
{
    const QString good = write(u"good.vcf"_s, "BEGIN:VCARD\nFN:Tech Person\nEND:VCARD\n");
    const QString folder = m_dir.filePath(u"folder.vcf"_s);
    QVERIFY(QDir().mkpath(folder));
    ScriptedListener host;
    host.criteria.text = u"tech"_s;
    QVERIFY(host.search({good, folder, m_dir.filePath(u"missing.vcf"_s), good}));
    QCOMPARE(host.failures.size(), 1);
    QCOMPARE(host.failures.first().index, 1);
    QCOMPARE(host.failures.first().kind, FileFailure::Read);
    QVERIFY2(host.failures.first().description.contains(folder),
             qPrintable(host.failures.first().description));
    QCOMPARE(host.found.size(), 2);
    QCOMPARE(host.found.at(0).File, good);
    QCOMPARE(host.found.at(1).File, good);
}

void TestSearch::runStopsBeforeTheNextFile()
{
    const QString card = write(u"stop.vcf"_s, "BEGIN:VCARD\nFN:Stop Here\nEND:VCARD\n");
    ScriptedListener host;
    host.criteria.text = u"stop"_s;
    // The stop arrives while the second file is in hand: that file is finished.
    host.onEvents = [&](int turn) {
        if (turn == 2)
            host.run->requestStop();
    };
    QVERIFY(!host.search(QStringList(10, card)));
    QCOMPARE(host.found.size(), 2);
    QCOMPARE(host.eventTurns, 2);
    QCOMPARE(host.filesDone, 2);
}

/// The ways a run can search: on its own thread, on workers, on workers for a live host.
void addThreadRows()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<bool>("live");
    QTest::newRow("one thread") << 1 << false;
    QTest::newRow("three workers") << 3 << false;
    QTest::newRow("one worker, live") << 1 << true;
    QTest::newRow("two workers, live") << 2 << true;
}

void TestSearch::runReadsCriteriaAfreshPerFile_data()
{
    addThreadRows();
}

void TestSearch::runReadsCriteriaAfreshPerFile()
{
    // Workers search ahead with the criteria they started with; a change must still
    // apply from the file where it was read.
    QFETCH(int, threads);
    QFETCH(bool, live);
    const QString card
        = write(u"fresh.vcf"_s, "BEGIN:VCARD\nFN:Alpha Beta\nTITLE:Gamma\nEND:VCARD\n");
    ScriptedListener host;
    host.threads = threads;
    host.live = live;
    host.criteria.text = u"alpha"_s;
    // Keyed on the file in hand: a live host also turns events while it waits.
    host.onEvents = [&](int) {
        const qsizetype file = host.started.size();
        if (file == 2)
            host.criteria.ignoreCase = false; // "alpha" no longer matches "Alpha"
        if (file == 3) {
            host.criteria.mode = SearchCriteria::Mode::Multiple;
            host.criteria.sets = {u"Gamma"_s, u"Beta"_s};
        }
        if (file == 4) {
            host.criteria.mode = SearchCriteria::Mode::This;
            host.criteria.text.clear(); // an emptied search box matches every value
        }
        if (file == 5)
            host.criteria.mode = SearchCriteria::Mode::None;
        if (file == 6) {
            host.criteria.mode = SearchCriteria::Mode::Multiple;
            host.criteria.sets = {u"Gamma"_s, u"Zeta"_s};
        }
        if (file == 7)
            host.criteria.everyText = true; // no card holds "Zeta"
    };
    QVERIFY(host.search(QStringList(7, card)));
    QStringList tags;
    for (const ResultRow &row : host.found)
        tags.append(row.Tag);
    QCOMPARE(tags,
             (QStringList{u"FirstName"_s, u"Title"_s, u"FirstName"_s, u"FirstName"_s, u"Title"_s,
                          u"Title"_s}));
    QCOMPARE(host.filesDone, 7);
}

void TestSearch::runGivesTheSameRowsOnAnyThreads_data()
{
    addThreadRows();
}

void TestSearch::runGivesTheSameRowsOnAnyThreads()
{
    // More files than the workers may run ahead, of every kind: rows come in the order
    // of the list, each failure is reported once, at its file.
    QFETCH(int, threads);
    QFETCH(bool, live);
    QStringList kinds;
    for (int i = 0; i < 7; ++i) {
        QByteArray cards;
        for (int k = 0; k <= i * 3; ++k)
            cards += "BEGIN:VCARD\nFN:Person " + QByteArray::number(k)
                + "\nNOTE:" + (k % 2 ? "tech" : "none") + "\nEND:VCARD\n";
        kinds.append(write(u"kind%1.vcf"_s.arg(i), cards));
    }
    const QString folder = m_dir.filePath(u"a folder.vcf"_s);
    QVERIFY(QDir().mkpath(folder));
    kinds += {folder, m_dir.filePath(u"missing.vcf"_s)};
    QStringList files;
    for (int i = 0; i < 5000; ++i)
        files.append(kinds.at((i * 7 + i / 13) % kinds.size()));
    QStringList expected;
    for (const QString &file : std::as_const(files)) {
        const qsizetype kind = kinds.indexOf(file);
        for (int k = 1; kind < 7 && k <= kind * 3; k += 2)
            expected.append(file + u" | Notes | tech #%1"_s.arg(k + 1));
    }
    ScriptedListener host;
    host.threads = threads;
    host.live = live;
    host.criteria.text = u"TECH"_s;
    QVERIFY(host.search(files));
    QStringList got;
    for (const ResultRow &row : std::as_const(host.found))
        got.append(row.File + u" | "_s + row.Tag + u" | "_s + row.Value + u" #"_s
                   + QString::number(row.Card.number));
    QCOMPARE(got, expected);
    QCOMPARE(host.failures.size(), files.count(folder));
    QVERIFY(std::all_of(host.failures.cbegin(), host.failures.cend(), [&](const FailedFile &f) {
        return f.kind == FileFailure::Read && files.at(f.index) == folder;
    }));
    QCOMPARE(host.started, files);
    QCOMPARE(host.filesDone, files.size());
}

void TestSearch::runModes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("sets");
    QTest::addColumn<int>("rows");
    QTest::newRow("multiple with an empty set list")
        << int(SearchCriteria::Mode::Multiple) << QStringList{} << 0;
    QTest::newRow("neither mode selected")
        << int(SearchCriteria::Mode::None) << QStringList{u"o"_s} << 0;
    QTest::newRow("a value with two set texts gives two rows")
        << int(SearchCriteria::Mode::Multiple) << QStringList{u"Alp"_s, u"pha"_s} << 2;
}

void TestSearch::runModes()
{
    QFETCH(int, mode);
    QFETCH(QStringList, sets);
    QFETCH(int, rows);
    const QString card = write(u"modes.vcf"_s, "BEGIN:VCARD\nFN:Alpha\nEND:VCARD\n");
    ScriptedListener host;
    host.criteria.mode = SearchCriteria::Mode(mode);
    host.criteria.text = u"Alpha"_s;
    host.criteria.sets = sets;
    QVERIFY(host.search({card, card}));
    QCOMPARE(host.found.size(), rows * 2);
    QCOMPARE(host.eventTurns, 2); // every file is visited
}

void TestSearch::everyText_data()
{
    QTest::addColumn<QStringList>("sets");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QStringList>("rows"); // file and card, tag, text
    QTest::newRow("cards with some of the texts give none")
        << QStringList{u"anna"_s, u"berlin"_s} << QString()
        << QStringList{u"a1 FirstName anna"_s,   u"a1 Notes berlin"_s,   u"a3 Emails anna"_s,
                       u"a3 FirstName berlin"_s, u"b1 FirstName anna"_s, u"b1 Notes berlin"_s};
    QTest::newRow("one text twice")
        << QStringList{u"anna"_s, u"anna"_s} << QString()
        << QStringList{u"a1 FirstName anna"_s, u"a1 FirstName anna"_s, u"a2 FirstName anna"_s,
                       u"a2 FirstName anna"_s, u"a3 Emails anna"_s,    u"a3 Emails anna"_s,
                       u"b1 FirstName anna"_s, u"b1 FirstName anna"_s};
    QTest::newRow("one text: every card that holds it")
        << QStringList{u"anna"_s} << QString()
        << QStringList{u"a1 FirstName anna"_s, u"a2 FirstName anna"_s, u"a3 Emails anna"_s,
                       u"b1 FirstName anna"_s};
    QTest::newRow("a text no card holds")
        << QStringList{u"anna"_s, u"zzz"_s} << QString() << QStringList{};
    QTest::newRow("match case") << QStringList{u"Anna"_s, u"Berlin"_s} << u"exact"_s
                                << QStringList{u"a1 FirstName Anna"_s, u"a1 Notes Berlin"_s,
                                               u"b1 FirstName Anna"_s, u"b1 Notes Berlin"_s};
    QTest::newRow("accents") << QStringList{u"jorg"_s, u"berlin"_s} << u"accents"_s
                             << QStringList{u"a3 FirstName jorg"_s, u"a3 FirstName berlin"_s};
    QTest::newRow("accents kept") << QStringList{u"jorg"_s, u"berlin"_s} << QString()
                                  << QStringList{};
    QTest::newRow("regular expressions")
        << QStringList{u"^anna"_s, u"berl(in)?$"_s} << u"regex"_s
        << QStringList{u"a3 Emails ^anna"_s, u"a3 FirstName berl(in)?$"_s, u"b1 FirstName ^anna"_s,
                       u"b1 Notes berl(in)?$"_s};
}

void TestSearch::everyText()
{
    // A card gives rows only when each text matched one of its values; b.vcf holds
    // "berlin" only quoted-printable, so its bytes must not rule it out.
    QFETCH(QStringList, sets);
    QFETCH(QString, options);
    QFETCH(QStringList, rows);
    const QString a
        = write(u"a.vcf"_s,
                "BEGIN:VCARD\nFN:Anna Berg\nNOTE:Berlin office\nEND:VCARD\n"
                "BEGIN:VCARD\nFN:Anna Meier\nTITLE:Engineer\nEND:VCARD\n"
                "BEGIN:VCARD\nFN:J\xC3\xB6rg Berlin\nEMAIL:anna@x.example\nEND:VCARD\n");
    const QString b = write(u"b.vcf"_s,
                            "BEGIN:VCARD\nFN:Anna Quoted\n"
                            "NOTE;ENCODING=QUOTED-PRINTABLE:Ber=6Cin\nEND:VCARD\n");
    const MatchOptions match = optionsFrom(options);
    ScriptedListener host;
    host.criteria.mode = SearchCriteria::Mode::Multiple;
    host.criteria.sets = sets;
    host.criteria.everyText = true;
    host.criteria.ignoreCase = match.ignoreCase;
    host.criteria.ignoreAccents = match.ignoreAccents;
    host.criteria.regularExpression = match.regularExpression;
    QVERIFY(host.search({a, b}));
    QStringList got;
    for (const ResultRow &row : std::as_const(host.found))
        got.append((row.File == a ? u"a"_s : u"b"_s) + QString::number(row.Card.number) + u' '
                   + row.Tag + u' ' + row.Text);
    QCOMPARE(got, rows);
}

void TestSearch::textMatcher_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<bool>("ignoreCase");
    QTest::addColumn<bool>("matches");
    QTest::newRow("ASCII, any case") << u"Tech Lead"_s << u"tECH"_s << true << true;
    QTest::newRow("ASCII, exact case") << u"Tech Lead"_s << u"tech"_s << false << false;
    QTest::newRow("match at the very end") << u"abctech"_s << u"tech"_s << true << true;
    QTest::newRow("needle longer than the value") << u"tec"_s << u"tech"_s << true << false;
    QTest::newRow("Kelvin sign folds onto k") << u"TEC\u212A"_s << u"teck"_s << true << true;
    QTest::newRow("long s folds onto s") << u"Bo\u017F"_s << u"bos"_s << true << true;
    QTest::newRow("non-ASCII value before the match") << u"Zoë tech"_s << u"TECH"_s << true << true;
    QTest::newRow("non-ASCII needle") << u"STRASSE Straße"_s << u"STRAßE"_s << true << true;
    QTest::newRow("Greek") << u"ΣΟΦΙΑ"_s << u"σοφια"_s << true << true;
    QTest::newRow("empty needle, non-empty value") << u"x"_s << QString() << true << true;
    QTest::newRow("empty value") << QString() << QString() << true << false;
}

void TestSearch::textMatcher()
{
    QFETCH(QString, value);
    QFETCH(QString, needle);
    QFETCH(bool, ignoreCase);
    QFETCH(bool, matches);
    QCOMPARE(TextMatcher(needle, ignoreCase).matches(value), matches);
    // The quick path agrees with Qt's own comparison.
    QCOMPARE(!value.isEmpty()
                 && value.contains(needle, ignoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive),
             matches);
}

void TestSearch::patternMatcher_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("options");
    QTest::addColumn<bool>("matches");
    QTest::addColumn<QString>("problem"); // patternProblem's answer
    QTest::newRow("anywhere in the value")
        << u"Tech Lead"_s << u"ch l"_s << QString() << true << QString();
    QTest::newRow("anchored") << u"Tech Lead"_s << u"^lead"_s << QString() << false << QString();
    QTest::newRow("match case") << u"Tech Lead"_s << u"tech"_s << u"exact"_s << false << QString();
    QTest::newRow("Kelvin sign in any case")
        << u"TEC\u212A"_s << u"tec[k]$"_s << QString() << true << QString();
    QTest::newRow("accents: the value's")
        << u"Müller"_s << u"^mul+er$"_s << u"accents"_s << true << QString();
    QTest::newRow("accents: the pattern's letters")
        << u"Muller"_s << u"^m[ü]ller"_s << u"accents"_s << true << QString();
    QTest::newRow("accents kept without the option")
        << u"Müller"_s << u"^mul+er$"_s << QString() << false << QString();
    QTest::newRow("a character outside the BMP is one")
        << u"x\U0001F600y"_s << u"^x.y$"_s << QString() << true << QString();
    QTest::newRow("the empty match of a non-empty value")
        << u"x"_s << u"z*"_s << QString() << true << QString();
    // A backtracking engine takes time exponential in the run of a's here.
    QTest::newRow("nested repetition")
        << QString(50000, u'a') + u'b' << u"(a+)+$"_s << QString() << false << QString();
    QTest::newRow("not valid: a group left open")
        << u"a(b"_s << u"a(b"_s << QString() << false << u"missing ): a(b at character 1"_s;
    QTest::newRow("not valid: a repetition of nothing")
        << u"ab"_s << u"a**"_s << QString() << false
        << u"bad repetition operator: ** at character 2"_s;
    QTest::newRow("not valid: a class of only a mark, without accents")
        << u"a"_s << u"a[\u0301]"_s << u"accents"_s << false << u"missing ]: [] at character 2"_s;
    QTest::newRow("not valid: a backslash at the end")
        << u"ab"_s << u"ab\\"_s << QString() << false << u"trailing \\ at character 3"_s;
}

void TestSearch::patternMatcher()
{
    QFETCH(QString, value);
    QFETCH(QString, pattern);
    QFETCH(QString, options);
    QFETCH(bool, matches);
    QFETCH(QString, problem);
    MatchOptions match = optionsFrom(options);
    match.regularExpression = true;
    QCOMPARE(TextMatcher(pattern, match).matches(value), matches);
    QCOMPARE(patternProblem(pattern, match.ignoreAccents), problem);
}

void TestSearch::shortcutsNeverHideAMatch_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<bool>("ignoreCase");
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("allProperties");
    const QByteArray tricky = "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Te=63h literal\r\n"
                              "NOTE;ENCODING=QUOTED-PRINTABLE:te=63h soft=\r\nbreak\r\n"
                              "TITLE:fol\r\n\tded\r\nEMAIL:TE\xE2\x84\xAAH@x\r\nROLE:a\\nb\r\n"
                              "ADR:;;Line=0DBreak;Town\r\nURL:http\\://x\r\nEND:VCARD\r\n";
    QTest::newRow("quoted-printable letters") << tricky << u"tech"_s << true << 1 << false;
    QTest::newRow("soft line break") << tricky << u"softbreak"_s << true << 1 << false;
    QTest::newRow("folded with a tab") << tricky << u"folded"_s << true << 1 << false;
    QTest::newRow("Kelvin sign") << tricky << u"tekh"_s << true << 1 << false;
    QTest::newRow("Kelvin sign, exact case") << tricky << u"TEKH"_s << false << 0 << false;
    QTest::newRow("escaped newline becomes a blank") << tricky << u"a b"_s << true << 1 << false;
    QTest::newRow("old =0D marker becomes a blank")
        << tricky << u"line break"_s << true << 1 << false;
    QTest::newRow("escaped colon") << tricky << u"http://"_s << true << 1 << false;
    QTest::newRow("literal =63 outside quoted-printable")
        << tricky << u"te=63h"_s << true << 1 << false;
    QTest::newRow("hex-looking text outside quoted-printable")
        << QByteArray("BEGIN:VCARD\nURL:http://x.example/?id=CAFE42\nEND:VCARD\n") << u"afe4"_s
        << true << 1 << false;
    QTest::newRow("UTF-16 file") << QByteArray("\xFF\xFE"
                                               "F\0N\0:\0T\0e\0c\0h\0",
                                               16)
                                 << u"tech"_s << true << 1 << false;
    QTest::newRow("legacy bytes") << QByteArray("BEGIN:VCARD\nFN:Caf\xE9 Tech\nEND:VCARD\n")
                                  << u"tech"_s << true << 1 << false;
    QTest::newRow("Shift_JIS value")
        << QByteArray("BEGIN:VCARD\nFN;CHARSET=SHIFT_JIS:\x83\x5C\x83\x74\x83\x67\nEND:VCARD\n")
        << u"ソフト"_s << true << 1 << false;
    // UTF-7 spells "t" as "+AHQ-": the filter must see every charset the parser sees.
    QTest::newRow("charset name before a blank")
        << QByteArray("BEGIN:VCARD\nFN;CHARSET =UTF-7:+AHQ-ech\nEND:VCARD\n") << u"tech"_s << true
        << 1 << false;
    QTest::newRow("folded charset parameter")
        << QByteArray("BEGIN:VCARD\nFN;CHAR\n SET=UTF-7:+AHQ-ech\nEND:VCARD\n") << u"tech"_s << true
        << 1 << false;
    QTest::newRow("fold inside a quoted-printable pair")
        << QByteArray("BEGIN:VCARD\r\nNOTE;ENCODING=QUOTED-PRINTABLE:te=6\r\n 3h\r\nEND:VCARD\r\n")
        << u"tech"_s << true << 1 << false;
    // A file without CHARSET read as GB18030, the one legacy charset with a Kelvin sign.
    QTest::newRow("Kelvin sign in a detected charset") << QByteArray(
        QStringEncoder("GB18030").encode(
            u"BEGIN:VCARD\nN:王;伟;;;\nORG:华为技术有限公司\nADR;WORK:;;建国路88号;北京市朝阳区;;"
            "100022;\nNOTE:下周一开会，请回电话 te\u212Ah\nEND:VCARD\n"_s))
                                                       << u"tekh"_s << true << 1 << false;
    QTest::newRow("3.0 fold after a soft line break") << QByteArray(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE;ENCODING=QUOTED-PRINTABLE:fo=\r\n lded\r\n"
        "END:VCARD\r\n") << u"folded"_s << true << 1 << false;
    QTest::newRow("raw lines continue a street")
        << QByteArray("BEGIN:VCARD\r\nADR;HOME:;;Street 1\\\r\nPackstation 9;City;;1;C\r\n"
                      "END:VCARD\r\n")
        << u"packstation"_s << true << 1 << false;
    QTest::newRow("agents and joined cards") << QByteArray(
        "BEGIN:VCARD\r\nFN:H\r\nAGENT:BEGIN:VCARD\\nFN:Tech\\nEND:VCARD\r\n"
        "AGENT:BEGIN:VCARD\r\nFN:Tech\r\nEND:VCARD\r\nEND:VCARDBEGIN:VCARD\r\nFN:Tech\r\n"
        "END:VCARD\r\n") << u"tech"_s << true << 3
                                             << false;
    QTest::newRow("UTF-32 file") << QByteArray("\xFF\xFE\0\0F\0\0\0N\0\0\0:\0\0\0T\0\0\0", 20)
                                 << u"t"_s << true << 1 << false;
    QTest::newRow("no match at all") << tricky << u"zebra"_s << true << 0 << false;
    const QByteArray others = "BEGIN:VCARD\r\nVERSION:2.1\r\nPHOTO;ENCODING=b:dGVjaA==\r\n"
                              "NOTE;ENCODING=b:VGVjaCBsZWFk\r\nX-A;ENCO\r\n DING=b:c2VjcmV0\r\n"
                              "X-B;ENCODING=QUOTED-PRINTABLE:b=6Fss\r\nEND:VCARD\r\n";
    QTest::newRow("base64 text value") << others << u"tech"_s << true << 1 << false;
    QTest::newRow("base64 text of another property, ENCODING folded")
        << others << u"secret"_s << true << 1 << true;
    QTest::newRow("quoted-printable text of another property")
        << others << u"boss"_s << true << 1 << true;
    QTest::newRow("other properties: a photo gives none") << others << u"e"_s << true << 2 << true;
    const QByteArray parts = "BEGIN:VCARD\r\nVERSION:4.0\r\nN;SORT-AS=\"a^^b\":Lee;Ann;Mary;;\r\n"
                             "ADR;LABEL=\"^'Mitte^' Berlin\":;;Main St.;Berlin;;;\r\n"
                             "X-IM;X-SERVICE-TYPE=Skype:live:ann\r\nEND:VCARD\r\n";
    QTest::newRow("N's additional name") << parts << u"mary"_s << true << 1 << true;
    QTest::newRow("an escaped caret in a parameter") << parts << u"a^b"_s << true << 1 << true;
    QTest::newRow("an escaped quote in a parameter")
        << parts << u"\"mitte\""_s << true << 1 << true;
    QTest::newRow("another property's parameter") << parts << u"skype"_s << true << 1 << true;
    QTest::newRow("parameters without all properties") << parts << u"skype"_s << true << 0 << false;
}

void TestSearch::shortcutsNeverHideAMatch()
{
    // The run skips files and values that cannot hold the text; its rows must be
    // those of a full reading.
    QFETCH(QByteArray, file);
    QFETCH(QString, needle);
    QFETCH(bool, ignoreCase);
    QFETCH(int, rows);
    QFETCH(bool, allProperties);
    const QString path = write(u"shortcut.vcf"_s, file);
    QList<ResultRow> full;
    CardParser::parse(
        prepareCardBytes(file),
        [&](ContactFields &&card) { AddFieldMatches(card, path, needle, ignoreCase, full); },
        nullptr, nullptr, ParseOptions{allProperties});
    ScriptedListener host;
    host.criteria.text = needle;
    host.criteria.ignoreCase = ignoreCase;
    host.criteria.allProperties = allProperties;
    QVERIFY(host.search({path}));
    QCOMPARE(rowsText(host.found), rowsText(full));
    QCOMPARE(full.size(), rows);
}

void TestSearch::rawFilterSeesBase64Text_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<bool>("mayContain");
    QTest::newRow("a text value in base64") << QByteArray("NOTE;ENCODING=b:VGVjaCBsZWFk\n") << true;
    QTest::newRow("vCard 2.1 BASE64, parameter folded")
        << QByteArray("N;CHARSET=UTF-8;BASE\n 64:VGVjaDs=\n") << true;
    QTest::newRow("a text value in base64 before a vCard 2.1 photo")
        << QByteArray("X-A;ENCODING=b:VGVjaA==\nPHOTO;BASE64:dGVjaA==\n") << true;
    QTest::newRow("ENCODING with blanks and quotes")
        << QByteArray("X-A;ENCODING = \"b\":VGVjaA==\n") << true;
    // Phone exports carry a photo in most cards: those files are still judged.
    QTest::newRow("only pictures, a key and a sound")
        << QByteArray("PHOTO;ENCODING=b;TYPE=JPEG:dGVjaA==\nitem1.LOGO;BASE64:dGVjaA==\n"
                      "KEY;ENCODING=B:dGVjaA==\nSOUND;ENCODING=BASE64:dGVjaA==\n"
                      "PHOTO:data:image/jpeg;base64,dGVjaA==\n")
        << false;
}

void TestSearch::rawFilterSeesBase64Text()
{
    QFETCH(QByteArray, lines);
    QFETCH(bool, mayContain);
    const QByteArray card = "BEGIN:VCARD\nFN:Ann\n" + lines + "END:VCARD\n";
    const RawValueFilter filter({u"tech"_s}, true);
    QByteArray joined;
    QCOMPARE(filter.fileMayContain(card), mayContain);
    QCOMPARE(filter.cardMayContain(
                 card, [] { return QByteArray(); }, joined),
             mayContain);
}

void TestSearch::foldedMatching_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QString>("options");
    QTest::addColumn<bool>("matches");
    QTest::newRow("ss finds ß") << u"Hauptstraße 5"_s << u"STRASSE"_s << QString() << true;
    QTest::newRow("ß finds ss") << u"HAUPTSTRASSE 5"_s << u"straße"_s << QString() << true;
    QTest::newRow("value shorter than the needle") << u"Groß"_s << u"GROSS"_s << QString() << true;
    QTest::newRow("capital sharp s") << u"GROẞ"_s << u"gross"_s << QString() << true;
    QTest::newRow("ligature") << u"O\uFB03ce Depot"_s << u"office"_s << QString() << true;
    QTest::newRow("accents count without the option")
        << u"Müller"_s << u"muller"_s << QString() << false;
    QTest::newRow("muller finds Müller") << u"Müller"_s << u"muller"_s << u"accents"_s << true;
    QTest::newRow("ñ") << u"Peña Nieto"_s << u"PENA"_s << u"accents"_s << true;
    QTest::newRow("ç") << u"François"_s << u"francois"_s << u"accents"_s << true;
    QTest::newRow("å") << u"Ångström AB"_s << u"angstrom"_s << u"accents"_s << true;
    QTest::newRow("Greek tonos") << u"Νίκος"_s << u"ΝΙΚΟΣ"_s << u"accents"_s << true;
    QTest::newRow("accented needle, plain value")
        << u"Jose Garcia"_s << u"García"_s << u"accents"_s << true;
    QTest::newRow("decomposed value") << u"Mu\u0308ller"_s << u"Müller"_s << u"accents"_s << true;
    QTest::newRow("decomposed needle") << u"José"_s << u"Jose\u0301"_s << u"accents"_s << true;
    QTest::newRow("accents and sharp s") << u"Weiß"_s << u"WEISS"_s << u"accents"_s << true;
    QTest::newRow("match case, accents ignored")
        << u"Émile"_s << u"Emile"_s << u"exact accents"_s << true;
    QTest::newRow("match case still counts")
        << u"Émile"_s << u"emile"_s << u"exact accents"_s << false;
    QTest::newRow("match case keeps ß")
        << u"Straße"_s << u"Strasse"_s << u"exact accents"_s << false;
    QTest::newRow("dotted capital I") << u"İSTANBUL"_s << u"istanbul"_s << QString() << true;
    QTest::newRow("dotted capital I in the text")
        << u"Istanbul"_s << u"İstanbul"_s << QString() << true;
    QTest::newRow("dotted capital I, match case")
        << u"İstanbul"_s << u"istanbul"_s << u"exact"_s << false;
    QTest::newRow("a letter under a flood of marks")
        << u"a"_s + u"\u0301\u0323"_s.repeated(5000) + u"b"_s << u"AB"_s << u"accents"_s << true;
    // A long value is folded a piece at a time; a match may cross from one into the next.
    for (const qsizetype before : {4090, 4091, 4093, 4096}) {
        QTest::addRow("a match %lld characters into a long value", qlonglong(before))
            << u"é"_s.repeated(before) + u"MÜLLER"_s << u"muller"_s << u"accents"_s << true;
    }
    QTest::newRow("a long value without the text")
        << u"é"_s.repeated(4093) + u"MÜLLE"_s << u"muller"_s << u"accents"_s << false;
    // Characters outside ASCII that fold into none of the text's letters stand between
    // its ASCII letters; those that do, or fold into nothing, are read as they fold.
    QTest::newRow("other letters beside the text")
        << u"東京 Office😀"_s << u"OFFICE"_s << QString() << true;
    QTest::newRow("another letter inside the text") << u"Of東fice"_s << u"office"_s << QString()
                                                    << false;
    QTest::newRow("a pair inside the text") << u"A😀nn"_s << u"ann"_s << QString() << false;
    QTest::newRow("a lone surrogate inside the text")
        << u"An"_s + QChar(0xD800) + u"n"_s << u"ann"_s << QString() << false;
    QTest::newRow("Kelvin sign reads k") << u"Kate"_s << u"KATE"_s << QString() << true;
    QTest::newRow("an accent folding into another letter")
        << u"xé"_s << u"xa"_s << u"accents"_s << false;
    QTest::newRow("an accent folding into the text's letter")
        << u"Xé"_s << u"xe"_s << u"accents"_s << true;
    QTest::newRow("a mark between the letters")
        << u"a\u0301b東"_s << u"AB"_s << u"accents"_s << true;
}

void TestSearch::foldedMatching()
{
    QFETCH(QString, value);
    QFETCH(QString, needle);
    QFETCH(QString, options);
    QFETCH(bool, matches);
    QCOMPARE(TextMatcher(needle, optionsFrom(options)).matches(value), matches);
}

namespace {

/// Full case folding by ICU.
QString foldedByIcu(const QString &text)
{
    std::vector<char16_t> folded(std::size_t(text.size()) * 3 + 16);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t size
        = u_strFoldCase(folded.data(), int32_t(folded.size()), QStringView(text).utf16(),
                        int32_t(text.size()), U_FOLD_CASE_DEFAULT, &status);
    return U_SUCCESS(status) ? QString::fromUtf16(folded.data(), size) : u"ICU failed"_s;
}

/// The plain way to remove marks: the whole text decomposed by ICU, then every nonspacing
/// mark and every character of a combining class other than 0 dropped.
QString withoutMarksByIcu(const QString &text)
{
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2 *nfd = unorm2_getNFDInstance(&status);
    std::vector<char16_t> decomposed(std::size_t(text.size()) * 8 + 16);
    const int32_t size = unorm2_normalize(nfd, QStringView(text).utf16(), int32_t(text.size()),
                                          decomposed.data(), int32_t(decomposed.size()), &status);
    if (U_FAILURE(status))
        return u"ICU failed"_s;
    QString out;
    for (int32_t i = 0; i < size;) {
        const int32_t start = i;
        UChar32 c;
        U16_NEXT(decomposed.data(), i, size, c);
        if (u_charType(c) != U_NON_SPACING_MARK && u_getCombiningClass(c) == 0)
            out.append(QStringView(decomposed.data() + start, i - start));
    }
    return out;
}

} // namespace

void TestSearch::foldingAgreesWithIcuOnEveryCharacter()
{
    // Marks are removed from each character's decomposition on its own; that must be
    // what decomposing the whole text gives, for every character, between marks of
    // several classes (which the whole text's decomposition reorders). Case folding is
    // ICU's, but for "İ", which reads "i" beside any character.
    const TextFolding accents{false, true};
    const TextFolding letterCase{true, false};
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const int8_t type = u_charType(UChar32(c));
        if (type == U_UNASSIGNED || type == U_PRIVATE_USE_CHAR || type == U_SURROGATE)
            continue;
        const QString one = QString::fromUcs4(&c, 1);
        const QString text = u"a"_s + one + u"\u0323\u0301"_s + one + u"\u0345\U0001D165x"_s;
        const QString expected = withoutMarksByIcu(text);
        if (foldedText(text, accents) != expected)
            QFAIL(qPrintable(u"U+%1: %2 instead of %3"_s.arg(uint(c), 4, 16, QChar(u'0'))
                                 .arg(foldedText(text, accents), expected)));
        const QString dotted = one + u"İ"_s + one;
        if (foldedText(dotted, letterCase) != foldedByIcu(QString(dotted).replace(u'İ', u'I')))
            QFAIL(qPrintable(u"U+%1 beside İ"_s.arg(uint(c), 4, 16, QChar(u'0'))));
    }
}

void TestSearch::phoneMatching_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QString>("region");
    QTest::addColumn<bool>("matches");
    QTest::newRow("trunk prefix") << u"+49 176 1234-5678"_s << u"017612345678"_s << u"DE"_s << true;
    QTest::newRow("international prefix 00")
        << u"0176 12345678"_s << u"0049 176 12345678"_s << u"DE"_s << true;
    QTest::newRow("international text, national value")
        << u"(0176) 1234 5678"_s << u"+49 176 12345678"_s << u"DE"_s << true;
    QTest::newRow("a value with words")
        << u"Handy: 0176 / 1234 5678"_s << u"+49 176 1234 5678"_s << u"DE"_s << true;
    QTest::newRow("another number")
        << u"+49 176 1234-5679"_s << u"017612345678"_s << u"DE"_s << false;
    QTest::newRow("same digits in another country")
        << u"+43 176 12345678"_s << u"017612345678"_s << u"DE"_s << false;
    QTest::newRow("vCard 4 uri") << u"tel:+1-650-253-0000"_s << u"(650) 253 0000"_s << u"US"_s
                                 << true;
    QTest::newRow("long-distance prefix 1")
        << u"650.253.0000"_s << u"1 650 253 0000"_s << u"US"_s << true;
    QTest::newRow("partial digits across separators")
        << u"+1 (555) 010-0123"_s << u"555 01"_s << u"US"_s << true;
    QTest::newRow("extension") << u"+1 650-253-0000 ext. 12"_s << u"650 2530000"_s << u"US"_s
                               << true;
    QTest::newRow("local number, no area code")
        << u"253-0000"_s << u"+1 650 253 0000"_s << u"US"_s << false;
    QTest::newRow("full-width digits")
        << u"０１７６ １２３４ ５６７８"_s << u"+49 176 12345678"_s << u"DE"_s << true;
    QTest::newRow("a letter makes it text")
        << u"+1 (555) 010-0123"_s << u"555 010 x"_s << u"US"_s << false;
    QTest::newRow("two digits are text") << u"+1 555 0100"_s << u"5-0"_s << u"US"_s << false;
    QTest::newRow("plus inside is text") << u"+1 555 0100"_s << u"1+555"_s << u"US"_s << false;
    QTest::newRow("the second number of a value")
        << u"0176 9999 9999, (0176) 1234 5678"_s << u"+49 176 12345678"_s << u"DE"_s << true;
    QTest::newRow("the number among many words")
        << u"call me "_s.repeated(100) + u"on 0176 1234 5678 please"_s << u"+49 176 12345678"_s
        << u"DE"_s << true;
    QTest::newRow("plus signs one after the other")
        << u"+++49 176 12345678"_s << u"017612345678"_s << u"DE"_s << true;
    QTest::newRow("a number of another country among many")
        << u"+1 176 12345678 or "_s.repeated(1000) << u"017612345678"_s << u"DE"_s << false;
}

void TestSearch::phoneMatching()
{
    QFETCH(QString, value);
    QFETCH(QString, needle);
    QFETCH(QString, region);
    QFETCH(bool, matches);
    const TextMatcher phone(needle, optionsFrom(u"phone:"_s + region));
    QCOMPARE(phone.matches(value, ValueKind::Telephone), matches);
    // Other values, and telephone values without the option, compare as text.
    const bool asText = value.contains(needle, Qt::CaseInsensitive);
    QCOMPARE(phone.matches(value, ValueKind::Text), asText);
    QCOMPARE(TextMatcher(needle, true).matches(value, ValueKind::Telephone), asText);
}

void TestSearch::shortcutsWithOptions_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QStringList>("rows"); // "Tag=Value"
    QTest::newRow("ß in UTF-8") << QByteArray(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna Weiß\r\n"
        "ADR;TYPE=HOME:;;Hauptstraße 5;Berlin;;10115;Germany\r\nEND:VCARD\r\n")
                                << u"strasse"_s << QString()
                                << QStringList{u"HomeAddress1=Hauptstraße 5"_s};
    QTest::newRow("ß in Windows-1252")
        << QByteArray("BEGIN:VCARD\nVERSION:2.1\nN:Gro\xDF;Jan\nEND:VCARD\n") << u"GROSS"_s
        << QString() << QStringList{u"LastName=Groß"_s};
    QTest::newRow("ß quoted-printable")
        << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:"
                      "Wei=C3=9F;Anna;;;\r\nEND:VCARD\r\n")
        << u"weiss"_s << QString() << QStringList{u"LastName=Weiß"_s};
    QTest::newRow("ligature") << QByteArray("BEGIN:VCARD\nORG:O\xEF\xAC\x83"
                                            "ce Supplies\nEND:VCARD\n")
                              << u"office"_s << QString()
                              << QStringList{u"Organization=O\uFB03ce Supplies"_s};
    QTest::newRow("accents in UTF-8")
        << QByteArray("BEGIN:VCARD\nN:Müller;Jürgen\nEND:VCARD\n") << u"jurgen"_s << u"accents"_s
        << QStringList{u"FirstName=Jürgen"_s};
    QTest::newRow("a combining mark between letters")
        << QByteArray("BEGIN:VCARD\nTITLE:Jose\xCC\x81 Garci\xCC\x81"
                      "a\nEND:VCARD\n")
        << u"garcia"_s << u"accents"_s << QStringList{u"Title=Jose\u0301 Garci\u0301a"_s};
    QTest::newRow("a spacing mark of a combining class between letters")
        << QByteArray("BEGIN:VCARD\nTITLE:Garc\xE1\xAD\x84ia\nEND:VCARD\n") << u"garcia"_s
        << u"accents"_s << QStringList{u"Title=Garc\u1B44ia"_s};
    QTest::newRow("accents in Windows-1252")
        << QByteArray("BEGIN:VCARD\nTITLE:Ren\xE9 Dupont\nEND:VCARD\n") << u"rene"_s << u"accents"_s
        << QStringList{u"Title=René Dupont"_s};
    QTest::newRow("accents in ISO-8859-1, quoted-printable")
        << QByteArray("BEGIN:VCARD\r\nFN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:Fran=E7ois"
                      "\r\nEND:VCARD\r\n")
        << u"FRANCOIS"_s << u"accents"_s << QStringList{u"FirstName=François"_s};
    QTest::newRow("match case with accents")
        << QByteArray("BEGIN:VCARD\nFN:Émile Zola\nNOTE:émile\nEND:VCARD\n") << u"Emile"_s
        << u"exact accents"_s << QStringList{u"FirstName=Émile Zola"_s};
    const QByteArray phones = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Jan\r\n"
                              "TEL;TYPE=CELL:+49 176 1234-5678\r\n"
                              "NOTE:+49 176 1234-5678\r\nEND:VCARD\r\n";
    QTest::newRow("phone: telephone fields only") << phones << u"017612345678"_s << u"phone:DE"_s
                                                  << QStringList{u"Mobile=+49 176 1234-5678"_s};
    QTest::newRow("phone: digits apart") << phones << u"1761234 5678"_s << u"phone:DE"_s
                                         << QStringList{u"Mobile=+49 176 1234-5678"_s};
    QTest::newRow("dotted capital I in UTF-8")
        << QByteArray("BEGIN:VCARD\nFN:\xC4\xB0STANBUL\nEND:VCARD\n") << u"istanbul"_s << QString()
        << QStringList{u"FirstName=İSTANBUL"_s};
    QTest::newRow("phone: a text that is no number")
        << phones << u"jan"_s << u"phone:DE"_s << QStringList{u"FirstName=Jan"_s};
    QTest::newRow("regex: a literal in quoted-printable")
        << QByteArray("BEGIN:VCARD\nN;ENCODING=QUOTED-PRINTABLE:=54echnik;Ann\nEND:VCARD\n")
        << u"^te[c]h(nik|nology)?$"_s << u"regex"_s << QStringList{u"LastName=Technik"_s};
    QTest::newRow("regex: match case")
        << QByteArray("BEGIN:VCARD\nFN:tech\nTITLE:Tech\nEND:VCARD\n") << u"Te[c]h"_s
        << u"exact regex"_s << QStringList{u"Title=Tech"_s};
    QTest::newRow("regex: the Kelvin sign")
        << QByteArray("BEGIN:VCARD\nTITLE:TEC\xE2\x84\xAA\nEND:VCARD\n") << u"te[c]k"_s
        << u"regex"_s << QStringList{u"Title=TEC\u212A"_s};
    QTest::newRow("regex: accents in ISO-8859-1, quoted-printable")
        << QByteArray("BEGIN:VCARD\r\nFN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:Fran=E7ois"
                      "\r\nEND:VCARD\r\n")
        << u"^fran[ç]ois$"_s << u"accents regex"_s << QStringList{u"FirstName=François"_s};
    QTest::newRow("regex: a literal folded into lines")
        << QByteArray("BEGIN:VCARD\nTITLE:Te\n ch Lead\nEND:VCARD\n") << u"tec(h)"_s << u"regex"_s
        << QStringList{u"Title=Tech Lead"_s};
    QTest::newRow("regex with phone numbers: as written")
        << phones << u"^\\+49 176"_s << u"phone:DE regex"_s
        << QStringList{u"Mobile=+49 176 1234-5678"_s, u"Notes=+49 176 1234-5678"_s};
    QTest::newRow("regex with phone numbers: not as a number")
        << phones << u"^0176"_s << u"phone:DE regex"_s << QStringList{};
}

void TestSearch::shortcutsWithOptions()
{
    // The run skips files and values by their raw bytes; with every option its rows must
    // be those of a full reading.
    QFETCH(QByteArray, file);
    QFETCH(QString, needle);
    QFETCH(QString, options);
    QFETCH(QStringList, rows);
    const MatchOptions match = optionsFrom(options);
    const QString path = write(u"options.vcf"_s, file);
    QStringList full;
    for (const ContactFields &card : CardParser::parseBytes(file)) {
        forEachFieldMatch(
            card, TextMatcher(needle, match),
            [&](const QString &tag, const QString &value) { full.append(tag + u'=' + value); });
    }
    QCOMPARE(full, rows);
    ScriptedListener host;
    host.criteria.text = needle;
    host.criteria.ignoreCase = match.ignoreCase;
    host.criteria.ignoreAccents = match.ignoreAccents;
    host.criteria.phoneNumbers = match.phoneNumbers;
    host.criteria.region = match.region;
    host.criteria.regularExpression = match.regularExpression;
    QVERIFY(host.search({path}));
    QStringList found;
    for (const ResultRow &row : std::as_const(host.found))
        found.append(row.Tag + u'=' + row.Value);
    QCOMPARE(found, rows);
}

void TestSearch::filterStillSkips_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QString>("options");
    QTest::addColumn<bool>("mayContain");
    const QByteArray weiss = "BEGIN:VCARD\nN:Weiß;José\nTITLE:Clerk\nEND:VCARD\n";
    QTest::newRow("ß holds no t") << weiss << u"tech"_s << QString() << false;
    QTest::newRow("ß may be ss") << weiss << u"weiss"_s << QString() << true;
    QTest::newRow("accents: é may be e") << weiss << u"jose"_s << u"accents"_s << true;
    QTest::newRow("accents: no letter of the text") << weiss << u"tk"_s << u"accents"_s << false;
    QTest::newRow("phone texts are not judged") << weiss << u"555 01"_s << u"phone:US"_s << true;
    QTest::newRow("phone option, other text") << weiss << u"tech"_s << u"phone:US"_s << false;
    QTest::newRow("regex: a literal the file lacks")
        << weiss << u"te[c]h|lead"_s << u"regex"_s << false;
    QTest::newRow("regex: a literal the file holds")
        << weiss << u"^cl[e]rk$"_s << u"regex"_s << true;
    QTest::newRow("regex: no literal to look for") << weiss << u"t.c"_s << u"regex"_s << true;
    QTest::newRow("regex: a match without a literal")
        << weiss << u"(tech)?"_s << u"regex"_s << true;
    QTest::newRow("regex, accents: é may be e")
        << weiss << u"^jos[e]$"_s << u"accents regex"_s << true;
}

void TestSearch::filterStillSkips()
{
    // Sound is not enough: a file that cannot match is still skipped whole.
    QFETCH(QByteArray, file);
    QFETCH(QString, needle);
    QFETCH(QString, options);
    QFETCH(bool, mayContain);
    const RawValueFilter filter({needle}, optionsFrom(options));
    QCOMPARE(filter.fileMayContain(prepareCardBytes(file).bytes), mayContain);
}

void TestSearch::valuesWrittenOverStayFindable_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("needles"); // more than one: a search for multiple texts
    QTest::addColumn<QString>("options"); // optionsFrom's words, and "all" for all properties
    QTest::addColumn<QStringList>("rows"); // "Tag=Value"
    const QByteArray named = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Simon Perreault\r\n"
                             "N:Perreault;Simon;;;\r\nX-A:Simon Perreault\r\nEND:VCARD\r\n";
    QTest::newRow("FN before N's given name")
        << named << QStringList{u"Simon Perreault"_s} << QString()
        << QStringList{u"FirstName=Simon Perreault"_s};
    QTest::newRow("all properties")
        << named << QStringList{u"simon perreault"_s} << u"all"_s
        << QStringList{u"FirstName=Simon Perreault"_s, u"X-A=Simon Perreault"_s};
    // Texts the run rules out still take their places among a line's separate rows: past
    // the sixteenth, the rest is one row, whole, and a text may span its joins.
    QByteArray params = "BEGIN:VCARD\nX-P";
    for (int i = 1; i <= 16; ++i)
        params += ";L" + QByteArray::number(i) + "=e";
    params += ";L=\xEF\xBB\xBF;L=\xEF\xBB\xBF ann;N=b;L=d:v\nEND:VCARD\n";
    QTest::newRow("a line's texts past the sixteenth")
        << params << QStringList{u"ann"_s, u"b;d"_s} << u"all"_s
        << QStringList{u"X-P=ann;b;d"_s, u"X-P=ann;b;d"_s};
    QTest::newRow("the final value matches: its row alone")
        << named << QStringList{u"simon"_s} << QString() << QStringList{u"FirstName=Simon"_s};
    QTest::newRow("multiple texts, each on its own")
        << named << QStringList{u"Simon"_s, u"Perreault"_s} << QString()
        << QStringList{u"FirstName=Simon"_s, u"FirstName=Simon Perreault"_s,
                       u"LastName=Perreault"_s};
    QTest::newRow("accents ignored")
        << QByteArray("BEGIN:VCARD\nFN:José Pérez\nN:Pérez;José\nEND:VCARD\n")
        << QStringList{u"jose perez"_s} << u"accents"_s << QStringList{u"FirstName=José Pérez"_s};
    const QByteArray cells = "BEGIN:VCARD\r\nTEL;TYPE=cell,voice:555-555-1113\r\n"
                             "TEL;TYPE=cell,voice:555-555-1114\r\nEND:VCARD\r\n";
    QTest::newRow("two mobiles") << cells << QStringList{u"1113"_s} << QString()
                                 << QStringList{u"Mobile=555-555-1113"_s};
    QTest::newRow("two mobiles, the text in both")
        << cells << QStringList{u"555-555"_s} << QString() << QStringList{u"Mobile=555-555-1114"_s};
    QTest::newRow("phone numbers in any format")
        << QByteArray("BEGIN:VCARD\nTEL;CELL:+49 176 1234-5678\nTEL;CELL:+49 170 9999999\n"
                      "END:VCARD\n")
        << QStringList{u"017612345678"_s} << u"phone:DE"_s
        << QStringList{u"Mobile=+49 176 1234-5678"_s};
    // Rows come in field order, an earlier value at its field's place, several in line order.
    QTest::newRow("several values written over, at their field's place")
        << QByteArray("BEGIN:VCARD\nNOTE:call Ann\nORG:Ann's shop\nNOTE:ask ann\nORG:Acme\n"
                      "NOTE:done\nEMAIL:ann@x\nTITLE:Boss\nTITLE:ann's boss\nEND:VCARD\n")
        << QStringList{u"ann"_s} << QString()
        << QStringList{u"Emails=ann@x"_s, u"Notes=call Ann"_s, u"Notes=ask ann"_s,
                       u"Organization=Ann's shop"_s, u"Title=ann's boss"_s};
    const QByteArray homes = "BEGIN:VCARD\nADR;HOME:;;1 Main St;Springfield;;12345;USA\n"
                             "ADR;TYPE=OTHER:;;2 Oak Ave;Shelbyville\n"
                             "ADR;WORK:;;3 Elm Rd;Springfield\nEND:VCARD\n";
    QTest::newRow("the first home address of two")
        << homes << QStringList{u"field"_s} << QString()
        << QStringList{u"BusinessCity=Springfield"_s, u"HomeCity=Springfield"_s};
    QTest::newRow("a part the second address leaves alone")
        << homes << QStringList{u"usa"_s} << QString() << QStringList{u"HomeCountry=USA"_s};
    QTest::newRow("a value written over by the same value")
        << QByteArray("BEGIN:VCARD\nNICKNAME:Bo\nNICKNAME:Bo\nNICKNAME:Al\nEND:VCARD\n")
        << QStringList{u"bo"_s} << QString() << QStringList{u"Nickname=Bo"_s};
    QTest::newRow("a value written over by an empty one")
        << QByteArray("BEGIN:VCARD\nROLE:Lead\nROLE:\nEND:VCARD\n") << QStringList{u"lead"_s}
        << QString() << QStringList{u"Role=Lead"_s};
}

void TestSearch::valuesWrittenOverStayFindable()
{
    // The run rules values out by their bytes; its rows must be those of a full reading.
    QFETCH(QByteArray, file);
    QFETCH(QStringList, needles);
    QFETCH(QString, options);
    QFETCH(QStringList, rows);
    const bool allProperties = options.contains(u"all"_s);
    const MatchOptions match = optionsFrom(QString(options).remove(u"all"_s));
    const QString path = write(u"over.vcf"_s, file);
    QStringList full;
    CardParser::parse(
        prepareCardBytes(file),
        [&](ContactFields &&card) {
            for (const QString &needle : std::as_const(needles))
                forEachFieldMatch(card, TextMatcher(needle, match),
                                  [&](const QString &tag, const QString &value) {
                                      full.append(tag + u'=' + value);
                                  });
        },
        nullptr, nullptr, ParseOptions{allProperties});
    QCOMPARE(full, rows);
    ScriptedListener host;
    host.criteria.mode
        = needles.size() == 1 ? SearchCriteria::Mode::This : SearchCriteria::Mode::Multiple;
    host.criteria.text = needles.first();
    host.criteria.sets = needles;
    host.criteria.ignoreCase = match.ignoreCase;
    host.criteria.ignoreAccents = match.ignoreAccents;
    host.criteria.phoneNumbers = match.phoneNumbers;
    host.criteria.region = match.region;
    host.criteria.allProperties = allProperties;
    QVERIFY(host.search({path}));
    QStringList found;
    for (const ResultRow &row : std::as_const(host.found))
        found.append(row.Tag + u'=' + row.Value);
    QCOMPARE(found, rows);
}

void TestSearch::wholeWords_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<QString>("options"); // always with "words"
    QTest::addColumn<bool>("matches");
    QTest::newRow("a word") << u"Ann Lee"_s << u"ann"_s << QString() << true;
    QTest::newRow("inside a word") << u"Joanna"_s << u"ann"_s << QString() << false;
    QTest::newRow("the start of a word") << u"Anna"_s << u"ann"_s << QString() << false;
    QTest::newRow("two words") << u"Dr. Ann Lee"_s << u"ann lee"_s << QString() << true;
    QTest::newRow("a later occurrence") << u"Joanna and Ann"_s << u"ann"_s << QString() << true;
    QTest::newRow("an apostrophe joins letters") << u"O'Brien"_s << u"brien"_s << QString()
                                                 << false;
    QTest::newRow("the word with its apostrophe")
        << u"Mrs O’Brien"_s << u"o’brien"_s << QString() << true;
    QTest::newRow("digits join letters") << u"Room 42b"_s << u"42"_s << QString() << false;
    QTest::newRow("a number") << u"Room 42, floor 3"_s << u"42"_s << QString() << true;
    QTest::newRow("a decimal point joins digits") << u"3.14"_s << u"3"_s << QString() << false;
    QTest::newRow("an e-mail address is one word")
        << u"ann@example.com"_s << u"example.com"_s << QString() << false;
    QTest::newRow("the whole address")
        << u"Mail: ann@example.com"_s << u"ANN@example.com"_s << QString() << true;
    QTest::newRow("match case") << u"Ann Lee"_s << u"ann"_s << u"exact"_s << false;
    QTest::newRow("ß read as ss") << u"Straße 5"_s << u"STRASSE"_s << QString() << true;
    QTest::newRow("half of a letter's folding") << u"ß"_s << u"s"_s << QString() << false;
    QTest::newRow("accents") << u"Müller-Lüdenscheidt"_s << u"muller"_s << u"accents"_s << true;
    QTest::newRow("an accent after the last letter")
        << u"José Garcia"_s << u"jose"_s << u"accents"_s << true;
    QTest::newRow("accents, inside a word") << u"Müllerin"_s << u"muller"_s << u"accents"_s
                                            << false;
    QTest::newRow("ideographs between other scripts")
        << u"Tokyo 東京 office"_s << u"東京"_s << QString() << true;
    QTest::newRow("a part of a word written without spaces")
        << u"ソフトバンク"_s << u"ソフ"_s << QString() << false;
    QTest::newRow("a pattern's words") << u"Ann Lee"_s << u"an+"_s << u"regex"_s << true;
    QTest::newRow("a pattern inside a word") << u"Joanna"_s << u"an+"_s << u"regex"_s << false;
    QTest::newRow("a pattern after a non-ASCII letter")
        << u"ÜMüller"_s << u"m.ller"_s << u"regex"_s << false;
    QTest::newRow("a pattern, accents ignored")
        << u"Herr Müller"_s << u"^herr mul+er$"_s << u"regex accents"_s << true;
    QTest::newRow("a pattern's alternatives stay inside")
        << u"Joanna"_s << u"x|ann"_s << u"regex"_s << false;
    QTest::newRow("a pattern that reads only in the group") << u"a)(b"_s << u"a)(b"_s
                                                            << u"regex"_s << false;
    // A long value is folded a piece of 65,536 characters at a time: matches across the
    // cut, and the characters around it, read as in a short one.
    const QString before = QString(65533, u'é') + u' ';
    QTest::newRow("a match across the pieces")
        << before + u"Ann Lee"_s << u"ann lee"_s << QString() << true;
    QTest::newRow("accents across the pieces")
        << before + u"Jose\u0301 Garcia"_s << u"jose"_s << u"accents"_s << true;
    QTest::newRow("a word that goes on in the next piece")
        << before + u"Annabel"_s << u"ann"_s << QString() << false;
    QTest::newRow("ß split from its word by the cut")
        << QString(65535, u'x') + u" ßa"_s << u"ssa"_s << QString() << true;
    // Patterns know letters, not ICU's words: an apostrophe parts them.
    QTest::newRow("a pattern after an apostrophe")
        << u"O'Brien"_s << u"brien"_s << u"regex"_s << true;
}

void TestSearch::wholeWords()
{
    QFETCH(QString, value);
    QFETCH(QString, needle);
    QFETCH(QString, options);
    QFETCH(bool, matches);
    const MatchOptions words = optionsFrom(options + u" words"_s);
    QCOMPARE(TextMatcher(needle, words).matches(value), matches);
    // A whole word is always found without the option.
    QVERIFY(!matches || TextMatcher(needle, optionsFrom(options)).matches(value));
}

void TestSearch::chosenFields_data()
{
    QTest::addColumn<QString>("searchIn"); // names, separated by commas
    QTest::addColumn<QString>("options"); // optionsFrom's words, and "all" for all properties
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("tags");
    const QString all = u"all"_s;
    QTest::newRow("every field") << QString() << QString() << u"lee"_s
                                 << QStringList{u"Emails1"_s, u"Emails2"_s, u"HomeAddress1"_s,
                                                u"HomeCity"_s, u"LastName"_s, u"Nickname"_s,
                                                u"Organization"_s, u"Urls"_s};
    QTest::newRow("names") << u"names"_s << QString() << u"lee"_s
                           << QStringList{u"LastName"_s, u"Nickname"_s};
    QTest::newRow("e-mails") << u"emails"_s << QString() << u"lee"_s
                             << QStringList{u"Emails1"_s, u"Emails2"_s};
    QTest::newRow("addresses") << u"addresses"_s << QString() << u"lee"_s
                               << QStringList{u"HomeAddress1"_s, u"HomeCity"_s};
    QTest::newRow("organisation and notes, in field order, accents ignored")
        << u"notes,organisation"_s << u"accents"_s << u"lee"_s
        << QStringList{u"Notes"_s, u"Organization"_s};
    QTest::newRow("a single field in any case") << u"homecity"_s << QString() << u"lee"_s
                                                << QStringList{u"HomeCity"_s};
    QTest::newRow("phones") << u"phones"_s << QString() << u"555"_s
                            << QStringList{u"Mobile"_s};
    QTest::newRow("a field no card has") << u"Pager"_s << QString() << u"lee"_s << QStringList{};
    QTest::newRow("internet") << u"internet"_s << QString() << u"lee"_s
                              << QStringList{u"Urls"_s};
    QTest::newRow("internet with all properties")
        << u"internet"_s << all << u"lee"_s
        << QStringList{u"Urls"_s, u"IMPP"_s, u"X-SKYPE"_s};
    QTest::newRow("a property by name") << u"Categories"_s << all << u"lee"_s
                                        << QStringList{u"CATEGORIES"_s};
    QTest::newRow("a property without all properties")
        << u"CATEGORIES"_s << QString() << u"lee"_s << QStringList{};
    QTest::newRow("names, whole words") << u"names"_s << u"words"_s << u"lee"_s
                                        << QStringList{u"LastName"_s};
    QTest::newRow("e-mails, match case") << u"emails"_s << u"exact"_s << u"Lee"_s
                                         << QStringList{u"Emails2"_s};
    QTest::newRow("e-mails, a pattern") << u"emails"_s << u"regex"_s << u"^lee@"_s
                                        << QStringList{u"Emails2"_s};
    QTest::newRow("notes, accents ignored") << u"notes"_s << u"accents"_s << u"leeds"_s
                                            << QStringList{u"Notes"_s};
    // Digits that stand apart in the number are not held to words.
    QTest::newRow("phones, any format, whole words")
        << u"phones"_s << u"phone:US words"_s << u"555 01"_s << QStringList{u"Mobile"_s};
}

void TestSearch::chosenFields()
{
    QFETCH(QString, searchIn);
    QFETCH(QString, options);
    QFETCH(QString, text);
    QFETCH(QStringList, tags);
    const QString path = write(
        u"fields.vcf"_s,
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nNICKNAME:Leelee\r\n"
        "EMAIL:ann@lee.example\r\nEMAIL:Lee@work.example\r\nTEL;TYPE=CELL:+1 555 0100\r\n"
        "ADR;TYPE=HOME:;;1 Lee Street;Leeds;;;\r\nORG:Lee & Co\r\nNOTE:met at Lééds\r\n"
        "URL:http://lee.example\r\nIMPP:xmpp:lee@chat.example\r\nX-SKYPE:ann.lee\r\n"
        "CATEGORIES:Lee family\r\nEND:VCARD\r\n");
    QStringList words = options.split(u' ', Qt::SkipEmptyParts);
    ScriptedListener host;
    host.criteria.text = text;
    host.criteria.allProperties = words.removeAll(u"all"_s) > 0;
    const MatchOptions match = optionsFrom(words.join(u' '));
    host.criteria.ignoreCase = match.ignoreCase;
    host.criteria.ignoreAccents = match.ignoreAccents;
    host.criteria.phoneNumbers = match.phoneNumbers;
    host.criteria.region = match.region;
    host.criteria.regularExpression = match.regularExpression;
    host.criteria.wholeWords = match.wholeWords;
    host.criteria.searchIn = searchIn.split(u',', Qt::SkipEmptyParts);
    QVERIFY(host.search({path}));
    QStringList found;
    for (const ResultRow &row : std::as_const(host.found))
        found.append(row.Tag);
    QCOMPARE(found, tags);
    // A search with other fields or words is another search.
    const FileSearch search(host.criteria, 1, false);
    QVERIFY(search.searchesAs(host.criteria));
    SearchCriteria other = host.criteria;
    other.searchIn.append(u"Pager"_s);
    QVERIFY(!search.searchesAs(other));
    other = host.criteria;
    other.wholeWords = !other.wholeWords;
    QVERIFY(!search.searchesAs(other));
}

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
