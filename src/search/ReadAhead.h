#pragma once

#include "base/FileList.h"
#include "card/CardBytes.h"
#include "card/ReadFacts.h"

#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class FileSearch;

/// A file read ahead of its search: what FileSearch::run takes instead of reading it.
struct FileBytes
{
    CardBytes text;
    quint64 stamp = 0;
    /// Opening or reading the file failed (a Failure naming it).
    std::exception_ptr failure;
    /// What reading it found, when asked for.
    ReadFacts facts;
    /// Its bytes were not all in memory: the read waited for the disk.
    bool waited = false;
};

/// Reads the small files of a list on threads of their own, ahead of the threads that
/// search them, so that many reads are under way at once whatever the processors: a
/// disk, or a file system over a network, answers many reads at once far sooner than
/// one after another. Each file is read once, by a reader or by its searcher.
///
/// The readers take runs of files in list order, at most a bounded number of files and
/// of bytes ahead of the first file not yet taken. A file larger than kMaxFileBytes is
/// left to its searcher, which reads it as it always does.
class ReadAhead final
{
public:
    static constexpr int kReaders = 16;
    static constexpr qint64 kMaxFileBytes = qint64(4) << 20;
    static constexpr qsizetype kMaxFilesAhead = 1024;
    static constexpr qsizetype kMaxBytesAhead = qsizetype(32) << 20;
    /// A reader takes this many files at a time.
    static constexpr qsizetype kRunFiles = 4;
    /// Readers on demand rest once this many files in a row were in memory.
    static constexpr qsizetype kWarmFilesToRest = 256;

    /// Starts readers on files from position first; the reads are those of search.
    /// With facts, each file read holds what reading it found. Reads end early, and no
    /// other begins, once cancel is set.
    /// On demand, the readers read only while reads wait for the disk: they begin at
    /// wake(), and rest again once a run of the files they read were all in memory, where
    /// reading on other threads costs more than it spares.
    ReadAhead(const FileSearch &search, FileList files, qsizetype first, bool facts,
              const std::atomic<bool> *cancel, int readers = kReaders, bool onDemand = false);
    /// Stops the readers and waits for them.
    ~ReadAhead();

    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    /// Adds files at the end of the list.
    void add(const QStringList &files);
    void add(std::shared_ptr<const FolderFiles> files);

    /// Searchers claimed the files first .. first + count - 1 (claims come in list order).
    /// False when no reader has begun any of them, nor will: the searcher reads them all
    /// without asking take(). Spares a lock per file while the readers rest or lag.
    bool claim(qsizetype first, qsizetype count);

    /// The file at index, read: waits while a reader is reading it. Nothing when no
    /// reader has begun it, or it is too large: the caller reads it then. Each index is
    /// asked once, about in order.
    std::optional<FileBytes> take(qsizetype index);

    /// A searcher's own read waited for the disk: readers on demand begin, or begin again.
    void wake();
    /// Readers on demand rest: the files read lately were in memory.
    bool resting() const { return m_resting.load(std::memory_order_relaxed); }

private:
    enum class State : quint8 {
        Waiting, // no one has begun it
        Reading, // a reader reads it
        Read, // read, not yet taken
        Left, // to be read by its searcher, or taken
    };
    // A taker waits for the slot: set beside its state.
    static constexpr quint8 kAwaited = 0x10;
    // A reader fills a slot it began without the lock, and then tells its state: only
    // slots left are let go, so the slot stays where it is until then.
    struct Slot
    {
        std::atomic<quint8> state{quint8(State::Waiting)};
        FileBytes bytes;

        State now() const { return State(state.load() & ~kAwaited); }
    };

    void read();
    void startReaders();
    template<typename Files> void addFiles(Files &&files);
    Slot &slotAt(qsizetype index);
    bool hasRoom() const;
    void tell(Slot &slot, State state);

    const FileSearch &m_search;
    const bool m_facts;
    const std::atomic<bool> *const m_cancel;
    const bool m_onDemand;
    std::atomic<bool> m_resting; // readers on demand wait for wake()
    const int m_readerCount;
    std::atomic<qsizetype> m_warmRun{0}; // files in a row the readers found in memory

    std::mutex m_mutex;
    std::condition_variable m_work; // readers wait for files or room
    std::condition_variable m_done; // a searcher waits for a file being read
    FileList m_files;
    std::deque<Slot> m_slots; // files m_first .. m_first + size - 1
    qsizetype m_first = 0; // the first file not taken
    qsizetype m_next = 0; // the next file for the readers
    std::atomic<qsizetype> m_heldBytes{0}; // bytes read and not taken
    int m_idleReaders = 0;
    bool m_heldBack = false; // readers wait for room
    bool m_stopping = false;
    std::vector<std::thread> m_readers; // last: started once the rest is made; on demand
                                        // at the first wake(), with the lock held
};
