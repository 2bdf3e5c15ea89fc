#pragma once

#include "base/FileList.h"
#include "card/CardFile.h"
#include "card/ReadFacts.h"
#include "search/DuplicateKeys.h"
#include "search/FileSearch.h"
#include "search/ReadAhead.h"
#include "search/ResultRow.h"
#include "search/SearchCriteria.h"

#include <QList>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

/// How the search of one file ended.
struct FileOutcome
{
    /// The file could not be read (a Failure naming it).
    std::exception_ptr readFailure;
    /// The file was read but its search failed.
    std::exception_ptr searchFailure;
    /// No more rows will come for the file.
    bool finished = false;
    /// When duplicates are looked for: the keys of the file's cards, once finished.
    FileDuplicateKeys keys;
    /// What reading the file found, once it is finished, when the pipeline gathers it.
    ReadFacts facts;
};

/// Searches the files of a run on worker threads, one per processor, with one set of
/// criteria, and hands each file's rows back in the order of the list: the rows are
/// those that one thread searching the files one after another would give.
///
/// Workers take the files in order, each takes its file's bytes from the readers that
/// read the small files ahead of them (see ReadAhead) or reads it, tests it against the
/// search texts and parses it, and keeps its rows until they are taken. They run at most a
/// bounded number of files and bytes of rows ahead of the taker. A file large enough
/// is parsed in parts by every worker at once. The rows of a file being searched can be
/// taken while it goes on, so that a window shows them as they come.
///
/// Files may be added while workers already search the first ones. One thread takes
/// the outcomes; with no worker (threads 0) that thread searches each file as it takes
/// it.
class SearchPipeline final
{
public:
    /// Starts threads workers on the files from position first of files (more may be
    /// added), searching with the criteria. With missingFails, a file that is missing
    /// when it is read is a read failure, not a file that reads as nothing. With
    /// facts, each outcome tells what reading its file found; with hashFiles, with the
    /// file's digest. Small files are read ahead of the workers once a read waits for the
    /// disk, or from the start with readAheadAlways.
    SearchPipeline(const SearchCriteria &criteria, int threads, FileList files = {},
                   qsizetype first = 0, bool missingFails = false, bool facts = false,
                   bool hashFiles = false, bool readAheadAlways = false);
    /// Cancels the work in hand (a file being read or parsed ends at its next block or
    /// line) and waits for the workers.
    ~SearchPipeline();

    SearchPipeline(const SearchPipeline &) = delete;
    SearchPipeline &operator=(const SearchPipeline &) = delete;

    /// Adds files at the end of the list.
    void add(const QStringList &files);
    void add(std::shared_ptr<const FolderFiles> files);

    /// True when these criteria search as the pipeline's do.
    bool searchesAs(const SearchCriteria &criteria) const;

    using RowSink = FileSearch::RowSink;

    /// Hands the rows found in the next file so far to rows and tells how its search
    /// ended. Waits until the file is finished or holds a batch of rows, or, with a wait
    /// given, at most that long; when the outcome is not finished the same file is asked
    /// again; after a finished one, the file after it is next.
    FileOutcome take(const RowSink &rows,
                     std::optional<std::chrono::milliseconds> wait = std::nullopt);

    /// How far the search of the next file to be taken has come, from 0 to 1.
    double nextFileProgress() const;

    /// Cancels the work in hand and hands on the rest of the rows that the next file
    /// gave before it stopped: those of the cards read to their end, in order, so that
    /// with the rows taken before they begin as the file's rows would. A large file
    /// parsed in parts gives those of its parts done from its start on.
    void stop(const RowSink &rows);

private:
    struct Slot;
    struct Parts;

    /// What a worker found in one file, until it hands the file over.
    struct Found
    {
        QList<ResultRow> rows;
        qsizetype heldBytes = 0;
        FileSearch::Failures failures;
        FileDuplicateKeys keys;
    };
    /// A file taken from the workers, not yet handed on.
    struct Taken
    {
        QList<ResultRow> rows;
        std::exception_ptr readFailure;
        std::exception_ptr searchFailure;
        bool finished = false;
        FileDuplicateKeys keys;
        ReadFacts facts;
    };

    void work();
    template<typename Files> void addFiles(Files &&files);
    bool frontReady() const;
    void runParts(std::size_t count, const std::function<void(std::size_t)> &part);
    bool helpWithParts(std::unique_lock<std::mutex> &lock);
    qsizetype claimable() const;
    void wakeTakerIfDue();
    Slot &newSlot();
    bool haveReady() const { return m_readyNext < m_ready.size(); }
    Taken nextReady();

    const int m_threads;
    const FileSearch m_search;
    const bool m_facts;

    mutable std::mutex m_mutex;
    std::condition_variable m_workReady; // workers wait for files, room or parts
    std::condition_variable m_takerWake; // the taker waits for the next outcome
    std::condition_variable m_partsDone; // a worker waits for the parts of its file
    std::condition_variable m_roomForRows; // a worker waits for its rows to be taken
    FileList m_files;
    bool m_stopping = false;
    qsizetype m_taken = 0; // files taken
    qsizetype m_claimed = 0; // files claimed by workers (from m_taken on: m_slots)
    // Files m_taken .. m_claimed - 1. A slot stays where it is while its file is
    // searched; once taken it is kept for a later file, as a new one per file would cost
    // an allocation on one thread and its release on another.
    std::deque<std::unique_ptr<Slot>> m_slots;
    std::vector<std::unique_ptr<Slot>> m_spareSlots;
    qsizetype m_heldBytes = 0; // rows found and not yet taken, roughly
    qsizetype m_finishedAhead = 0; // finished slots not yet taken
    int m_busy = 0; // workers searching a file
    int m_idle = 0; // workers waiting for work
    int m_waitingForRoom = 0; // workers waiting for their rows to be taken
    bool m_takerWaiting = false;
    std::deque<std::shared_ptr<Parts>> m_parts; // parts of large files, for any worker
    std::atomic<bool> m_cancel{false};
    std::unique_ptr<ReadAhead> m_readAhead; // with workers: reads the small files for them
    FolderHandle m_takerFolder; // with no worker, the taker opens the files
    // On the taker's thread: taken, not yet handed on, from m_readyNext on.
    std::vector<Taken> m_ready;
    std::size_t m_readyNext = 0;
    std::vector<std::thread> m_workers; // last: started once the rest is made
};
