#include "search/SearchPipeline.h"

#include "card/FileBatch.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace {

// A file's rows are handed over to the taker once a batch of them has gathered.
constexpr qsizetype kRowBatch = FileSearch::kRowBatch;

// Workers run at most this many files, and about this many bytes of rows, ahead of the
// taker; the file the taker waits for is always searched.
constexpr qsizetype kMaxFilesAhead = 4096;
constexpr qsizetype kMaxHeldBytes = qsizetype(16) << 20;
// The rows of the file the taker waits for are handed over at about this size.
constexpr qsizetype kMaxSlotBytes = qsizetype(2) << 20;
// A waiting taker is woken when this many files are finished: one wake per file would
// cost more than searching a small file.
constexpr qsizetype kBatchFiles = 32;
// A worker claims at most this many files at a time.
constexpr qsizetype kClaimFiles = 16;

/// About the bytes a batch of rows holds.
qsizetype heldBytesOf(const QList<ResultRow> &rows)
{
    qsizetype bytes = 0;
    for (const ResultRow &row : rows)
        bytes += qsizetype(sizeof(ResultRow)) + 2 * (row.Tag.size() + row.Value.size()) + 32;
    return bytes;
}

} // namespace

struct SearchPipeline::Slot
{
    QList<ResultRow> rows;
    qsizetype heldBytes = 0;
    std::exception_ptr readFailure;
    std::exception_ptr searchFailure;
    bool finished = false;
    FileSearch::Progress progress;
    FileDuplicateKeys keys;
    ReadFacts facts;
};

struct SearchPipeline::Parts
{
    std::size_t count = 0;
    const std::function<void(std::size_t)> *part = nullptr;
    std::size_t next = 1; // part 0 is its owner's
    std::size_t finished = 0;
};

SearchPipeline::SearchPipeline(const SearchCriteria &criteria, int threads, FileList files,
                               qsizetype first, bool missingFails, bool facts, bool hashFiles,
                               bool readAheadAlways)
    : m_threads(qMax(threads, 0)), m_search(criteria, m_threads, missingFails, hashFiles),
      m_facts(facts), m_files(std::move(files)), m_taken(first), m_claimed(first)
{
    if (m_threads > 0)
        m_readAhead = std::make_unique<ReadAhead>(m_search, m_files, first, m_facts, &m_cancel,
                                                  ReadAhead::kReaders, !readAheadAlways);
    m_workers.reserve(std::size_t(m_threads));
    for (int k = 0; k < m_threads; ++k) {
        try {
            m_workers.emplace_back([this] { work(); });
        } catch (const std::system_error &) {
            break; // fewer threads to be had: those started do the work
        }
    }
}

SearchPipeline::~SearchPipeline()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_cancel.store(true);
    }
    m_workReady.notify_all();
    m_roomForRows.notify_all();
    for (std::thread &worker : m_workers)
        worker.join();
}

template<typename Files> void SearchPipeline::addFiles(Files &&files)
{
    bool wake = false;
    {
        const std::lock_guard lock(m_mutex);
        if (m_readAhead)
            m_readAhead->add(files);
        m_files.append(std::forward<Files>(files));
        wake = m_idle > 0;
    }
    if (wake)
        m_workReady.notify_all();
}

void SearchPipeline::add(const QStringList &files)
{
    if (!files.isEmpty())
        addFiles(files);
}

void SearchPipeline::add(std::shared_ptr<const FolderFiles> files)
{
    if (files && files->size() > 0)
        addFiles(std::move(files));
}

bool SearchPipeline::searchesAs(const SearchCriteria &criteria) const
{
    return m_search.searchesAs(criteria);
}

qsizetype SearchPipeline::claimable() const
{
    const qsizetype left = m_files.size() - m_claimed;
    if (left <= 0)
        return 0;
    if (m_claimed == m_taken)
        return qMin(left, kClaimFiles); // the file the taker waits for is always searched
    if (m_heldBytes >= kMaxHeldBytes)
        return 0;
    const qsizetype room = kMaxFilesAhead - (m_claimed - m_taken);
    // Near the end of the list the files left are shared out among the workers.
    const qsizetype share = qMax<qsizetype>(1, left / (2 * qMax(m_threads, 1)));
    return qMax<qsizetype>(0, std::min({room, kClaimFiles, share}));
}

