#include "filelist/AddFolder.h"

#include "card/NativePath.h"
#include "filelist/PathRules.h"

#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
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

/// A long listing lets the window's events run after this many entries.
constexpr qsizetype kEntriesPerTurn = 1024;

void events(const FolderScanHooks &hooks)
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
            events(m_hooks);
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
};

/// The file names of a folder as listed, before they are made into strings.
struct RawNames
{
    std::string arena;
    ListedNames names;
};

/// Appends the names sorted. When all are ASCII their byte order is the order of their
/// text, and they sort without being made into strings first.
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

/// The names of the sub-folders and of the regular files (and links to one) of a
/// folder, each sorted by name; a list not asked for is not made. The listing's own
/// file types save a stat per entry; links and unknown types are looked up. Events
/// run now and then during a long listing.
Listing listEntries(const QString &folder, QStringList *folders, QStringList *files,
                    const FolderScanHooks &hooks, RawNames *rawFiles = nullptr)
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

/// Keeps the names that match a pattern with "*" and "?".
void keepMatching(QStringList &names, const QString &pattern)
{
    // Windows patterns: "*.*" matches names without a point too, and case never matters.
    const QString filter = pattern == u"*.*"_s ? u"*"_s : pattern;
    // The common "*.ext" compares the name's end alone.
    const QStringView tail = literalTail(filter);
    names.removeIf([&](const QString &name) {
        return tail.isNull() ? !wildcardMatch(filter, name) : !endsWithFolded(name, tail);
    });
}

/// Appends the listed names of a folder that pass the temporary-file rule, each joined
/// to the folder and normalised, and hands them to hooks.filesListed.
void appendPaths(const QString &folder, const QStringList &names, QStringList &files,
                 const FolderScanHooks &hooks)
{
    const QString dir = folder.endsWith(kSeparator) ? folder.chopped(1) : folder;
    const qsizetype first = files.size();
    // A name holds no "/", so only one with a backslash can change the path's form.
    const QString prefix = NormalizePath(dir + kSeparator);
    EntryCounter counter(hooks);
    for (const QString &name : names) {
        counter.next();
        if (isTemporaryFileName(name))
            continue;
        // The listing took accessible files only.
        if (name.contains(u'\\'))
            files.append(NormalizePath(dir + kSeparator + name));
        else
            files.append(QString(prefix + name));
    }
    if (hooks.filesListed && files.size() > first)
        hooks.filesListed(first == 0 ? files : files.sliced(first));
}

/// What a walk that lists files too needs: the pattern, and the paths found when they
/// are kept (otherwise hooks.filesListed alone is told them).
struct FileScan
{
    QString pattern;
    bool keep = true;
    QStringList files;
};

/// Lists a folder's matching files for a walk that lists files too.
void scanFiles(const QString &folder, QStringList names, FileScan &scan,
               const FolderScanHooks &hooks)
{
    keepMatching(names, scan.pattern);
    appendPaths(folder, names, scan.files, hooks);
    if (!scan.keep)
        scan.files.clear();
}

/// Hands a folder's matching files to hooks.folderFilesListed as names, with the rules of
/// keepMatching and appendPaths: possible when every name is ASCII, the pattern is "*"
/// and an ASCII ending (compared without case, as ASCII letters fold), and no name holds
/// a backslash, which would change its path. False when it is not possible.
bool handOnNames(const QString &folder, const RawNames &raw, const FileScan &scan,
                 const FolderScanHooks &hooks)
{
    if (!raw.names.ascii || raw.arena.size() >= std::numeric_limits<std::uint32_t>::max())
        return false;
    const QString filter = scan.pattern == u"*.*"_s ? u"*"_s : scan.pattern;
    const QStringView tail = literalTail(filter);
    if (tail.isNull())
        return false;
    std::string end;
    for (const QChar c : tail) {
        if (c.unicode() >= 0x80)
            return false;
        end += char(folded(c).unicode());
    }
    const auto matches = [&end](std::string_view name) {
        if (name.size() < end.size())
            return false;
        const std::string_view last = name.substr(name.size() - end.size());
        for (std::size_t i = 0; i < end.size(); ++i) {
            const char c = last[i];
            if ((c >= 'A' && c <= 'Z' ? char(c + 32) : c) != end[i])
                return false;
        }
        return true;
    };
    EntryCounter counter(hooks);
    std::vector<std::string_view> names;
    names.reserve(raw.names.spans.size());
    for (const auto &[offset, length] : raw.names.spans)
        names.emplace_back(raw.arena.data() + offset, length);
    sortWithTurns(names.begin(), names.end(), counter);
    auto files = std::make_shared<FolderFiles>();
    for (const std::string_view name : names) {
        counter.next();
        if (!matches(name) || name.front() == '~')
            continue;
        if (name.find('\\') != std::string_view::npos)
            return false;
        files->starts.push_back(std::uint32_t(files->names.size()));
        files->names.append(name);
        files->names.push_back('\0');
    }
    if (files->size() == 0)
        return true;
    const QString dir = folder.endsWith(kSeparator) ? folder.chopped(1) : folder;
    files->folder = NormalizePath(dir + kSeparator);
    hooks.folderFilesListed(std::move(files));
    return true;
}

