#include "filelist/ListingAhead.h"

#include "base/NativePath.h"

#include <chrono>
#include <utility>

namespace folderwalk {

namespace {

// How far ahead the listing runs: a few folders, and within a bound of their names'
// bytes unless one folder alone passes it.
constexpr std::size_t kFoldersAhead = 8;
constexpr std::size_t kBytesAhead = std::size_t(64) << 20;
constexpr qsizetype kThreads = 2;

std::size_t heldBytes(const FolderEntries &entries)
{
    return entries.arena.size()
        + (entries.folders.spans.size() + entries.files.spans.size())
        * sizeof(entries.files.spans.front());
}

} // namespace

ListingAhead::ListingAhead(QStringList folders, EntryKinds kinds, Prepare prepare)
    : m_folders(std::move(folders)), m_kinds(kinds), m_prepare(std::move(prepare))
{
    const qsizetype threads = qMin(kThreads, m_folders.size());
    m_threads.reserve(std::size_t(threads));
    try {
        for (qsizetype t = 0; t < threads; ++t)
            m_threads.emplace_back([this] { run(); });
    } catch (...) {
        // No thread to be had: those started list every folder.
        if (m_threads.empty())
            throw;
    }
}

ListingAhead::~ListingAhead()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_room.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
}

void ListingAhead::run()
{
    for (;;) {
        qsizetype index = 0;
        {
            std::unique_lock lock(m_mutex);
            m_room.wait(lock, [this] {
                return m_stop || m_nextClaim == m_folders.size()
                    || (m_claimed.size() < kFoldersAhead && m_readyBytes < kBytesAhead);
            });
            if (m_stop || m_nextClaim == m_folders.size())
                return;
            index = m_nextClaim++;
            m_claimed.emplace_back();
        }
        Listed listed;
        try {
            readEntries(encodeFileName(m_folders.at(index)).constData(), m_kinds, listed.entries,
                        nullptr, &m_stop);
            sortAsciiNames(listed.entries.arena, listed.entries.folders);
            sortAsciiNames(listed.entries.arena, listed.entries.files);
            if (m_prepare && listed.entries.error == 0)
                listed.entries.ready = m_prepare(m_folders.at(index), listed.entries);
        } catch (...) {
            // Out of memory: the walk meets it when it takes this folder.
            listed = {};
            listed.failure = std::current_exception();
        }
        const std::size_t bytes = heldBytes(listed.entries);
        {
            const std::lock_guard lock(m_mutex);
            // The walk has taken every folder before the first claimed.
            const qsizetype first = m_nextClaim - qsizetype(m_claimed.size());
            m_claimed[std::size_t(index - first)] = std::move(listed);
            m_readyBytes += bytes;
        }
        m_listed.notify_one();
    }
}

FolderEntries ListingAhead::next(const FolderScanHooks &hooks)
{
    std::unique_lock lock(m_mutex);
    // A long listing keeps the window's events running while it is waited for.
    constexpr std::chrono::milliseconds kTurn{10};
    const auto listed = [this] { return !m_claimed.empty() && m_claimed.front().has_value(); };
    while (!listed()) {
        if (!hooks.processEvents) {
            m_listed.wait(lock, listed);
            break;
        }
        if (m_listed.wait_for(lock, kTurn, listed))
            break;
        lock.unlock();
        takeTurn(hooks);
        lock.lock();
    }
    Listed taken = std::move(*m_claimed.front());
    m_claimed.pop_front();
    m_readyBytes -= heldBytes(taken.entries);
    lock.unlock();
    m_room.notify_all();
    if (taken.failure)
        std::rethrow_exception(taken.failure);
    return std::move(taken.entries);
}

} // namespace folderwalk
