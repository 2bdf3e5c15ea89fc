#pragma once

#include "base/FileList.h"
#include "filelist/FolderScanHooks.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

/// An existing regular file, or a link to one; never a folder. Never fails.
bool IsAccessibleFile(const QString &path) noexcept;
/// An existing folder. Never fails.
bool FolderExists(const QString &path) noexcept;

// The listing of one folder by the system's own calls, for the folder walk.
namespace folderwalk {

/// A folder as the system knows it, whatever the path it was reached by.
struct FolderId
{
    dev_t device;
    ino_t inode;
    bool operator==(const FolderId &) const = default;
};

size_t qHash(const FolderId &id, size_t seed = 0);

/// The id of an existing folder; false for anything else.
bool folderId(const QString &path, FolderId &id);

enum class Listing { Listed, Refused, Failed };

/// A long listing lets the window's events run after this many entries.
inline constexpr qsizetype kEntriesPerTurn = 1024;

/// Lets pending events run, when the caller asks for turns.
inline void takeTurn(const FolderScanHooks &hooks)
{
    if (hooks.processEvents)
        hooks.processEvents();
}

/// Calls for a turn of events after every kEntriesPerTurn entries.
class EntryCounter final
{
public:
    explicit EntryCounter(const FolderScanHooks &hooks) : m_hooks(hooks) {}
    void next(qsizetype entries = 1)
    {
        m_count += entries;
        if (m_count >= kEntriesPerTurn) {
            m_count = 0;
            takeTurn(m_hooks);
        }
    }

private:
    const FolderScanHooks &m_hooks;
    qsizetype m_count = 0;
};

/// Sorts with turns for events in between: runs of kEntriesPerTurn are sorted one by
/// one and then merged pairwise, so that sorting a folder of 100,000 names does not hold
/// the window all at once.
template<typename Iterator> void sortWithTurns(Iterator first, Iterator last, EntryCounter &counter)
{
    const qsizetype size = last - first;
    for (qsizetype start = 0; start < size; start += kEntriesPerTurn) {
        std::sort(first + start, first + std::min(start + kEntriesPerTurn, size));
        counter.next(kEntriesPerTurn);
    }
    for (qsizetype width = kEntriesPerTurn; width < size; width *= 2) {
        for (qsizetype start = 0; start + width < size; start += 2 * width) {
            const qsizetype end = std::min(start + 2 * width, size);
            std::inplace_merge(first + start, first + start + width, first + end);
            counter.next(end - start);
        }
    }
}

/// Names kept as bytes: an offset and a length in one arena.
struct ListedNames
{
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    bool ascii = true;
    bool sorted = false; ///< the spans are in the order of their bytes
};

/// A folder's entries as the system lists them: its sub-folders' and files' names as
/// bytes, or why it could not be opened.
struct FolderEntries
{
    int error = 0; ///< opendir's error number; 0 once listed
    std::string arena;
    ListedNames folders;
    ListedNames files;
    /// The files to hand on as they are, when the lister made them (see RawNames).
    std::shared_ptr<FolderFiles> ready;
};

/// Which names of a folder a listing keeps.
struct EntryKinds
{
    bool folders = true;
    bool files = true;
};

/// Reads the entries of the folder at path, counting each on counter when given. With
/// stop, the reading ends early once stop is set; the entries are then incomplete.
void readEntries(const char *path, EntryKinds kinds, FolderEntries &entries, EntryCounter *counter,
                 const std::atomic<bool> *stop = nullptr);

/// Sorts the spans of ASCII names by their bytes, the order appendSorted gives them.
void sortAsciiNames(const std::string &arena, ListedNames &names);

/// The file names of a folder as listed, before they are made into strings.
struct RawNames
{
    std::string arena;
    ListedNames names;
    /// The matching files made from the names by a lister ahead of the walk, when it
    /// could; then they, not the names, are what the walk hands on.
    std::shared_ptr<FolderFiles> ready;
};

/// Appends the names sorted. When all are ASCII their byte order is the order of their
/// text, and they sort without being made into strings first.
void appendSorted(const std::string &arena, const ListedNames &listed, QStringList &names,
                  EntryCounter &counter);

/// The names of the sub-folders and of the regular files (and links to one) of a
/// folder, each sorted by name; a list not asked for is not made. With rawFiles the
/// files' names are kept there as listed instead. Events run now and then during a
/// long listing.
Listing listEntries(const QString &folder, QStringList *folders, QStringList *files,
                    const FolderScanHooks &hooks, RawNames *rawFiles = nullptr);
/// As listEntries, from entries read before.
Listing takeEntries(const QString &folder, FolderEntries &&entries, QStringList *folders,
                    QStringList *files, const FolderScanHooks &hooks, RawNames *rawFiles);

} // namespace folderwalk
