#include "search/SearchRun.h"

#include "base/ErrorReport.h"
#include "filelist/PathRules.h"
#include "search/SearchPipeline.h"

#include <chrono>
#include <exception>
#include <optional>

using namespace Qt::StringLiterals;

QStringList SearchCriteria::searchTexts() const
{
    switch (mode) {
    case Mode::This:
        return {text};
    case Mode::Multiple:
        return sets;
    case Mode::None:
        break;
    }
    return {};
}

namespace {

// A host that stays live is asked to turn its events this often while a file is
// searched.
constexpr std::chrono::milliseconds kEventInterval(20);

} // namespace

SearchRun::SearchRun(const QStringList &files) : m_files(files) {}

SearchRun::~SearchRun() = default;

void SearchRun::start(SearchHost &host)
{
    m_pipeline = std::make_unique<SearchPipeline>(host.currentCriteria(), workersFor(host), m_files,
                                                  0, host.missingFileFails());
}

void SearchRun::addFiles(const QStringList &files)
{
    m_files.append(files);
    if (m_pipeline)
        m_pipeline->add(files);
}

void SearchRun::addFiles(std::shared_ptr<const FolderFiles> files)
{
    m_files.append(files);
    if (m_pipeline)
        m_pipeline->add(std::move(files));
}

int SearchRun::workersFor(const SearchHost &host)
{
    const int threads = qMax(host.searchThreads(), 1);
    // A host that stays live never searches on its own thread.
    return threads > 1 || host.staysLive() ? threads : 0;
}

bool SearchRun::run(SearchHost &host, Guard &guard)
{
    m_running = true;
    m_filesDone = 0;
    const qsizetype count = m_files.size();
    const bool live = host.staysLive();
    std::unique_ptr<SearchPipeline> pipeline = std::move(m_pipeline);
    const SearchPipeline::RowSink toHost
        = [&](QList<ResultRow> &&rows) { guard.step(144, [&] { host.addRows(std::move(rows)); }); };
    for (qsizetype i = 0; i < count; ++i) {
        if (m_stopRequested)
            break;
        if (host.showsProgress()) {
            guard.step(134, [&] {
                host.showProgress(double(i + 1) / double(count) * 100.0,
                                  u"Processing: "_s + GetFileNameFromPath(m_files.pathAt(i)));
            });
        }
        guard.step(138, [&] { host.processEvents(); });
        guard.step(140, [&] { host.markBusy(); });
        // The criteria are read afresh for every file. The workers search ahead with the
        // criteria they started with; when these changed, they start again from this
        // file with the new ones.
        SearchCriteria criteria;
        guard.step(144, [&] { criteria = host.currentCriteria(); });
        if (!pipeline || !pipeline->searchesAs(criteria)) {
            pipeline.reset();
            pipeline = std::make_unique<SearchPipeline>(criteria, workersFor(host), m_files, i,
                                                        host.missingFileFails());
        }
        // Rows are handed on as they come; a host that stays live turns its events while
        // it waits, and a stop ends the file where it is.
        FileOutcome outcome;
        while (!outcome.finished) {
            outcome = pipeline->take(toHost, live ? std::optional(kEventInterval) : std::nullopt);
            if (outcome.finished || !live)
                continue;
            guard.step(138, [&] { host.processEvents(); });
            if (m_stopRequested)
                break;
        }
        if (!outcome.finished) {
            // The rows the file gave before the stop stay; the file is not done.
            pipeline->stop(toHost);
            break;
        }
        if (outcome.readFailure)
            guard.step(142, [&] { std::rethrow_exception(outcome.readFailure); });
        else if (outcome.searchFailure)
            guard.step(144, [&] { std::rethrow_exception(outcome.searchFailure); });
        ++m_filesDone; // a file reported is done with too
    }
    m_running = false;
    return !m_stopRequested;
}
