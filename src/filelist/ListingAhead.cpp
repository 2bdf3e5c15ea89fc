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

std::size_t heldBytes(const FolderEntries &entries)
{
    return entries.arena.size()
        + (entries.folders.spans.size() + entries.files.spans.size())
        * sizeof(entries.files.spans.front());
}

} // namespace

ListingAhead::ListingAhead(QStringList folders, EntryKinds kinds)
    : m_folders(std::move(folders)), m_kinds(kinds), m_thread([this] { run(); })
{}

ListingAhead::~ListingAhead()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_room.notify_all();
    m_thread.join();
}

void ListingAhead::run()
{
    for (const QString &folder : m_folders) {
        {
            std::unique_lock lock(m_mutex);
            m_room.wait(lock, [this] {
                return m_stop || (m_ready.size() < kFoldersAhead && m_readyBytes < kBytesAhead);
            });
            if (m_stop)
                return;
        }
        Listed listed;
        try {
            readEntries(encodeFileName(folder).constData(), m_kinds, listed.entries, nullptr,
                        &m_stop);
            sortAsciiNames(listed.entries.arena, listed.entries.folders);
            sortAsciiNames(listed.entries.arena, listed.entries.files);
        } catch (...) {
            // Out of memory: the walk meets it when it takes this folder.
            listed = {};
            listed.failure = std::current_exception();
        }
        const std::size_t bytes = heldBytes(listed.entries);
        {
            const std::lock_guard lock(m_mutex);
            m_ready.push_back(std::move(listed));
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
    const auto listed = [this] { return !m_ready.empty(); };
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
    Listed taken = std::move(m_ready.front());
    m_ready.pop_front();
    m_readyBytes -= heldBytes(taken.entries);
    lock.unlock();
    m_room.notify_one();
    if (taken.failure)
        std::rethrow_exception(taken.failure);
    return std::move(taken.entries);
}

} // namespace folderwalk
