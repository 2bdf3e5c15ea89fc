#include "gui/Form1.h"

#include "app/WindowTexts.h"
#include "base/ErrorReport.h"
#include "filelist/FileListModel.h"
#include "filelist/PathRules.h"
#include "gui/Form1Parts.h"
#include "gui/TextProgressBar.h"
#include "results/ResultsModel.h"
#include "results/ResultsProxyModel.h"
#include "search/PatternMatching.h"
#include "search/Duplicates.h"
#include "search/SearchPacing.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>

#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

/// The window as a search's listener: the file in hand on the bar, the rows in the table
/// and a failed file in the error box, each at its step of PushButton7_Click, with the
/// controls read afresh for every file.
class Form1::SearchDisplay final : public SearchListener
{
public:
    SearchDisplay(Form1 &form, Guard &guard, qsizetype files, SearchReport &report)
        : m_form(form), m_guard(guard), m_files(files), m_report(report)
    {
        if (m_form.m_duplicateFinder)
            m_form.m_duplicateGroups = -1; // a search for duplicates has started
    }

    void fileStarted(qsizetype index, const FileRef &file) override
    {
        m_index = index;
        // The clock is read once a file, for the bar, the events and the file's rows.
        m_now = m_pacing.now();
        m_report.fileStarted(index, file);
        m_guard.step(134, [&] {
            m_file = file;
            m_fileShown = false;
            showProgress(percentDone(0.0));
        });
        m_guard.step(138, [&] { turnEvents(); });
        m_guard.step(140, [&] { m_form.setMousePointer(PointerBusy); });
    }

    void stillSearching(double fileDone) override
    {
        // A large file moves the bar as its bytes are searched.
        m_now = m_pacing.now();
        m_guard.step(134, [&] { showProgress(percentDone(fileDone)); });
        m_guard.step(138, [&] { turnEvents(); });
    }

    void fileRead(qsizetype index, const ReadFacts &facts) override
    {
        m_report.fileRead(index, facts);
    }

    bool rows(QList<ResultRow> &&rows) override
    {
        m_report.addRows(rows.size());
        m_guard.step(144, [&] {
            // Each file's rows wait as they came: putting them in one list would move
            // every row once more.
            m_rowsWaiting += rows.size();
            m_rows.push_back(std::move(rows));
            if (m_pacing.rowsDueAt(m_rowsWaiting, m_now))
                flushRows();
        });
        return true;
    }

    void fileFailed(qsizetype index, FileFailure kind, const QString &description) override
    {
        m_report.fileFailed(index, kind, description);
        m_guard.fail(kind == FileFailure::Read ? 142 : 144, description);
        m_criteria.reset(); // the error box let the controls change
    }

    void duplicateKeys(qsizetype index, FileDuplicateKeys &&keys) override
    {
        if (m_form.m_duplicateFinder)
            m_form.m_duplicateFinder->addFile(m_form.m_searchedFiles.at(index).fullPath(),
                                              std::move(keys));
    }

    /// The criteria as the controls say them now. The controls change only while events
    /// run, so they are read once after each turn, not for every file.
    SearchCriteria criteria()
    {
        if (m_criteria)
            return *m_criteria;
        SearchCriteria criteria;
        const bool read = m_guard.step(144, [&] {
            criteria = criteriaFor(m_form.searchChoices());
            // Duplicates are looked for among every card, or among those that match a
            // search text when one is given.
            if (m_form.m_duplicateFinder) {
                criteria.duplicates = true;
                if (criteria.mode == SearchCriteria::Mode::This && criteria.text.trimmed().isEmpty())
                    criteria.mode = SearchCriteria::Mode::None;
            }
        });
        if (read)
            m_criteria = criteria;
        return criteria;
    }

    /// Shows what is pending: the latest progress and the rows found since.
    void flush()
    {
        flushProgress();
        flushRows();
    }

private:
    /// The files before the one in hand, and the part of it done, of all the files.
    double percentDone(double fileDone) const
    {
        return (double(m_index) + fileDone) / double(m_files) * 100.0;
    }

    void showProgress(double percent)
    {
        m_percent = qBound(0, qRound(percent), 100);
        if (m_pacing.progress.dueAt(m_now))
            flushProgress();
    }

    void turnEvents()
    {
        if (!m_pacing.events.dueAt(m_now))
            return;
        QCoreApplication::processEvents();
        m_criteria.reset();
        m_pacing.events.done();
    }

    void flushProgress()
    {
        // After a stop press the bar already reads "Progress Bar" and stays so. The file's
        // text is made only when it is shown: the bar is repainted far less often than a
        // file starts.
        if (m_file && m_form.m_session.press() == SearchSession::Press::Stop) {
            if (!m_fileShown)
                m_text = u"Processing: "_s + GetFileNameFromPath(m_file->fullPath());
            m_fileShown = true;
            m_form.ProgressBar1->setValue(m_percent);
            m_form.ProgressBar1->setText(m_text);
        }
        m_pacing.progress.done();
    }

    void flushRows()
    {
        if (!m_rows.empty())
            m_form.m_results->appendBatches(std::exchange(m_rows, {}));
        m_rowsWaiting = 0;
        m_pacing.rowsDone();
    }

    Form1 &m_form;
    Guard &m_guard;
    const qsizetype m_files;
    SearchReport &m_report;
    qsizetype m_index = 0; // of the file in hand
    SearchPacing m_pacing;
    qint64 m_now = 0; // on m_pacing's clock, read when the file in hand started or moved on
    std::vector<QList<ResultRow>> m_rows; // found, not yet in the table
    qsizetype m_rowsWaiting = 0;
    std::optional<SearchCriteria> m_criteria; // as read since events last ran
    int m_percent = 0;
    std::optional<FileRef> m_file; // the file in hand, once one has started
    bool m_fileShown = false; // m_text tells m_file
    QString m_text;
};

