// The search session (Start/Stop, refusals, what is said at the end), the pacing of a
// search shown in a window, and the criteria both programs make from their choices.

#include "search/SearchPacing.h"
#include "search/SearchSession.h"

#include <QTemporaryDir>
#include <QTest>

#include "TestFiles.h"

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(SearchChoices)

namespace {

/// Presses the session's Stop at the start of one file, and records what a press
/// would do at each file.
class PressingListener final : public SearchListener
{
public:
    PressingListener(SearchSession &session, QString script)
        : m_session(session), m_script(std::move(script))
    {}

    QString presses; // S start, T stop, I ignore: what a press does at each file's start

    void fileStarted(qsizetype index, const FileRef &) override
    {
        presses += pressLetter();
        const QString at = QString::number(index);
        if (m_script == u"stop at "_s + at || m_script == u"stop twice at "_s + at) {
            m_session.stop();
            presses += pressLetter();
            if (m_script.startsWith(u"stop twice"_s))
                m_session.stop();
        }
        m_refuseRows = m_script == u"refuse rows at "_s + at;
    }
    bool rows(QList<ResultRow> &&) override { return !m_refuseRows; }
    void fileFailed(qsizetype, FileFailure, const QString &) override {}

    QChar pressLetter() const
    {
        switch (m_session.press()) {
        case SearchSession::Press::Start:
            return u'S';
        case SearchSession::Press::Stop:
            return u'T';
        case SearchSession::Press::Ignore:
            break;
        }
        return u'I';
    }

private:
    SearchSession &m_session;
    QString m_script;
    bool m_refuseRows = false;
};

/// Presses Stop once part of the file at index stop is searched.
class StopInsideListener final : public SearchListener
{
public:
    StopInsideListener(SearchSession &session, qsizetype stop) : m_session(session), m_stop(stop) {}

    void fileStarted(qsizetype index, const FileRef &) override { m_index = index; }
    bool rows(QList<ResultRow> &&) override { return true; }
    void fileFailed(qsizetype, FileFailure, const QString &) override {}
    void stillSearching(double fileDone) override
    {
        if (m_index == m_stop && fileDone > 0.0)
            m_session.stop();
    }

private:
    SearchSession &m_session;
    const qsizetype m_stop;
    qsizetype m_index = -1;
};

} // namespace

class TestSearchSession final : public QObject
{
    Q_OBJECT

private slots:
    void session_data();
    void session();
    void stopInsideAFile();
    void pacing_data();
    void pacing();
    void manyRowsGoSooner();
    void criteriaFromChoices_data();
    void criteriaFromChoices();

private:
    QTemporaryDir m_dir;
};

void TestSearchSession::session_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<bool>("searchForThis");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("presses"); // at each file's start, and after a stop there
    QTest::addColumn<QString>("said"); // a refusal, or what is said at the end
    const QString forgot = u"You forgot to input search text"_s;
    QTest::newRow("done") << 3 << true << u"tech"_s << QString() << u"TTT"_s << u"Done."_s;
    QTest::newRow("spaces") << 3 << true << u"  "_s << QString() << QString() << forgot;
    QTest::newRow("a tab is a text") << 1 << true << u"\t"_s << QString() << u"T"_s << u"Done."_s;
    QTest::newRow("the text is checked before the files")
        << 0 << true << QString() << QString() << QString() << forgot;
    QTest::newRow("no files") << 0 << true << u"tech"_s << QString() << QString()
                              << u"No files added."_s;
    QTest::newRow("the sets need no text")
        << 2 << false << QString() << QString() << u"TT"_s << u"Done."_s;
    QTest::newRow("stop mid-run: the file in hand is finished")
        << 5 << true << u"tech"_s << u"stop at 1"_s << u"TTI"_s << u"Stopped after 2 of 5 files"_s;
    QTest::newRow("a second stop while winding down changes nothing")
        << 5 << true << u"tech"_s << u"stop twice at 0"_s << u"TI"_s
        << u"Stopped after 1 of 5 files"_s;
    QTest::newRow("a stop in the last file still says stopped")
        << 3 << true << u"tech"_s << u"stop at 2"_s << u"TTTI"_s << u"Stopped after 3 of 3 files"_s;
    QTest::newRow("the listener refuses rows") << 4 << true << u"tech"_s << u"refuse rows at 1"_s
                                               << u"TT"_s << u"Stopped after 2 of 4 files"_s;
}

void TestSearchSession::session()
{
    QFETCH(int, files);
    QFETCH(bool, searchForThis);
    QFETCH(QString, text);
    QFETCH(QString, script);
    QFETCH(QString, presses);
    QFETCH(QString, said);
    const QString card = writeTestFile(m_dir, u"tech.vcf"_s, "BEGIN:VCARD\nFN:Tech\nEND:VCARD\n");
    SearchSession session;
    QCOMPARE(session.press(), SearchSession::Press::Start);
    QString refusal = SearchSession::textRefusal(searchForThis, text);
    if (refusal.isEmpty())
        refusal = SearchSession::filesRefusal(files);
    if (!refusal.isEmpty()) {
        QCOMPARE(refusal, said);
        QVERIFY(!session.isSearching());
        return;
    }
    session.start(QStringList(files, card), {});
    QVERIFY(session.isSearching());
    PressingListener listener(session, script);
    SearchChoices choices;
    choices.searchForThis = searchForThis;
    choices.searchForMultiple = !searchForThis;
    choices.text = text;
    choices.sets = {u"tech"_s};
    const bool completed = session.run(listener, [&] { return criteriaFor(choices); });
    QCOMPARE(listener.presses, presses);
    QCOMPARE(completed, said == u"Done."_s);
    QCOMPARE(completed ? session.doneText() : session.stoppedText(), said);
    QVERIFY((completed ? session.stoppedText() : session.doneText()).isEmpty());
    // Until it finishes the search still holds the session: a stopped one ignores presses.
    QVERIFY(session.isSearching());
    QCOMPARE(session.press(),
             completed ? SearchSession::Press::Stop : SearchSession::Press::Ignore);
    session.finish();
    QVERIFY(!session.isSearching());
    QCOMPARE(session.press(), SearchSession::Press::Start);
}

