#include "filelist/FolderListing.h"

#include "base/NativePath.h"

#include <cerrno>
#include <cstdint>
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
    auto &spans = names.spans;
    names.sorted = true;
    if (spans.size() < 2)
        return;
    // The names of a folder often share their beginning. After it, they are told apart
    // by their next 8 bytes as one number, and by the rest only where those are equal.
    const char *firstName = arena.data() + spans.front().first;
    std::size_t common = spans.front().second;
    for (const auto &[offset, length] : spans) {
        const char *name = arena.data() + offset;
        common = std::size_t(
            std::mismatch(firstName, firstName + std::min(common, length), name).first - firstName);
    }
    struct Keyed
    {
        std::uint64_t key;
        std::pair<std::size_t, std::size_t> span;
    };
    constexpr std::size_t kKeyBytes = 8;
    std::vector<Keyed> keyed;
    keyed.reserve(spans.size());
    for (const auto &span : spans) {
        std::uint64_t key = 0;
        for (std::size_t k = common; k < common + kKeyBytes; ++k)
            key = key << 8
                | (k < span.second ? static_cast<unsigned char>(arena[span.first + k]) : 0u);
        keyed.push_back({key, span});
    }
    const auto rest = [&arena, common](const std::pair<std::size_t, std::size_t> &span) {
        const std::size_t skip = std::min(span.second, common + kKeyBytes);
        return std::string_view(arena.data() + span.first + skip, span.second - skip);
    };
    std::sort(keyed.begin(), keyed.end(), [&rest](const Keyed &a, const Keyed &b) {
        return a.key != b.key ? a.key < b.key : rest(a.span) < rest(b.span);
    });
    for (std::size_t i = 0; i < spans.size(); ++i)
        spans[i] = keyed[i].span;
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
        rawFiles->ready = std::move(entries.ready);
    } else if (files) {
        appendSorted(entries.arena, entries.files, *files, counter);
    }
    return Listing::Listed;
}

} // namespace folderwalk