SearchChoices Form1::searchChoices() const
{
    SearchChoices choices;
    choices.searchForThis = Option3->isChecked();
    choices.searchForMultiple = Option4->isChecked();
    choices.text = Text1->text();
    // The sets are read only when they are searched: reading them costs a string per
    // set for every file.
    if (!choices.searchForThis && choices.searchForMultiple)
        choices.sets = searchSets();
    // Only "Ignore case" turns case-insensitive matching on.
    choices.matchCase = !Option2->isChecked();
    choices.phoneNumbers = PhoneNumbersCheck->isChecked();
    choices.region = PhoneRegionCombo->currentData().toString();
    choices.ignoreAccents = IgnoreAccentsCheck->isChecked();
    choices.allProperties = AllPropertiesCheck->isChecked();
    choices.regularExpression = RegularExpressionCheck->isChecked();
    choices.everyText = EveryTextCheck->isChecked();
    choices.wholeWords = WholeWordsCheck->isChecked();
    choices.searchIn = searchInNames();
    return choices;
}

namespace {

QString patternRefusal(const SearchCriteria &criteria)
{
    QString problem = patternsProblem(criteria.searchTexts(), criteria.ignoreAccents);
    if (!problem.isEmpty())
        problem = problem.front().toUpper() + problem.sliced(1) + u'.';
    return problem;
}

} // namespace

void Form1::PushButton7_Click()
{
    // A press while a stopped run winds down would start a run inside the old one.
    if (m_session.press() == SearchSession::Press::Ignore)
        return;
    Guard guard(m_desktop, formLocation(u"PushButton7_Click"_s));
    bool stopping = false;
    guard.step(102, [&] { stopping = m_session.press() == SearchSession::Press::Stop; });
    if (stopping) {
        guard.step(104, [&] { m_session.stop(); });
        guard.step(108, [&] { setMousePointer(PointerDefault); });
        guard.step(110, [&] { ProgressBar1->setValue(0); });
        guard.step(112, [&] { ProgressBar1->setText(kProgressIdle); });
        guard.step(114, [&] { PushButton7->setText(kStartSearching); });
        return;
    }
    QString refusal;
    guard.step(116, [&] {
        // Duplicates are looked for without a search text too.
        const bool noText = Option3->isChecked() && Text1->text().trimmed().isEmpty();
        if (!m_duplicateFinder || !noText)
            refusal = SearchSession::textRefusal(Option3->isChecked(), Text1->text());
        // A pattern RE2 does not read is refused before anything is searched.
        if (refusal.isEmpty() && RegularExpressionCheck->isChecked() && !noText)
            refusal = patternRefusal(criteriaFor(searchChoices()));
    });
    if (!refusal.isEmpty()) {
        guard.step(118, [&] { showMessage(refusal); });
        PushButton7->setText(kStartSearching);
        return;
    }
    guard.step(120, [&] { refusal = SearchSession::filesRefusal(m_fileList->count()); });
    if (!refusal.isEmpty()) {
        guard.step(676, [&] { showMessage(refusal); });
        PushButton7->setText(kStartSearching);
        return;
    }
    flushSearchText();
    guard.step(122, [&] { PushButton7->setText(kStopSearching); });
    guard.step(124, [&] { setMousePointer(PointerBusy); });
    // The rows of one text are shown from the start of the next search no more.
    guard.step(126, [&] {
        m_proxy->setTextFilter(-1);
        m_results->setSearchTexts(criteriaFor(searchChoices()).searchTexts());
    });
    // A search shows its rows; one for duplicates shows them once it has found them.
    if (!m_duplicateFinder)
        showDuplicates(false);

    m_stoppedText.clear();
    m_filesSearched = -1;
    m_report.reset(); // the last run's, until this one has ended
    updateStatusLine();
    // The run searches the list as it stands now; later changes wait for the next run.
    // Files are searched on a worker per processor; the window's events and a stop never
    // wait for a file.
    // Every run reads the facts of its files for the reading report.
    m_session.start(m_fileList->files(), {defaultSearchThreads(), true, false, true});
    const auto finished = qScopeGuard([this] { m_session.finish(); });
    m_searchedFiles = m_session.files();
    auto report = std::make_unique<SearchReport>();
    SearchDisplay display(*this, guard, m_searchedFiles.size(), *report);
    const bool completed = m_session.run(display, [&display] { return display.criteria(); });
    m_filesSearched = m_searchedFiles.size();
    display.flush();
    if (m_closing)
        return;
    const qsizetype done = m_session.filesDone();
    report->finish(m_searchedFiles.size(), done, !completed, m_session.stoppedInsideFile(),
                   done < m_searchedFiles.size() ? m_searchedFiles.at(done).fullPath()
                                                 : QString());
    m_report = std::move(report);
    m_stoppedText = m_session.stoppedText();
    updateStatusLine();

    guard.step(668, [&] { setMousePointer(PointerDefault); });
    guard.step(670, [&] { ProgressBar1->setValue(0); });
    guard.step(672, [&] { ProgressBar1->setText(kProgressIdle); });
    if (const QString done = m_session.doneText(); !done.isEmpty())
        guard.step(674, [&] { showMessage(done); });
    guard.step(678, [&] { PushButton7->setText(kStartSearching); });
}