void TestSearchSession::stopInsideAFile()
{
    // A stop while a large file is searched ends that file where it is: the text says
    // it was read in part.
    const QString small = writeTestFile(m_dir, u"small.vcf"_s, "BEGIN:VCARD\nFN:Tech\nEND:VCARD\n");
    const QString huge = writeTestFile(m_dir, u"huge.vcf"_s, flatTestCards(qsizetype(16) << 20));
    SearchSession session;
    session.start(QStringList{small, huge, small}, {2, true, false});
    StopInsideListener listener(session, 1);
    QVERIFY(
        !session.run(listener, [] { return criteriaFor(SearchChoices::forTexts({u"tech"_s})); }));
    QCOMPARE(session.stoppedText(), u"Stopped in the middle of huge.vcf, after 1 of 3 files"_s);
    session.finish();
}

void TestSearchSession::pacing_data()
{
    // Each step is "MS:due", "MS:wait" (not due) or "MS:done", at the clock's time MS.
    QTest::addColumn<QString>("pace");
    QTest::addColumn<QString>("steps");
    QTest::newRow("due at once, and until first done") << u"events"_s << u"0:due 0:due 90:due"_s;
    QTest::newRow("events: 5 ms after they last ran")
        << u"events"_s << u"7:done 11:wait 12:due 30:due 30:done 34:wait 35:due"_s;
    QTest::newRow("the bar: 50 ms after its last repaint")
        << u"progress"_s << u"0:done 20:wait 49:wait 50:due 60:done 109:wait 110:due"_s;
    QTest::newRow("the table: 50 ms, apart from the bar")
        << u"rows"_s << u"0:due 5:done 54:wait 55:due"_s;
    QTest::newRow("the table, many rows waiting: 20 ms")
        << u"many rows"_s << u"0:due 5:done 24:wait 25:due"_s;
}

void TestSearchSession::pacing()
{
    QFETCH(QString, pace);
    QFETCH(QString, steps);
    qint64 now = 0;
    SearchPacing pacing([&now] { return now; });
    Pace &tested = pace == u"events"_s ? pacing.events
        : pace == u"progress"_s        ? pacing.progress
        : pace == u"rows"_s            ? pacing.rows
                                       : pacing.manyRows;
    for (const QString &step : steps.split(u' ')) {
        const QStringList parts = step.split(u':');
        now = parts.at(0).toLongLong();
        if (parts.at(1) == u"done"_s)
            tested.done();
        else
            QVERIFY2(tested.due() == (parts.at(1) == u"due"_s), qPrintable(step));
    }
    // The other paces are not touched by this one.
    for (const Pace *other : {&pacing.events, &pacing.progress, &pacing.rows, &pacing.manyRows}) {
        if (other != &tested)
            QVERIFY(other->due());
    }
}

void TestSearchSession::manyRowsGoSooner()
{
    // Rows that come fast are put in the table before the table's repaint is due.
    qint64 now = 0;
    SearchPacing pacing([&now] { return now; });
    pacing.rowsDone();
    now = 25;
    QVERIFY(!pacing.rowsDue(SearchPacing::kManyRows - 1));
    QVERIFY(pacing.rowsDue(SearchPacing::kManyRows));
    now = 50;
    QVERIFY(pacing.rowsDue(1));
}

void TestSearchSession::criteriaFromChoices_data()
{
    QTest::addColumn<SearchChoices>("choices");
    QTest::addColumn<QStringList>("searched");
    QTest::addColumn<bool>("ignoreCase");
    SearchChoices none;
    none.text = u"one"_s;
    none.sets = {u"a"_s, u"b"_s};
    SearchChoices both = none;
    both.searchForThis = both.searchForMultiple = true;
    both.matchCase = true;
    SearchChoices multiple = none;
    multiple.searchForMultiple = true;
    QTest::newRow("neither option searches nothing") << none << QStringList{} << true;
    QTest::newRow("\"Search for this:\" wins, match case")
        << both << QStringList{u"one"_s} << false;
    QTest::newRow("\"Search for multiple:\"") << multiple << QStringList{u"a"_s, u"b"_s} << true;
    QTest::newRow("one text given")
        << SearchChoices::forTexts({u"x"_s}) << QStringList{u"x"_s} << true;
    QTest::newRow("texts given, each in turn")
        << SearchChoices::forTexts({u"x"_s, u"y"_s}) << QStringList{u"x"_s, u"y"_s} << true;
}

void TestSearchSession::criteriaFromChoices()
{
    QFETCH(SearchChoices, choices);
    QFETCH(QStringList, searched);
    QFETCH(bool, ignoreCase);
    choices.phoneNumbers = true;
    choices.region = u"DE"_s;
    const SearchCriteria criteria = criteriaFor(choices);
    QCOMPARE(criteria.searchTexts(), searched);
    QVERIFY(criteria.matchOptions() == (MatchOptions{ignoreCase, false, true, u"DE"_s}));
    QCOMPARE(criteria.allProperties, false);
}

QTEST_GUILESS_MAIN(TestSearchSession)
#include "tst_search_session.moc"
