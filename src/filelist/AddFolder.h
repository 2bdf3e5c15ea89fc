#pragma once

#include "filelist/FolderListing.h"
#include "filelist/FolderScanHooks.h"
#include "filelist/NamePatterns.h"

#include <QString>
#include <QStringList>

// The folder walk: every folder of a tree, breadth-first, and the files of each that a
// pattern takes.

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