void SearchPipeline::wakeTakerIfDue()
{
    if (!m_takerWaiting || m_slots.empty() || !m_slots.front()->finished)
        return;
    if (m_stopping || m_finishedAhead >= kBatchFiles || m_busy == 0 || m_idle > 0
        || m_heldBytes >= kMaxHeldBytes / 4)
        m_takerWake.notify_one();
}

void SearchPipeline::work()
{
    FolderHandle folder; // files of one folder are opened by name in it
    struct Claimed
    {
        qsizetype index;
        FileRef file;
        Slot *slot;
        Found found;
    };
    std::vector<Claimed> batch;
    FileBatchReader batchReader;
    std::vector<FileRef> refs;
    std::vector<std::optional<FileBytes>> readFirst;
    std::size_t searched = 0; // files of the batch searched, the next being searched
    std::size_t handed = 0; // files of the batch handed over
    // With the lock held: hands over the files of the batch searched so far.
    const auto handOver = [&] {
        for (; handed < searched; ++handed) {
            Claimed &file = batch[handed];
            Slot &slot = *file.slot;
            slot.heldBytes += file.found.heldBytes;
            m_heldBytes += file.found.heldBytes;
            slot.rows.append(std::move(file.found.rows));
            slot.readFailure = file.found.failures.readFailure;
            slot.searchFailure = file.found.failures.searchFailure;
            slot.keys = std::move(file.found.keys);
            slot.finished = true;
            ++m_finishedAhead;
        }
    };
    // Rows are kept with the file being searched and handed over with it; a file of many
    // rows hands them over as they come, so that the taker can take them while it is
    // searched.
    const RowSink toSlot = [&](QList<ResultRow> &&rows) {
        Found &found = batch[searched].found;
        Slot &slot = *batch[searched].slot;
        found.heldBytes += heldBytesOf(rows);
        found.rows.append(std::move(rows));
        if (found.rows.size() < kRowBatch && found.heldBytes < kMaxSlotBytes)
            return;
        std::unique_lock lock(m_mutex);
        slot.rows.append(std::exchange(found.rows, {}));
        slot.heldBytes += found.heldBytes;
        m_heldBytes += std::exchange(found.heldBytes, 0);
        // The taker may take the rows of the file it waits for while it is searched, and
        // must not wait for a batch of finished files while this one waits for room.
        if (m_takerWaiting && frontReady())
            m_takerWake.notify_one();
        // A file whose rows are not taken waits: the rows of the taker's file until it
        // takes them, those of a file further on while the rows held are many.
        const auto hasRoom = [&] {
            return m_stopping
                || (&slot == m_slots.front().get() ? slot.heldBytes < kMaxSlotBytes
                                                   : m_heldBytes < kMaxHeldBytes);
        };
        if (!hasRoom()) {
            // The files searched before this one must not wait with it.
            handOver();
            if (m_takerWaiting && frontReady())
                m_takerWake.notify_one();
            ++m_waitingForRoom;
            m_roomForRows.wait(lock, hasRoom);
            --m_waitingForRoom;
        }
    };
    const FileSearch::PartRunner parts
        = [this](std::size_t count, const std::function<void(std::size_t)> &part) {
              runParts(count, part);
          };
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (helpWithParts(lock))
            continue;
        if (m_stopping)
            return;
        const qsizetype count = claimable();
        if (count == 0) {
            ++m_idle;
            wakeTakerIfDue();
            m_workReady.wait(lock);
            --m_idle;
            continue;
        }
        // Files are claimed, and their outcomes handed over, a few at a time: one lock
        // per file would cost more than the search of a small one.
        batch.clear();
        for (qsizetype k = 0; k < count; ++k, ++m_claimed)
            batch.push_back({m_claimed, m_files.at(m_claimed), &newSlot(), {}});
        const bool readAhead = m_readAhead->claim(batch.front().index, count);
        searched = 0;
        handed = 0;
        ++m_busy;
        lock.unlock();
        // While the files are in memory, those no reader began are read all at once
        // where the system allows; while reads wait for the disk, the readers read.
        readFirst.assign(batch.size(), std::nullopt);
        if (!readAhead && m_readAhead->resting() && batchReader.usable()) {
            refs.clear();
            for (const Claimed &file : batch)
                refs.push_back(file.file);
            if (m_search.readBatch(refs, folder, &m_cancel, m_facts, batchReader,
                                   readFirst.data()))
                m_readAhead->wake();
        }
        for (; searched < batch.size(); ++searched) {
            Claimed &file = batch[searched];
            std::optional<FileBytes> read = std::move(readFirst[searched]);
            if (readAhead)
                read = m_readAhead->take(file.index);
            if (!read) {
                // Not read ahead: read here, and wake the readers when the read waited
                // for the disk. A file too large for them is left to run.
                FileBytes own;
                if (m_search.readAhead(file.file, folder, &m_cancel, m_facts,
                                       ReadAhead::kMaxFileBytes, own)) {
                    if (own.waited)
                        m_readAhead->wake();
                    read = std::move(own);
                }
            }
            // The slot's facts are the taker's only once the file is handed over.
            file.found.failures = m_search.run(file.file, folder, toSlot, &m_cancel, parts,
                                               &file.slot->progress, &file.found.keys,
                                               m_facts ? &file.slot->facts : nullptr,
                                               read ? &*read : nullptr);
            // The keys count among what is held, so that the taker takes them soon.
            file.found.heldBytes += file.found.keys.heldBytes();
        }
        lock.lock();
        handOver();
        --m_busy;
        wakeTakerIfDue();
    }
}

