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

Listing listEntries(const QString &folder, QStringList *folders, QStringList *files,
                    const FolderScanHooks &hooks, RawNames *rawFiles)
{
    // opendir tells a refused or vanished folder (taken out of the walk) from any
    // other failure (kept, not looked into).
    DIR *dir = ::opendir(encodeFileName(folder).constData());
    if (!dir) {
        const int error = errno;
        if (hooks.folderUnreadable)
            hooks.folderUnreadable(folder, error);
        return (error == EACCES || error == ENOENT || error == ENOTDIR) ? Listing::Refused
                                                                        : Listing::Failed;
    }
    EntryCounter counter(hooks);
    std::string arena;
    ListedNames folderNames;
    ListedNames fileNames;
    // The listing's own file types save a stat per entry; links and unknown types are
    // looked up.
    while (const dirent *entry = ::readdir(dir)) {
        counter.next();
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
        ListedNames *kind = (isFolder && folders) ? &folderNames
            : (isFile && (files || rawFiles))     ? &fileNames
                                                  : nullptr;
        if (!kind)
            continue;
        const std::size_t length = std::strlen(name);
        kind->spans.emplace_back(arena.size(), length);
        for (std::size_t i = 0; i < length; ++i)
            kind->ascii = kind->ascii && static_cast<unsigned char>(name[i]) < 0x80;
        arena.append(name, length);
    }
    ::closedir(dir);
    if (folders)
        appendSorted(arena, folderNames, *folders, counter);
    if (rawFiles) {
        rawFiles->arena = std::move(arena);
        rawFiles->names = std::move(fileNames);
    } else if (files) {
        appendSorted(arena, fileNames, *files, counter);
    }
    return Listing::Listed;
}

} // namespace folderwalk
