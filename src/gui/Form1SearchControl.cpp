#include "gui/Form1.h"

#include "app/WindowTexts.h"
#include "base/ErrorReport.h"
#include "filelist/AddFiles.h"
#include "filelist/FileListModel.h"
#include "gui/Form1Parts.h"
#include "gui/TextProgressBar.h"
#include "results/ResultsModel.h"
#include "search/SearchRun.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>

using namespace Qt::StringLiterals;

/// The window as the search run sees it: the controls read afresh for every file.
class Form1::SearchHostAdapter final : public SearchHost
{
public:
    explicit SearchHostAdapter(Form1 &form) : m_form(form) {}

    SearchCriteria currentCriteria() override
    {
        SearchCriteria criteria;
        if (m_form.Option3->isChecked())
            criteria.mode = SearchCriteria::Mode::This;
        else if (m_form.Option4->isChecked())
            criteria.mode = SearchCriteria::Mode::Multiple;
        else
            criteria.mode = SearchCriteria::Mode::None;
        criteria.text = m_form.Text1->text();
        // The sets are read only when they are searched: reading them costs a string per
        // set for every file.
        if (criteria.mode == SearchCriteria::Mode::Multiple)
            criteria.sets = m_form.searchSets();
        // Only "Ignore case" turns case-insensitive matching on.
        criteria.ignoreCase = m_form.Option2->isChecked();
        criteria.phoneNumbers = m_form.PhoneNumbersCheck->isChecked();
        criteria.ignoreAccents = m_form.IgnoreAccentsCheck->isChecked();
        criteria.allProperties = m_form.AllPropertiesCheck->isChecked();
        return criteria;
    }

    // The bar and the table are repainted at most about every 50 ms: a repaint of the
    // table costs about 2 ms, of the bar a fraction of that, and the files are searched
    // on the same processors.
    void showProgress(double percent, const QString &text) override
    {
        m_percent = qBound(0, qRound(percent), 100);
        m_text = text;
        if (due(m_progressClock, kRepaintMs))
            flushProgress();
    }

    // Events run for the file in hand when 5 ms have passed since they last ran: a turn
    // costs a few microseconds, as much as searching a small file, and a stop press
    // still ends the run at the next file.
    void processEvents() override
    {
        if (!due(m_eventsClock, kEventsMs))
            return;
        QCoreApplication::processEvents();
        m_eventsClock.start();
    }
    void markBusy() override { m_form.setMousePointer(PointerBusy); }
    // Files are searched on a worker per processor; the window's events and a stop
    // never wait for a file.
    bool staysLive() const override { return true; }
    int searchThreads() const override { return qBound(1, QThread::idealThreadCount(), 8); }

    void addRows(QList<ResultRow> &&rows) override
    {
        m_rows.append(std::move(rows));
        if (due(m_rowsClock, kRepaintMs))
            flushRows();
    }

    /// Shows what is pending: the latest progress and the rows found since.
    void flush()
    {
        flushProgress();
        flushRows();
    }

private:
    static constexpr qint64 kRepaintMs = 50;
    static constexpr qint64 kEventsMs = 5;

    static bool due(const QElapsedTimer &clock, qint64 interval)
    {
        return !clock.isValid() || clock.elapsed() >= interval;
    }

    void flushProgress()
    {
        // After a stop press the bar already reads "Progress Bar" and stays so.
        if (!m_text.isNull() && m_form.PushButton7->text() == kStopSearching) {
            m_form.ProgressBar1->setValue(m_percent);
            m_form.ProgressBar1->setText(m_text);
        }
        m_progressClock.start();
    }

    void flushRows()
    {
        if (!m_rows.isEmpty())
            m_form.m_results->appendRows(std::exchange(m_rows, {}));
        m_rowsClock.start();
    }

    Form1 &m_form;
    QList<ResultRow> m_rows;
    int m_percent = 0;
    QString m_text;
    QElapsedTimer m_progressClock;
    QElapsedTimer m_rowsClock;
    QElapsedTimer m_eventsClock;
};

void Form1::PushButton7_Click()
{
    // A press while a stopped run winds down would start a run inside the old one.
    if (m_run && m_run->stopRequested())
        return;
    Guard guard(m_desktop, formLocation(u"PushButton7_Click"_s));
    bool stopping = false;
    guard.step(102, [&] { stopping = PushButton7->text() == kStopSearching; });
    if (stopping) {
        guard.step(104, [&] {
            if (m_run)
                m_run->requestStop();
        });
        guard.step(108, [&] { setMousePointer(PointerDefault); });
        guard.step(110, [&] { ProgressBar1->setValue(0); });
        guard.step(112, [&] { ProgressBar1->setText(kProgressIdle); });
        guard.step(114, [&] { PushButton7->setText(kStartSearching); });
        return;
    }
    bool refused = false;
    guard.step(116, [&] { refused = Option3->isChecked() && isBlank(Text1->text()); });
    if (refused) {
        guard.step(118, [&] { showMessage(u"You forgot to input search text"_s); });
        PushButton7->setText(kStartSearching);
        return;
    }
    guard.step(120, [&] { refused = m_fileList->count() == 0; });
    if (refused) {
        guard.step(676, [&] { showMessage(u"No files added."_s); });
        PushButton7->setText(kStartSearching);
        return;
    }
    flushSearchText();
    guard.step(122, [&] { PushButton7->setText(kStopSearching); });
    guard.step(124, [&] { setMousePointer(PointerBusy); });
    guard.step(126, [&] { m_results->clear(); });

    m_stoppedText.clear();
    m_filesSearched = -1;
    updateStatusLine();
    // The run searches the list as it stands now; later changes wait for the next run.
    SearchRun run(m_fileList->paths());
    m_searchedFiles = run.files();
    SearchHostAdapter host(*this);
    m_run = &run;
    const bool completed = run.run(host, guard);
    m_run = nullptr;
    m_filesSearched = run.filesDone();
    host.flush();
    if (m_closing)
        return;
    if (!completed)
        m_stoppedText = u"Stopped after %1 of %2 files"_s.arg(
            QLocale().toString(run.filesDone()), QLocale().toString(run.files().size()));
    updateStatusLine();

    guard.step(668, [&] { setMousePointer(PointerDefault); });
    guard.step(670, [&] { ProgressBar1->setValue(0); });
    guard.step(672, [&] { ProgressBar1->setText(kProgressIdle); });
    if (completed)
        guard.step(674, [&] { showMessage(u"Done."_s); });
    guard.step(678, [&] { PushButton7->setText(kStartSearching); });
}
