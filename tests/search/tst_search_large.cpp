// The search over one large file: parsed in parts on several threads, stopped on the
// way, and followed by a progress bar. Each makes files of many megabytes: a run of its own,
// labelled slow.

#include "HostileShapes.h"
#include "ScriptedListener.h"
#include "TestFiles.h"
#include "search/HeldRows.h"

#include <QElapsedTimer>
#include <QHash>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;

class TestSearchLarge final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void heldRowsComeBackAsTheyWent();
    void largeFileInPartsGivesTheSameRows_data();
    void largeFileInPartsGivesTheSameRows();
    void stopInALargeFileKeepsTheRowsBefore_data();
    void stopInALargeFileKeepsTheRowsBefore();
    void progressMovesThroughALargeFile_data();
    void progressMovesThroughALargeFile();

private:
    QString write(const QString &name, const QByteArray &bytes);
    QTemporaryDir m_dir;
};

QString TestSearchLarge::write(const QString &name, const QByteArray &bytes)
{
    return writeTestFile(m_dir, name, bytes);
}

void TestSearchLarge::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestSearchLarge::heldRowsComeBackAsTheyWent()
{
    // A part's rows are held as differences from the card before: cards that come back
    // (the outer card of nested ones ends after its inner ones), a card whose end stands
    // before its begin, fields with positions, other properties' tags, empty cells, long
    // values and contacts (held apart) and the largest digest come back as they were,
    // numbered after the parts before.
    const CardBytes text{QByteArray("A\r\nB\r\nC\r\nD\r\nE\r\n"), CardEncoding::Legacy};
    const auto row = [](const QString &tag, const QString &value, const QString &contact,
                        qint64 number, qsizetype begin, qsizetype end, quint64 digest) {
        return ResultRow({}, tag, value, contact, u"a"_s, {number, 0, begin, end, 0, digest});
    };
    const QList<ResultRow> rows{
        row(u"Phone2"_s, u"+49 \u00e9\U0001F600"_s, u"Ann"_s, 4, 6, 12, ~quint64(0)),
        row(u"X-SKYPE"_s, QString(), u"Ann"_s, 4, 6, 12, ~quint64(0)),
        row(u"Name"_s, u"b"_s, QString(), 5, 9, 3, 7),
        row(u"X-SKYPE"_s, u"c"_s, u"Outer"_s, 1, 0, 15, 0),
        row(u"X-OTHER"_s, u"d"_s, u"Outer"_s, 1, 0, 15, 0),
        row(u"Note"_s, QString(5000, u'n'), QString(4096, u'C'), 2, 3, 9, 1),
        row(u"X-OTHER"_s, u"e"_s, QString(4096, u'C'), 2, 3, 9, 1),
    };
    HeldRows held;
    held.add(rows.first(2));
    held.add(rows.sliced(2));
    LineCounter lines(text);
    QList<ResultRow> back;
    QVERIFY(held.handOn(
        u"f.vcf"_s, 9, 100, lines, [&back](QList<ResultRow> &&batch) { back += batch; }, nullptr));
    QCOMPARE(back.size(), rows.size());
    for (qsizetype k = 0; k < rows.size(); ++k) {
        const ResultRow &was = rows.at(k);
        const ResultRow &is = back.at(k);
        QCOMPARE(is.File, u"f.vcf"_s);
        QCOMPARE(is.Tag, was.Tag);
        QCOMPARE(is.Value, was.Value);
        QCOMPARE(is.Contact, was.Contact);
        QCOMPARE(is.Text, was.Text);
        QCOMPARE(is.Card.number, was.Card.number + 100);
        QCOMPARE(is.Card.line, was.Card.begin / 3 + 1);
        QCOMPARE(is.Card.begin, was.Card.begin);
        QCOMPARE(is.Card.end, was.Card.end);
        QCOMPARE(is.Card.file, quint64(9));
        QCOMPARE(is.Card.digest, was.Card.digest);
    }
    // Handed on, they are forgotten.
    back.clear();
    QVERIFY(held.handOn(
        u"f.vcf"_s, 9, 0, lines, [&back](QList<ResultRow> &&batch) { back += batch; }, nullptr));
    QVERIFY(back.isEmpty());
}

