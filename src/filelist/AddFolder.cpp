#include "filelist/AddFolder.h"

#include "card/NativePath.h"
#include "filelist/PathRules.h"

#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

struct FolderId
{
    dev_t device;
    ino_t inode;
    bool operator==(const FolderId &) const = default;
};

size_t qHash(const FolderId &id, size_t seed = 0)
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

enum class Listing { Listed, Refused, Failed };

enum class Kind { Folders, Files };

/// The names of the sub-folders, or of the regular files (and links to one), of a
/// folder, sorted by name. The listing's own file types save a stat per entry;
/// links and unknown types are looked up.
Listing listEntries(const QString &folder, Kind kind, QStringList &names)
{
    // opendir tells a refused or vanished folder (taken out of the walk) from any
    // other failure (kept, not looked into).
    DIR *dir = ::opendir(encodeFileName(folder).constData());
    if (!dir)
        return (errno == EACCES || errno == ENOENT || errno == ENOTDIR) ? Listing::Refused
                                                                        : Listing::Failed;
    // Names are kept as bytes first: when all are ASCII their byte order is the order
    // of their text, and they sort without being made into strings.
    std::string arena;
    std::vector<std::pair<std::size_t, std::size_t>> spans; // offset and length in arena
    bool ascii = true;
    while (const dirent *entry = ::readdir(dir)) {
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
        if (kind == Kind::Folders ? isFolder : isFile) {
            const std::size_t length = std::strlen(name);
            spans.emplace_back(arena.size(), length);
            arena.append(name, length);
        }
    }
    ::closedir(dir);
    for (const char c : arena)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    std::vector<std::string_view> kept;
    kept.reserve(spans.size());
    for (const auto &[offset, length] : spans)
        kept.emplace_back(arena.data() + offset, length);
    const QStringList::size_type first = names.size();
    names.reserve(first + qsizetype(kept.size()));
    if (ascii) {
        std::sort(kept.begin(), kept.end());
        for (const std::string_view name : kept)
            names.append(QLatin1StringView(name.data(), qsizetype(name.size())));
        return Listing::Listed;
    }
    for (const std::string_view name : kept)
        names.append(decodeFileName(QByteArrayView(name.data(), qsizetype(name.size()))));
    std::sort(names.begin() + first, names.end());
    return Listing::Listed;
}

QChar folded(QChar c)
{
    if (c.unicode() < 0x80)
        return (c >= u'A' && c <= u'Z') ? QChar(c.unicode() + 32) : c;
    return c.toCaseFolded();
}

/// The end a pattern of the form "*" + literal text asks for, or a null view.
QStringView literalTail(QStringView pattern)
{
    if (!pattern.startsWith(u'*'))
        return {};
    const QStringView tail = pattern.sliced(1);
    return (tail.contains(u'*') || tail.contains(u'?')) ? QStringView() : tail;
}

bool endsWithFolded(QStringView name, QStringView tail)
{
    if (name.size() < tail.size())
        return false;
    const QStringView end = name.sliced(name.size() - tail.size());
    for (qsizetype i = 0; i < tail.size(); ++i) {
        if (folded(tail.at(i)) != folded(end.at(i)))
            return false;
    }
    return true;
}

/// A Windows file-name pattern: "*" any run of characters, "?" one character,
/// letter case ignored.
bool wildcardMatch(QStringView pattern, QStringView name)
{
    qsizetype p = 0;
    qsizetype n = 0;
    qsizetype starAt = -1;
    qsizetype resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size()
            && (pattern.at(p) == u'?' || folded(pattern.at(p)) == folded(name.at(n)))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern.at(p) == u'*') {
            starAt = p++;
            resumeAt = n;
        } else if (starAt >= 0) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern.at(p) == u'*')
        ++p;
    return p == pattern.size();
}

void step(const FolderScanHooks &hooks, int number, const std::function<void()> &run)
{
    Guard guard(hooks.report, folderScanLocation());
    guard.step(number, run);
}

void events(const FolderScanHooks &hooks)
{
    if (hooks.processEvents)
        hooks.processEvents();
}

