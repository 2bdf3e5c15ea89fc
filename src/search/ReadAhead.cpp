#include "search/ReadAhead.h"

#include "base/NativePath.h"
#include "card/CardFile.h"
#include "card/FileBatch.h"
#include "search/FileSearch.h"

#include <exception>

#include <system_error>
#include <utility>

namespace {

// Readers held back by the bounds are woken once two runs of files can be read: a wake
// per file taken would cost more than reading a small file whose bytes are in memory.
constexpr qsizetype kWakeFiles = 2 * ReadAhead::kRunFiles;

} // namespace

ReadAhead::ReadAhead(const FileSearch &search, FileList files, qsizetype first, bool facts,
                     const std::atomic<bool> *cancel, int readers, bool onDemand)
    : m_search(search), m_facts(facts), m_cancel(cancel), m_onDemand(onDemand), m_resting(onDemand),
      m_readerCount(qMax(readers, 0)), m_files(std::move(files)), m_first(first), m_next(first)
{
    // Readers on demand start at the first wake: a search whose files are all in memory
    // never needs them, and making sixteen threads costs a short search's start.
    if (!m_onDemand)
        startReaders();
}

void ReadAhead::startReaders()
{
    m_readers.reserve(std::size_t(m_readerCount));
    for (int k = 0; k < m_readerCount; ++k) {
        try {
            m_readers.emplace_back([this] { read(); });
        } catch (const std::system_error &) {
            break; // fewer threads to be had: the searchers read what is left
        }
    }
}

ReadAhead::~ReadAhead()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_work.notify_all();
    for (std::thread &reader : m_readers)
        reader.join();
}

template<typename Files> void ReadAhead::addFiles(Files &&files)
{
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        m_files.append(std::forward<Files>(files));
        wake = m_idleReaders > 0 && !m_resting.load(std::memory_order_relaxed);
    }
    if (wake)
        m_work.notify_all();
}

void ReadAhead::add(const QStringList &files)
{
    addFiles(files);
}

void ReadAhead::add(std::shared_ptr<const FolderFiles> files)
{
    addFiles(std::move(files));
}

ReadAhead::Slot &ReadAhead::slotAt(qsizetype index)
{
    while (m_first + qsizetype(m_slots.size()) <= index)
        m_slots.emplace_back();
    return m_slots[std::size_t(index - m_first)];
}

bool ReadAhead::hasRoom() const
{
    return m_next - m_first < kMaxFilesAhead
        && m_heldBytes.load(std::memory_order_relaxed) < kMaxBytesAhead;
}

void ReadAhead::tell(Slot &slot, State state)
{
    // The slot is not touched after its state is told: the taker may let it go at once.
    if (slot.state.exchange(quint8(state)) & kAwaited) {
        {
            // A taker that marked the slot holds the lock until it waits: the wake then
            // comes after its wait began.
            const std::lock_guard lock(m_mutex);
        }
        m_done.notify_all();
    }
}

void ReadAhead::read()
{
    FolderHandle folder; // files of one folder are opened by name in it
    struct Claimed
    {
        Slot *slot;
        FileRef file;
    };
    std::vector<Claimed> run;
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_stopping || (m_cancel && m_cancel->load(std::memory_order_relaxed)))
            return;
        if (m_resting.load(std::memory_order_relaxed)) {
            ++m_idleReaders;
            m_work.wait(lock);
            --m_idleReaders;
            continue;
        }
        // A run of the files no searcher has taken yet; the slots that are not waiting
        // were taken by searchers before a reader came to them.
        run.clear();
        m_next = qMax(m_next, m_first);
        while (qsizetype(run.size()) < kRunFiles && m_next < m_files.size() && hasRoom()) {
            Slot &slot = slotAt(m_next);
            if (slot.now() == State::Waiting) {
                slot.state.store(quint8(State::Reading));
                run.push_back({&slot, m_files.at(m_next)});
            }
            ++m_next;
        }
        if (run.empty()) {
            m_heldBack = m_heldBack || m_next < m_files.size();
            ++m_idleReaders;
            m_work.wait(lock);
            --m_idleReaders;
            continue;
        }
        // Idle readers are woken one by one, each while there is more to read.
        if (m_idleReaders > 0 && m_next < m_files.size() && hasRoom())
            m_work.notify_one();
        lock.unlock();
        for (const Claimed &claimed : run) {
            FileBytes bytes;
            const bool read
                = m_search.readAhead(claimed.file, folder, m_cancel, m_facts, kMaxFileBytes, bytes);
            if (read && m_onDemand) {
                if (bytes.waited)
                    m_warmRun.store(0, std::memory_order_relaxed);
                else if (m_warmRun.fetch_add(1, std::memory_order_relaxed) + 1 >= kWarmFilesToRest)
                    m_resting.store(true, std::memory_order_relaxed);
            }
            if (read) {
                m_heldBytes.fetch_add(bytes.text.bytes.size(), std::memory_order_relaxed);
                claimed.slot->bytes = std::move(bytes);
            }
            tell(*claimed.slot, read ? State::Read : State::Left);
        }
        lock.lock();
    }
}