void TestSearchLarge::largeFileInPartsGivesTheSameRows_data()
{
    QTest::addColumn<bool>("nested");
    QTest::addColumn<bool>("allProperties");
    QTest::addColumn<bool>("every"); // two texts, only cards that hold both
    QTest::newRow("cards one after the other") << false << false << false;
    QTest::newRow("one card holds the rest, cut inside it") << true << false << false;
    QTest::newRow("all properties") << false << true << false;
    QTest::newRow("all properties, cut inside a card") << true << true << false;
    QTest::newRow("every text") << false << false << true;
}

void TestSearchLarge::largeFileInPartsGivesTheSameRows()
{
    // A file of over 8 MiB is parsed in parts on several threads; its rows and their
    // order must be those of a single thread, also when the cuts fall inside a card.
    QFETCH(bool, nested);
    QFETCH(bool, allProperties);
    QFETCH(bool, every);
    QByteArray file;
    if (nested)
        file += "BEGIN:VCARD\r\nFN:Outer tech\r\nX-OUTER:tech\r\n";
    for (int i = 0; file.size() < (qsizetype(9) << 20); ++i) {
        file += "BEGIN:VCARD\r\nVERSION:2.1\r\nX-SKYPE:tech." + QByteArray::number(i % 89)
            + "\r\nFN:Person " + QByteArray::number(i)
            + "\r\nTITLE:" + (i % 97 == 0 ? "Tech Lead" : "Clerk")
            + "\r\nNOTE;ENCODING=QUOTED-PRINTABLE:Met at the fair.=0D=0AFollow up=\r\n in spring."
              "\r\nEND:VCARD\r\n";
    }
    if (nested)
        file += "NOTE:outer tech note\r\nEND:VCARD\r\n";
    const QString path = write(u"large.vcf"_s, file);
    const auto searchOn = [&](ScriptedListener &host, int threads, bool everyText) {
        host.criteria.text = u"tech"_s;
        if (every) {
            host.criteria.mode = SearchCriteria::Mode::Multiple;
            host.criteria.sets = {u"tech"_s, u"person 1"_s};
        }
        host.criteria.everyText = everyText;
        host.criteria.ignoreCase = true;
        host.criteria.allProperties = allProperties;
        host.threads = threads;
        return host.search({path});
    };
    QList<ResultRow> expected;
    for (const int threads : {1, 3}) {
        ScriptedListener host;
        QVERIFY(searchOn(host, threads, every));
        if (threads == 1) {
            expected = host.found;
            QVERIFY(expected.size() > (every ? 100 : 500));
            // Other properties' rows come after the card's rows of the fields.
            const auto skype
                = std::find_if(expected.cbegin(), expected.cend(),
                               [](const auto &row) { return row.Tag == u"X-SKYPE"_s; });
            QCOMPARE(skype != expected.cend(), allProperties);
            if (allProperties) {
                QCOMPARE(skype[-1].Tag, u"Title"_s);
                QCOMPARE(skype[-1].Card, skype->Card);
            }
        } else {
            QCOMPARE(host.found.size(), expected.size());
            QVERIFY(host.found == expected);
        }
    }
    if (!every)
        return;
    // The rows of both texts, of the cards that have rows of each.
    ScriptedListener host;
    QVERIFY(searchOn(host, 1, false));
    QHash<qint64, int> texts; // bit 0: tech, bit 1: person 1
    for (const ResultRow &row : std::as_const(host.found))
        texts[row.Card.number] |= row.Text == u"tech"_s ? 1 : 2;
    QList<ResultRow> both;
    for (const ResultRow &row : std::as_const(host.found)) {
        if (texts.value(row.Card.number) == 3)
            both.append(row);
    }
    QVERIFY(both.size() < host.found.size());
    QVERIFY(both == expected);
}

