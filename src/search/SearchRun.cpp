#include "search/SearchRun.h"

#include "base/Failure.h"
#include "search/SearchPacing.h"
#include "search/SearchPipeline.h"

#include <QThread>

#include <exception>
#include <new>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

/// What a file's failure says: its Failure's description, or what another error says.
QString describe(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const Failure &error) {
        return error.description();
    } catch (const std::bad_alloc &) {
        return u"Out of memory"_s;
    } catch (const std::exception &error) {
        return QString::fromLocal8Bit(error.what());
    }
}

} // namespace

int defaultSearchThreads()
{
    return qBound(1, QThread::idealThreadCount(), 8);
}

SearchRun::SearchRun(const SearchRunOptions &options, const FileList &files)
    : m_options(options), m_files(files)
{}

SearchRun::~SearchRun() = default;

std::unique_ptr<SearchPipeline> SearchRun::makePipeline(const SearchCriteria &criteria,
                                                        qsizetype first) const
{
    const int threads = qMax(m_options.threads, 1);
    // A run that stays live never searches on its own thread.
    const int workers = threads > 1 || m_options.staysLive ? threads : 0;
    return std::make_unique<SearchPipeline>(criteria, workers, m_files, first,
                                            m_options.missingFileFails, m_options.readFacts,
                                            m_options.hashFiles, m_options.readAheadAlways);
}

void SearchRun::start()
{
    m_pipeline = makePipeline(currentCriteria(), 0);
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

bool SearchRun::run(SearchListener &listener)
{
    m_filesDone = 0;
    m_stoppedInsideFile = false;
    const qsizetype count = m_files.size();
    const bool live = m_options.staysLive;
    std::unique_ptr<SearchPipeline> pipeline = std::move(m_pipeline);
    const SearchPipeline::RowSink toListener = [&](QList<ResultRow> &&rows) {
        if (!listener.rows(std::move(rows)))
            m_stopRequested = true;
    };
    // The criteria the pipeline was last found to search as: the same again are not
    // looked into, which costs more than comparing them.
    std::optional<SearchCriteria> confirmed;
    for (qsizetype i = 0; i < count; ++i) {
        if (m_stopRequested)
            break;
        listener.fileStarted(i, m_files.at(i));
        // With a source the criteria are read afresh for every file. The workers search
        // ahead with the criteria they started with; when these changed, they start
        // again from this file with the new ones.
        if (!pipeline) {
            pipeline = makePipeline(currentCriteria(), i);
        } else if (m_source) {
            SearchCriteria criteria = m_source();
            if (!confirmed || criteria != *confirmed) {
                if (!pipeline->searchesAs(criteria)) {
                    pipeline.reset();
                    pipeline = makePipeline(criteria, i);
                }
                confirmed = std::move(criteria);
            }
        }
        // Rows are handed on as they come; a run that stays live tells the listener
        // while it waits, and a stop ends the file where it is.
        FileOutcome outcome;
        while (!outcome.finished) {
            outcome = pipeline->take(toListener,
                                     live ? std::optional(SearchPacing::kLiveWait) : std::nullopt);
            if (outcome.finished || !live)
                continue;
            listener.stillSearching(pipeline->nextFileProgress());
            if (m_stopRequested)
                break;
        }
        if (!outcome.finished) {
            // The rows the file gave before the stop stay; the file is not done. It was
            // read in part once some of it was searched.
            m_stoppedInsideFile = pipeline->nextFileProgress() > 0.0;
            pipeline->stop(toListener);
            break;
        }
        if (m_options.readFacts)
            listener.fileRead(i, outcome.facts);
        if (outcome.readFailure)
            listener.fileFailed(i, FileFailure::Read, describe(outcome.readFailure));
        else if (outcome.searchFailure)
            listener.fileFailed(i, FileFailure::Search, describe(outcome.searchFailure));
        else if (!outcome.keys.cards.empty())
            listener.duplicateKeys(i, std::move(outcome.keys));
        ++m_filesDone; // a file reported is done with too
    }
    return !m_stopRequested;
}