void SearchPipeline::runParts(std::size_t count, const std::function<void(std::size_t)> &part)
{
    const auto parts = std::make_shared<Parts>();
    parts->count = count;
    parts->part = &part;
    {
        const std::lock_guard lock(m_mutex);
        m_parts.push_back(parts);
        if (m_idle > 0)
            m_workReady.notify_all();
    }
    part(0);
    std::unique_lock lock(m_mutex);
    ++parts->finished;
    // The parts no other worker took are this one's.
    while (parts->next < count) {
        const std::size_t k = parts->next++;
        if (parts->next == count)
            std::erase(m_parts, parts);
        lock.unlock();
        part(k);
        lock.lock();
        ++parts->finished;
    }
    m_partsDone.wait(lock, [&] { return parts->finished == count; });
}

bool SearchPipeline::helpWithParts(std::unique_lock<std::mutex> &lock)
{
    if (m_parts.empty())
        return false;
    const std::shared_ptr<Parts> parts = m_parts.front();
    const std::size_t k = parts->next++;
    if (parts->next == parts->count)
        m_parts.pop_front();
    lock.unlock();
    (*parts->part)(k);
    lock.lock();
    if (++parts->finished == parts->count)
        m_partsDone.notify_all();
    return true;
}

SearchPipeline::Slot &SearchPipeline::newSlot()
{
    if (m_spareSlots.empty())
        return *m_slots.emplace_back(std::make_unique<Slot>());
    m_slots.push_back(std::move(m_spareSlots.back()));
    m_spareSlots.pop_back();
    return *m_slots.back();
}

SearchPipeline::Taken SearchPipeline::nextReady()
{
    return std::move(m_ready[m_readyNext++]);
}

bool SearchPipeline::frontReady() const
{
    if (m_slots.empty())
        return false;
    const Slot &front = *m_slots.front();
    return front.finished || front.rows.size() >= kRowBatch || front.heldBytes >= kMaxSlotBytes;
}

