#pragma once

#include "base/ErrorReport.h"
#include "card/FileList.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

/// What a folder walk asks of its caller: a turn for pending window events, word
/// of the folder being read, and where failures are reported.
struct FolderScanHooks
{
    /// Called for each folder and now and then during a long listing; a caller that
    /// calls it often should let it run the events only when some time has passed.
    std::function<void()> processEvents;
    std::function<void(const QString &folder)> readingFolder;
    Guard::Reporter report;
    /// When it answers true the walk ends where it is (the window is closing).
    std::function<bool()> cancelled;
    /// Told each folder's files as soon as they are listed, so that a caller can start
    /// on them before the whole list is made.
    std::function<void(const QStringList &files)> filesListed;
    /// When set, a walk that keeps no list hands a folder here instead, as the names of
    /// its files, when they are all ASCII and the pattern is "*" and a plain ending:
    /// no string is made per file. Other folders still go to filesListed.
    std::function<void(std::shared_ptr<const FolderFiles> files)> folderFilesListed;
    /// When set, told of each folder of the walk that could not be read (refused,
    /// or gone since it was found) with the system's error number; the walk leaves
    /// it out as it does unset.
    std::function<void(const QString &folder, int error)> folderUnreadable;
};

/// The location text of the folder walk's error reports.
QString folderScanLocation();

/// Extends a collection of folders (each ending in a separator) with all their
/// sub-folders, breadth-first: the folders that came in, then their sub-folders
/// grouped by parent, and so on. A folder that cannot be listed, or vanished, is
/// taken out silently; a name with unsupported characters is skipped with its
/// subtree; every folder is entered once, so links that loop end. Paths of any
/// length the system takes are looked into.
void GetSubDirectories2016(QStringList &collection, bool recurse,
                           const FolderScanHooks &hooks = {});

/// The names (without folder) of the accessible files of a folder that match a
/// pattern with "*" and "?" ("*.*" is every file), sorted by name, hidden ones included.
QStringList ListFilesInFolder(const QString &folder, const QString &pattern);

/// An existing regular file, or a link to one; never a folder. Never fails.
bool IsAccessibleFile(const QString &path) noexcept;
/// An existing folder. Never fails.
bool FolderExists(const QString &path) noexcept;
/// True when a name holds a control character (below U+0020, U+007F to U+009F)
/// or a "?". Bytes that are not UTF-8 (kept by decodeFileName) are supported.
bool HasUnsupportedChars(const QString &name);

/// The temporary-file rule of folder adds: names that begin with "~" are skipped.
bool isTemporaryFileName(const QString &name);

/// The files of every folder of a collection that match the pattern and pass the
/// temporary-file rule, each joined to its folder and normalised, folder by folder.
QStringList filesInFolders(const QStringList &folders, const QString &pattern,
                           const FolderScanHooks &hooks = {});

/// Every file that "Add All" adds for a start folder and an extension answer
/// (pattern "*." + answer): the files of GetSubDirectories2016's folders, as
/// filesInFolders lists them, found in one walk that reads each folder once.
QStringList collectFolderFiles(const QString &folder, const QString &extension,
                               const FolderScanHooks &hooks = {});

/// As collectFolderFiles, but the files are only handed to hooks.filesListed, folder by
/// folder, and not kept.
void scanFolderFiles(const QString &folder, const QString &extension, const FolderScanHooks &hooks);