bool ReadAhead::claim(qsizetype first, qsizetype count)
{
    const std::lock_guard lock(m_mutex);
    if (!m_slots.empty())
        return true;
    // No reader holds or reads a file: the readers go on after these, which are the
    // searchers' own, and take() answers nothing for them.
    m_first = qMax(m_first, first + count);
    m_next = qMax(m_next, m_first);
    return false;
}

std::optional<FileBytes> ReadAhead::take(qsizetype index)
{
    std::unique_lock lock(m_mutex);
    if (index < m_first)
        return std::nullopt; // left by its reader and let go: the caller reads it
    if (index == m_first && m_slots.empty()) {
        // No reader began it, nor any file after it (a reader's claim makes the slots up
        // to its file): no slot is needed, as when readers rest.
        ++m_first;
        return std::nullopt;
    }
    Slot &slot = slotAt(index);
    std::optional<FileBytes> bytes;
    if (slot.now() != State::Waiting) {
        // Marked awaited before the state is looked at: the reader that tells the state
        // then sees the mark, and wakes the takers.
        if (State(slot.state.fetch_or(kAwaited) & ~kAwaited) == State::Reading) {

            m_done.wait(lock, [&slot] { return slot.now() != State::Reading; });
        }
        if (slot.now() == State::Read) {
            m_heldBytes.fetch_sub(slot.bytes.text.bytes.size(), std::memory_order_relaxed);
            bytes = std::move(slot.bytes);
        }
    }
    slot.state.store(quint8(State::Left));
    while (!m_slots.empty() && m_slots.front().now() == State::Left) {
        m_slots.pop_front();
        ++m_first;
    }
    // Readers held back by the bounds are woken once there is room for a few runs.
    const bool wake = m_heldBack && m_idleReaders > 0
        && m_next - m_first <= kMaxFilesAhead - kWakeFiles
        && m_heldBytes.load(std::memory_order_relaxed) <= kMaxBytesAhead - kMaxBytesAhead / 4;
    if (wake)
        m_heldBack = false;
    lock.unlock();
    if (wake)
        m_work.notify_one();
    return bytes;
}

void ReadAhead::wake()
{
    if (!m_resting.load(std::memory_order_relaxed))
        return;
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping || !m_resting.exchange(false))
            return;
        m_warmRun.store(0, std::memory_order_relaxed);
        // The list is read without the lock only once stopping is set under it.
        if (m_readers.empty())
            startReaders();
    }
    m_work.notify_all();
}

// How FileSearch reads a file, whether on a reader or on its own thread.

void FileSearch::readWhole(CardFile &opened, const std::atomic<bool> *cancel, CardBytes &text,
                           ReadFacts *facts) const
{
    text = opened.read(cancel, facts && m_hashFiles ? &facts->sha256 : nullptr);
    if (facts) {
        facts->notRead = opened.isMissing() ? ReadFacts::NotRead::Missing : ReadFacts::NotRead::No;
        facts->bytes = opened.size();
        facts->changedWhileRead = opened.changedWhileRead();
    }
}