void TestSearchLarge::stopInALargeFileKeepsTheRowsBefore_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("flat"); // cards end one after the other
    const QByteArray cards = flatTestCards(qsizetype(16) << 20);
    QTest::newRow("cards one after the other") << cards << u"tech"_s << true;
    QTest::newRow("one card holds the rest")
        << QByteArray("BEGIN:VCARD\r\nFN:Outer tech\r\n" + cards + "NOTE:tech\r\nEND:VCARD\r\n")
        << u"tech"_s << false;
    QTest::newRow("end-param") << hostileShape(*findHostileShape("end-param"), qint64(16) << 20)
                               << u"a"_s << true;
}

void TestSearchLarge::stopInALargeFileKeepsTheRowsBefore()
{
    // A file large enough is parsed in parts at once. A stop before the rows come keeps
    // those of the cards read by then, as a single thread would have given them first.
    QFETCH(QByteArray, file);
    QFETCH(QString, text);
    QFETCH(bool, flat);
    const QString path = write(u"stopped.vcf"_s, file);
    qint64 firstRowsMs = -1;
    const auto search = [&](qint64 stopAfterMs, QList<ResultRow> &rows) {
        ScriptedListener host;
        host.criteria.text = text;
        host.threads = 3;
        host.live = true;
        QElapsedTimer clock;
        host.onEvents = [&](int) {
            if (firstRowsMs < 0 && !host.found.isEmpty())
                firstRowsMs = clock.elapsed();
            if (stopAfterMs >= 0 && clock.elapsed() >= stopAfterMs)
                host.run->requestStop();
        };
        clock.start();
        const bool completed = host.search({path});
        rows = host.found;
        return completed;
    };
    QList<ResultRow> all;
    QVERIFY(search(-1, all));
    QVERIFY(firstRowsMs > 0);
    // How long reading the file takes beside parsing it varies (a sanitizer's build, a
    // busy machine), so the stop comes later and later: every stopped run keeps a prefix of
    // the rows, and of flat cards some run keeps more than none.
    bool anyKept = false;
    for (const int percent : {50, 70, 85, 95}) {
        QList<ResultRow> kept;
        if (search(firstRowsMs * percent / 100, kept))
            continue; // the stop came after the end
        // A stop after the last part but before the hand-over keeps every row.
        QVERIFY(kept.size() <= all.size());
        QVERIFY(kept == all.first(kept.size()));
        anyKept = anyKept || !kept.isEmpty();
        if (anyKept)
            break;
    }
    QVERIFY(!flat || anyKept);
}

void TestSearchLarge::progressMovesThroughALargeFile_data()
{
    QTest::addColumn<int>("threads");
    QTest::newRow("parsed whole") << 1;
    QTest::newRow("parsed in parts") << 3;
}

void TestSearchLarge::progressMovesThroughALargeFile()
{
    // A live host waiting inside a large file is told how far it has come, so that a
    // run of one file does not sit at one value until its end.
    QFETCH(int, threads);
    const QString path = write(u"progress.vcf"_s, flatTestCards(qsizetype(8) << 20));
    ScriptedListener host;
    host.criteria.text = u"tech"_s;
    host.threads = threads;
    host.live = true;
    QVERIFY(host.search({path}));
    const QList<double> &done = host.fileDone;
    QVERIFY(std::is_sorted(done.cbegin(), done.cend()));
    QVERIFY(!done.isEmpty() && done.first() >= 0.0 && done.last() <= 1.0);
    QVERIFY2(std::any_of(done.cbegin(), done.cend(), [](double d) { return d > 0.0 && d < 1.0; }),
             qPrintable(QString::number(done.size())));
}

QTEST_GUILESS_MAIN(TestSearchLarge)
#include "tst_search_large.moc"