bool cancelled(const FolderScanHooks &hooks)
{
    return hooks.cancelled && hooks.cancelled();
}

void scanLevel(QStringList &collection, bool recurse, const FolderScanHooks &hooks,
               QSet<FolderId> &entered)
{
    QStringList newFolders;
    for (qsizetype i = 0; i < collection.size() && !cancelled(hooks); ++i) {
        const QString folder = collection.at(i);
        if (!FolderExists(folder))
            continue;
        FolderId id{};
        if (!folderId(folder, id) || entered.contains(id))
            continue;
        entered.insert(id);
        events(hooks);
        if (hooks.readingFolder)
            hooks.readingFolder(folder);
        QStringList names;
        const Listing listing = listEntries(folder, Kind::Folders, names);
        if (listing == Listing::Refused) {
            collection.removeAt(i--);
            continue;
        }
        for (const QString &name : names) {
            events(hooks);
            if (HasUnsupportedChars(name))
                continue;
            const QString sub = folder + name + kSeparator;
            // A folder reached again through a link is neither entered nor listed twice.
            FolderId subId{};
            if (!folderId(sub, subId) || entered.contains(subId))
                continue;
            newFolders.append(sub);
        }
    }
    step(hooks, 150, [&] {
        if (recurse && !newFolders.isEmpty())
            scanLevel(newFolders, recurse, hooks, entered);
    });
    step(hooks, 152, [&] {
        for (const QString &folder : std::as_const(newFolders)) {
            if (FolderExists(folder)) {
                events(hooks);
                collection.append(folder);
            }
        }
    });
}

} // namespace

QString folderScanLocation()
{
    return locationText(u"Osterlin"_s, u"AddFolder"_s, u"GetSubDirectories2016"_s);
}

void GetSubDirectories2016(QStringList &collection, bool recurse, const FolderScanHooks &hooks)
{
    QSet<FolderId> entered;
    scanLevel(collection, recurse, hooks, entered);
}

QStringList ListFilesInFolder(const QString &folder, const QString &pattern)
{
    QString dir = folder;
    if (!dir.endsWith(kSeparator))
        dir += kSeparator;
    // Windows patterns: "*.*" matches names without a point too, and case never matters.
    const QString filter = pattern == u"*.*"_s ? u"*"_s : pattern;
    QStringList names;
    listEntries(dir, Kind::Files, names);
    // The common "*.ext" compares the name's end alone.
    const QStringView tail = literalTail(filter);
    names.removeIf([&](const QString &name) {
        return tail.isNull() ? !wildcardMatch(filter, name) : !endsWithFolded(name, tail);
    });
    return names;
}

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

bool HasUnsupportedChars(const QString &name)
{
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == u'?')
            return true;
    }
    return false;
}

bool isTemporaryFileName(const QString &name)
{
    return name.startsWith(u'~');
}

QStringList filesInFolders(const QStringList &folders, const QString &pattern,
                           const FolderScanHooks &hooks)
{
    QStringList files;
    for (const QString &folder : folders) {
        events(hooks);
        if (cancelled(hooks))
            break;
        const QString dir = folder.endsWith(kSeparator) ? folder.chopped(1) : folder;
        const qsizetype first = files.size();
        // A name holds no "/", so only one with a backslash can change the path's form.
        const QString prefix = NormalizePath(dir + kSeparator);
        for (const QString &name :
             ListFilesInFolder(dir.isEmpty() ? QString(kSeparator) : dir, pattern)) {
            if (isTemporaryFileName(name))
                continue;
            // The listing took accessible files only.
            if (name.contains(u'\\'))
                files.append(NormalizePath(dir + kSeparator + name));
            else
                files.append(QString(prefix + name));
        }
        if (hooks.filesListed && files.size() > first)
            hooks.filesListed(files.sliced(first));
    }
    return files;
}

QStringList collectFolderFiles(const QString &folder, const QString &extension,
                               const FolderScanHooks &hooks)
{
    QStringList folders{folder + kSeparator};
    GetSubDirectories2016(folders, true, hooks);
    return filesInFolders(folders, u"*."_s + extension, hooks);
}