bool FileSearch::readFile(const FileRef &file, FolderHandle &folder,
                          const std::atomic<bool> *cancel, qint64 maxBytes,
                          std::optional<CardFile> &opened, CardBytes &text, quint64 &stamp,
                          ReadFacts *facts, bool *waited) const
{
    opened.emplace(file, folder);
    if (m_missingFails)
        opened->failIfMissing();
    stamp = opened->stamp();
    if (maxBytes >= 0 && opened->size() > maxBytes)
        return false;
    readWhole(*opened, cancel, text, facts);
    if (waited)
        *waited = opened->waitedForDisk();
    opened.reset();
    return true;
}

bool FileSearch::readAhead(const FileRef &file, FolderHandle &folder,
                           const std::atomic<bool> *cancel, bool facts, qint64 maxBytes,
                           FileBytes &read) const
{
    try {
        std::optional<CardFile> opened;
        return readFile(file, folder, cancel, maxBytes, opened, read.text, read.stamp,
                        facts ? &read.facts : nullptr, &read.waited);
    } catch (...) {
        // run tells the failure, and why the file was not read.
        read.failure = std::current_exception();
        return true;
    }
}

namespace {

/// Where the name of a file given by its path starts: after its last slash. -1 for a path
/// that names no file in a folder (no slash, a slash at its end) or holds a NUL, which
/// the one-by-one read tells about.
qsizetype nameStart(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0 || slash + 1 == path.size() || path.contains(QChar(u'\0')))
        return -1;
    return slash + 1;
}

} // namespace

bool FileSearch::readBatch(std::span<const FileRef> files, FolderHandle &folder,
                           const std::atomic<bool> *cancel, bool facts, FileBatchReader &batch,
                           std::optional<FileBytes> *read) const
{
    std::array<FileBatchReader::File, FileBatchReader::kMaxFiles> named;
    std::array<QByteArray, FileBatchReader::kMaxFiles> encoded; // names of files by path
    bool waited = false;
    for (std::size_t first = 0; first < files.size() && batch.usable();) {
        // A run of files of one folder, opened by name in its handle: named in a folder's
        // list, or given by paths that share their folder.
        const FolderFiles *const listed = files[first].folder;
        const qsizetype start = listed ? 0 : nameStart(files[first].path);
        if (!listed && start < 0) {
            ++first;
            continue;
        }
        const QStringView pathFolder = QStringView(files[first].path).first(start);
        const auto sameFolder = [&](const FileRef &file) {
            if (listed || file.folder)
                return file.folder == listed;
            return nameStart(file.path) == start && file.path.startsWith(pathFolder);
        };
        std::size_t end = first + 1;
        while (end < files.size() && end - first < named.size() && sameFolder(files[end]))
            ++end;
        const int handle = listed ? folder.handleFor(listed->folder) : folder.handleFor(pathFolder);
        if (handle < 0) {
            first = end;
            continue;
        }
        const std::span<FileBatchReader::File> run(named.data(), end - first);
        for (std::size_t k = 0; k < run.size(); ++k) {
            const FileRef &file = files[first + k];
            if (listed) {
                run[k].name = listed->name(file.index);
            } else {
                encoded[k] = encodeFileName(QStringView(file.path).sliced(start));
                run[k].name = encoded[k].constData();
            }
        }
        waited = batch.read(handle, run) || waited;
        for (std::size_t k = 0; k < run.size(); ++k) {
            if (!run[k].read)
                continue;
            FileBytes &bytes = read[first + k].emplace();
            const auto size = run[k].bytes.size();
            bytes.text = cardFileBytes(std::move(run[k].bytes), cancel,
                                       facts && m_hashFiles ? &bytes.facts.sha256 : nullptr);
            bytes.stamp = run[k].stamp;
            if (facts) {
                bytes.facts.notRead = ReadFacts::NotRead::No;
                bytes.facts.bytes = size;
                bytes.facts.changedWhileRead = false;
            }
        }
        first = end;
    }
    return waited;
}
