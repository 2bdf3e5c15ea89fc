#pragma once

#include "filelist/FolderListing.h"

#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

namespace folderwalk {

/// Lists the folders of one level of a walk on a thread of its own, a few folders ahead
/// of the walk, so that the system's reading of the next folders overlaps the walk's
/// work on this one. The names come sorted when they are all ASCII.
class ListingAhead final
{
public:
    /// Starts listing folders in their order, keeping the names of the kinds asked for.
    ListingAhead(QStringList folders, EntryKinds kinds);
    /// Stops the listing where it is and waits for its thread.
    ~ListingAhead();

    ListingAhead(const ListingAhead &) = delete;
    ListingAhead &operator=(const ListingAhead &) = delete;

    /// The entries of the next folder of the list, each taken once and in order. While
    /// it waits, events run (hooks.processEvents) now and then.
    FolderEntries next(const FolderScanHooks &hooks);

private:
    struct Listed
    {
        FolderEntries entries;
        std::exception_ptr failure;
    };

    void run();

    const QStringList m_folders;
    const EntryKinds m_kinds;
    std::mutex m_mutex;
    std::condition_variable m_listed; // the walk waits for the next folder
    std::condition_variable m_room; // the thread waits for the walk to take one
    std::deque<Listed> m_ready;
    std::size_t m_readyBytes = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread; // last: started once the rest is made
};

} // namespace folderwalk
