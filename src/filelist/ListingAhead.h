#pragma once

#include "filelist/FolderListing.h"

#include <QStringList>

#include <atomic>
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

namespace folderwalk {

/// Lists the folders of one level of a walk on threads of their own, a few folders ahead
/// of the walk, so that the system's reading of the next folders overlaps the walk's
/// work on this one. Two threads list: one alone was busier than the walk that takes its
/// listings. The names come sorted when they are all ASCII.
class ListingAhead final
{
public:
    /// Makes the files a folder's walk hands on from its entries, or none when it cannot.
    using Prepare = std::function<std::shared_ptr<FolderFiles>(const QString &folder,
                                                               const FolderEntries &entries)>;

    /// Starts listing folders in their order, keeping the names of the kinds asked for;
    /// with prepare, each folder's files are also made ready to hand on.
    ListingAhead(QStringList folders, EntryKinds kinds, Prepare prepare = {});
    /// Stops the listing where it is and waits for its threads.
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
    const Prepare m_prepare;
    std::mutex m_mutex;
    std::condition_variable m_listed; // the walk waits for the next folder
    std::condition_variable m_room; // the threads wait for the walk to take one
    // The folders from the next one the walk takes up to the last one claimed, each
    // empty until listed.
    std::deque<std::optional<Listed>> m_claimed;
    qsizetype m_nextClaim = 0; // of m_folders
    std::size_t m_readyBytes = 0;
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads; // last: started once the rest is made
};

} // namespace folderwalk
