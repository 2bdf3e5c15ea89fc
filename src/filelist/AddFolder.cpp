#include "filelist/AddFolder.h"

#include "filelist/ListingAhead.h"
#include "filelist/PathRules.h"

#include <QSet>

#include <cerrno>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;
using namespace folderwalk;

namespace {

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

/// A folder's matching files as names, with the rules of keepMatching and appendPaths:
/// possible when every name is ASCII, the pattern is "*" and an ASCII ending (compared
/// without case, as ASCII letters fold), and no name holds a backslash, which would change
/// its path. None when it is not possible.
std::shared_ptr<FolderFiles> matchingFiles(const QString &folder, const std::string &arena,
                                           const ListedNames &listed, const std::string &ending,
                                           EntryCounter &counter)
{
    if (!listed.ascii || arena.size() >= std::numeric_limits<std::uint32_t>::max())
        return nullptr;
    std::vector<std::string_view> names;
    names.reserve(listed.spans.size());
    for (const auto &[offset, length] : listed.spans)
        names.emplace_back(arena.data() + offset, length);
    if (!listed.sorted)
        sortWithTurns(names.begin(), names.end(), counter);
    auto files = std::make_shared<FolderFiles>();
    files->names.reserve(arena.size() + names.size());
    files->starts.reserve(names.size());
    for (const std::string_view name : names) {
        counter.next();
        if (!endsWithAscii(name, ending) || name.front() == '~')
            continue;
        if (name.find('\\') != std::string_view::npos)
            return nullptr;
        files->starts.push_back(std::uint32_t(files->names.size()));
        files->names.append(name);
        files->names.push_back('\0');
    }
    if (files->size() > 0) {
        const QString dir = folder.endsWith(kSeparator) ? folder.chopped(1) : folder;
        files->folder = NormalizePath(dir + kSeparator);
    }
    return files;
}

/// The ending that lets a walk hand on names (see matchingFiles), or none.
std::optional<std::string> handedEnding(const FileScan *scan, const FolderScanHooks &hooks)
{
    std::string ending;
    if (!scan || scan->keep || !hooks.folderFilesListed || !asciiEnding(scan->pattern, ending))
        return std::nullopt;
    return ending;
}

/// Hands a folder's matching files to hooks.folderFilesListed as names, as made by the
/// lister or from the names now. False when it is not possible.
bool handOnNames(const QString &folder, const RawNames &raw, const FileScan &scan,
                 const FolderScanHooks &hooks)
{
    std::shared_ptr<FolderFiles> files = raw.ready;
    if (!files) {
        const std::optional<std::string> ending = handedEnding(&scan, hooks);
        if (!ending)
            return false;
        EntryCounter counter(hooks);
        files = matchingFiles(folder, raw.arena, raw.names, *ending, counter);
        if (!files)
            return false;
    }
    if (files->size() > 0)
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

/// The lister of a level's folders ahead of the walk, when there are several; none
/// when its thread cannot be started (the walk then lists each folder itself).
std::unique_ptr<ListingAhead> listAhead(const QStringList &collection, const FileScan *scan,
                                        const FolderScanHooks &hooks)
{
    if (collection.size() < 2)
        return nullptr;
    // The files to hand on are made by the lister too, off the walk's thread.
    ListingAhead::Prepare prepare;
    if (const std::optional<std::string> ending = handedEnding(scan, hooks)) {
        prepare = [ending = *ending](const QString &folder, const FolderEntries &entries) {
            const FolderScanHooks none;
            EntryCounter counter(none);
            return matchingFiles(folder, entries.arena, entries.files, ending, counter);
        };
    }
    try {
        return std::make_unique<ListingAhead>(collection, EntryKinds{true, scan != nullptr},
                                              std::move(prepare));
    } catch (const std::system_error &) {
        return nullptr;
    }
}

/// Walks one level of folders and then the next. With a file scan, the files of every
/// folder that stays in the collection are listed in the same pass, in the order the
/// collection ends up in: a folder is read once for its sub-folders and its files.
void scanLevel(QStringList &collection, bool recurse, const FolderScanHooks &hooks,
               QSet<FolderId> &entered, FileScan *scan)
{
    QStringList newFolders;
    std::unique_ptr<ListingAhead> ahead = listAhead(collection, scan, hooks);
    // Reads the folder's entries, or takes those read ahead. A folder read ahead before
    // the walk told of it, and gone once told, is as one gone before it was read.
    const auto list = [&](const QString &folder, FolderEntries &&early, bool told,
                          QStringList *names, RawNames *files) {
        if (!ahead)
            return listEntries(folder, names, nullptr, hooks, files);
        if (told && early.error == 0 && !FolderExists(folder))
            early = FolderEntries{ENOENT, {}, {}, {}, {}};
        return takeEntries(folder, std::move(early), names, nullptr, hooks, files);
    };
    for (qsizetype i = 0; i < collection.size() && !cancelled(hooks); ++i) {
        const QString folder = collection.at(i);
        FolderEntries early = ahead ? ahead->next(hooks) : FolderEntries{};
        FolderId id{};
        if (!folderId(folder, id)) {
            // Renamed or removed since it was found.
            if (hooks.folderUnreadable)
                hooks.folderUnreadable(folder, ENOENT);
            continue;
        }
        if (entered.contains(id)) {
            // Not entered again, but it stays in the collection and its files count.
            if (scan) {
                RawNames files;
                list(folder, std::move(early), false, nullptr, &files);
                scanFiles(folder, std::move(files), *scan, hooks);
            }
            continue;
        }
        entered.insert(id);
        takeTurn(hooks);
        if (hooks.readingFolder)
            hooks.readingFolder(folder);
        QStringList names;
        RawNames files;
        const Listing listing = list(folder, std::move(early), bool(hooks.readingFolder), &names,
                                     scan ? &files : nullptr);
        if (listing == Listing::Refused) {
            collection.removeAt(i--);
            continue;
        }
        for (const QString &name : names) {
            takeTurn(hooks);
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
    ahead.reset();
    step(hooks, 150, [&] {
        if (recurse && !newFolders.isEmpty())
            scanLevel(newFolders, recurse, hooks, entered, scan);
    });
    step(hooks, 152, [&] {
        for (const QString &folder : std::as_const(newFolders)) {
            if (FolderExists(folder)) {
                takeTurn(hooks);
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

QStringList filesInFolders(const QStringList &folders, const QString &pattern,
                           const FolderScanHooks &hooks)
{
    QStringList files;
    for (const QString &folder : folders) {
        takeTurn(hooks);
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