/// Lists a folder's files for a walk that lists files too, from the names as listed.
void scanFiles(const QString &folder, RawNames &&raw, FileScan &scan, const FolderScanHooks &hooks)
{
    if (!scan.keep && hooks.folderFilesListed && handOnNames(folder, raw, scan, hooks))
        return;
    EntryCounter counter(hooks);
    QStringList names;
    appendSorted(raw.arena, raw.names, names, counter);
    scanFiles(folder, std::move(names), scan, hooks);
}

void step(const FolderScanHooks &hooks, int number, const std::function<void()> &run)
{
    Guard guard(hooks.report, folderScanLocation());
    guard.step(number, run);
}

bool cancelled(const FolderScanHooks &hooks)
{
    return hooks.cancelled && hooks.cancelled();
}

/// Walks one level of folders and then the next. With a file scan, the files of every
/// folder that stays in the collection are listed in the same pass, in the order the
/// collection ends up in: a folder is read once for its sub-folders and its files.
void scanLevel(QStringList &collection, bool recurse, const FolderScanHooks &hooks,
               QSet<FolderId> &entered, FileScan *scan)
{
    QStringList newFolders;
    for (qsizetype i = 0; i < collection.size() && !cancelled(hooks); ++i) {
        const QString folder = collection.at(i);
        if (!FolderExists(folder)) {
            // Renamed or removed since it was found.
            if (hooks.folderUnreadable)
                hooks.folderUnreadable(folder, ENOENT);
            continue;
        }
        FolderId id{};
        if (!folderId(folder, id) || entered.contains(id)) {
            // Not entered again, but it stays in the collection and its files count.
            if (scan) {
                RawNames files;
                listEntries(folder, nullptr, nullptr, hooks, &files);
                scanFiles(folder, std::move(files), *scan, hooks);
            }
            continue;
        }
        entered.insert(id);
        events(hooks);
        if (hooks.readingFolder)
            hooks.readingFolder(folder);
        QStringList names;
        RawNames files;
        const Listing listing
            = listEntries(folder, &names, nullptr, hooks, scan ? &files : nullptr);
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
        if (scan)
            scanFiles(folder, std::move(files), *scan, hooks);
    }
    step(hooks, 150, [&] {
        if (recurse && !newFolders.isEmpty())
            scanLevel(newFolders, recurse, hooks, entered, scan);
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
    scanLevel(collection, recurse, hooks, entered, nullptr);
}

QStringList ListFilesInFolder(const QString &folder, const QString &pattern)
{
    QString dir = folder;
    if (!dir.endsWith(kSeparator))
        dir += kSeparator;
    QStringList names;
    listEntries(dir, nullptr, &names, {});
    keepMatching(names, pattern);
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
        appendPaths(folder, ListFilesInFolder(dir.isEmpty() ? QString(kSeparator) : dir, pattern),
                    files, hooks);
    }
    return files;
}

namespace {

void scanTree(const QString &folder, FileScan &scan, const FolderScanHooks &hooks)
{
    QStringList folders{folder + kSeparator};
    QSet<FolderId> entered;
    scanLevel(folders, true, hooks, entered, &scan);
}

} // namespace

QStringList collectFolderFiles(const QString &folder, const QString &extension,
                               const FolderScanHooks &hooks)
{
    FileScan scan{u"*."_s + extension, true, {}};
    scanTree(folder, scan, hooks);
    return scan.files;
}

void scanFolderFiles(const QString &folder, const QString &extension, const FolderScanHooks &hooks)
{
    FileScan scan{u"*."_s + extension, false, {}};
    scanTree(folder, scan, hooks);
}
