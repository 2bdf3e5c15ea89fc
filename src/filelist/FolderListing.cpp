#include "filelist/FolderListing.h"

#include "base/NativePath.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include <dirent.h>
#include <sys/stat.h>

bool IsAccessibleFile(const QString &path) noexcept
{
    struct stat info
    {
    };
    try {
        return !path.isEmpty() && ::stat(encodeFileName(path).constData(), &info) == 0
            && S_ISREG(info.st_mode);
    } catch (...) {
        return false;
    }
}

bool FolderExists(const QString &path) noexcept
{
    struct stat info
    {
    };
    try {
        return !path.isEmpty() && ::stat(encodeFileName(path).constData(), &info) == 0
            && S_ISDIR(info.st_mode);
    } catch (...) {
        return false;
    }
}

namespace folderwalk {

size_t qHash(const FolderId &id, size_t seed)
{
    return qHashMulti(seed, quint64(id.device), quint64(id.inode));
}

bool folderId(const QString &path, FolderId &id)
{
    struct stat info
    {
    };
    if (::stat(encodeFileName(path).constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    id = {info.st_dev, info.st_ino};
    return true;
}

void appendSorted(const std::string &arena, const ListedNames &listed, QStringList &names,
                  EntryCounter &counter)
{
    std::vector<std::string_view> kept;
    kept.reserve(listed.spans.size());
    for (const auto &[offset, length] : listed.spans)
        kept.emplace_back(arena.data() + offset, length);
    const QStringList::size_type first = names.size();
    names.reserve(first + qsizetype(kept.size()));
    if (listed.ascii) {
        if (!listed.sorted)
            sortWithTurns(kept.begin(), kept.end(), counter);
        for (const std::string_view name : kept) {
            counter.next();
            names.append(QLatin1StringView(name.data(), qsizetype(name.size())));
        }
        return;
    }
    for (const std::string_view name : kept) {
        counter.next();
        names.append(decodeFileName(QByteArrayView(name.data(), qsizetype(name.size()))));
    }
    sortWithTurns(names.begin() + first, names.end(), counter);
}

void readEntries(const char *path, EntryKinds kinds, FolderEntries &entries, EntryCounter *counter,
                 const std::atomic<bool> *stop)
{
    // opendir's error tells a refused or vanished folder from any other failure.
    DIR *dir = ::opendir(path);
    if (!dir) {
        entries.error = errno;
        return;
    }
    // The listing's own file types save a stat per entry; links and unknown types are
    // looked up.
    qsizetype count = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (counter)
            counter->next();
        if (stop && ++count % kEntriesPerTurn == 0 && stop->load(std::memory_order_relaxed))
            break;
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        bool isFile = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat info
            {
            };
            if (::fstatat(::dirfd(dir), name, &info, 0) == 0) {
                isFolder = S_ISDIR(info.st_mode);
                isFile = S_ISREG(info.st_mode);
            }
        }
        ListedNames *kind = (isFolder && kinds.folders) ? &entries.folders
            : (isFile && kinds.files)                   ? &entries.files
                                                        : nullptr;
        if (!kind)
            continue;
        const std::size_t length = std::strlen(name);
        kind->spans.emplace_back(entries.arena.size(), length);
        for (std::size_t i = 0; i < length; ++i)
            kind->ascii = kind->ascii && static_cast<unsigned char>(name[i]) < 0x80;
        entries.arena.append(name, length);
    }
    ::closedir(dir);
}

void sortAsciiNames(const std::string &arena, ListedNames &names)
{
    if (!names.ascii || names.sorted)
        return;
    const auto text = [&arena](const std::pair<std::size_t, std::size_t> &span) {
        return std::string_view(arena.data() + span.first, span.second);
    };
    std::sort(names.spans.begin(), names.spans.end(),
              [&text](const auto &a, const auto &b) { return text(a) < text(b); });
    names.sorted = true;
}

Listing listEntries(const QString &folder, QStringList *folders, QStringList *files,
                    const FolderScanHooks &hooks, RawNames *rawFiles)
{
    EntryCounter counter(hooks);
    FolderEntries entries;
    readEntries(encodeFileName(folder).constData(), {folders != nullptr, files || rawFiles},
                entries, &counter);
    return takeEntries(folder, std::move(entries), folders, files, hooks, rawFiles);
}

Listing takeEntries(const QString &folder, FolderEntries &&entries, QStringList *folders,
                    QStringList *files, const FolderScanHooks &hooks, RawNames *rawFiles)
{
    if (entries.error != 0) {
        // A refused or vanished folder is taken out of the walk; any other failure is
        // kept, not looked into.
        const int error = entries.error;
        if (hooks.folderUnreadable)
            hooks.folderUnreadable(folder, error);
        return (error == EACCES || error == ENOENT || error == ENOTDIR) ? Listing::Refused
                                                                        : Listing::Failed;
    }
    EntryCounter counter(hooks);
    if (folders)
        appendSorted(entries.arena, entries.folders, *folders, counter);
    if (rawFiles) {
        rawFiles->arena = std::move(entries.arena);
        rawFiles->names = std::move(entries.files);
    } else if (files) {
        appendSorted(entries.arena, entries.files, *files, counter);
    }
    return Listing::Listed;
}

} // namespace folderwalk