FileOutcome SearchPipeline::take(const RowSink &rows, std::optional<std::chrono::milliseconds> wait)
{
    if (m_workers.empty()) {
        // No worker: the file is searched here, its rows handed on as they are found.
        if (m_taken >= m_files.size())
            return {};
        FileDuplicateKeys keys;
        ReadFacts facts;
        const FileSearch::Failures failures = m_search.run(
            m_files.at(m_taken), m_takerFolder, rows, &m_cancel,
            [this](std::size_t count, const std::function<void(std::size_t)> &part) {
                runParts(count, part);
            },
            nullptr, &keys, m_facts ? &facts : nullptr);
        ++m_taken;
        ++m_claimed;
        return {failures.readFailure, failures.searchFailure, true, std::move(keys),
                std::move(facts)};
    }
    if (!haveReady()) {
        m_ready.clear();
        m_readyNext = 0;
        std::unique_lock lock(m_mutex);
        if (!frontReady()) {
            m_takerWaiting = true;
            const auto ready = [this] { return frontReady(); };
            if (wait)
                m_takerWake.wait_for(lock, *wait, ready);
            else
                m_takerWake.wait(lock, ready);
            m_takerWaiting = false;
        }
        // Every finished file at the front is taken at once, and the rows found so far
        // in the first that is not.
        while (!m_slots.empty()) {
            Slot &front = *m_slots.front();
            m_heldBytes -= std::exchange(front.heldBytes, 0);
            if (!front.finished) {
                if (!front.rows.isEmpty())
                    m_ready.push_back({std::exchange(front.rows, {}), {}, {}, false, {}, {}});
                break;
            }
            m_ready.push_back({std::move(front.rows), std::exchange(front.readFailure, {}),
                               std::exchange(front.searchFailure, {}), true,
                               std::exchange(front.keys, {}), std::exchange(front.facts, {})});
            front.finished = false;
            front.progress.done = 0;
            front.progress.total = 0;
            m_spareSlots.push_back(std::move(m_slots.front()));
            m_slots.pop_front();
            ++m_taken;
            --m_finishedAhead;
        }
        const bool wakeRows = m_waitingForRoom > 0;
        // Workers held back by the bounds are woken once there is room for a batch.
        const bool wakeWorkers = m_idle > 0 && m_claimed < m_files.size()
            && (m_claimed == m_taken || m_claimed - m_taken <= kMaxFilesAhead - kBatchFiles)
            && m_heldBytes < kMaxHeldBytes / 2;
        lock.unlock();
        if (wakeRows)
            m_roomForRows.notify_all();
        if (wakeWorkers)
            m_workReady.notify_all();
        if (!haveReady())
            return {};
    }
    Taken file = nextReady();
    if (!file.rows.isEmpty())
        rows(std::move(file.rows));
    return {file.readFailure, file.searchFailure, file.finished, std::move(file.keys),
            std::move(file.facts)};
}

double SearchPipeline::nextFileProgress() const
{
    // Rows taken and not yet handed on are the next file's; it may be finished.
    if (haveReady() && m_ready[m_readyNext].finished)
        return 1.0;
    const std::lock_guard lock(m_mutex);
    if (m_slots.empty())
        return 0.0;
    return m_slots.front()->finished ? 1.0 : m_slots.front()->progress.fraction();
}

void SearchPipeline::stop(const RowSink &rows)
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_cancel.store(true);
    }
    m_workReady.notify_all();
    m_roomForRows.notify_all();
    // With no worker the taker's file was searched to its end, its rows handed on.
    if (m_workers.empty())
        return;
    while (haveReady()) {
        Taken file = nextReady();
        if (!file.rows.isEmpty())
            rows(std::move(file.rows));
        if (file.finished)
            return;
    }
    std::unique_lock lock(m_mutex);
    if (m_slots.empty())
        return;
    // The search of the file ends at its next block or line.
    m_takerWaiting = true;
    m_takerWake.wait(lock, [this] { return m_slots.front()->finished; });
    m_takerWaiting = false;
    QList<ResultRow> found = std::exchange(m_slots.front()->rows, {});
    lock.unlock();
    if (!found.isEmpty())
        rows(std::move(found));
}
