#pragma once

#include <QString>
#include <QStringList>

#include <functional>

/// The extension a folder add takes when none is given or stored: "vcf".
QString defaultExtension();

/// An extension as a folder add takes it: the default for an empty one.
QString extensionOrDefault(const QString &extension);

/// What a path handed to a program names.
enum class PathKind { Folder, File, Missing };
PathKind pathKind(const QString &path);

/// A folder's path as a folder add of the window starts from it: without one trailing
/// separator (the root as it is), so that the folder's name can be shown.
QString folderStart(const QString &path);

/// Where the paths handed to a program go: its command line, a drop, quillory-search.
struct PathIntake
{
    /// Files named one after another, together and in order. A folder's files are
    /// not among them: they come to the folder add.
    std::function<void(const QStringList &files)> files;
    /// A folder, after the files named before it.
    std::function<void(const QString &folder)> folder;
    /// A path that names nothing. Unset: it goes with the files, as named.
    std::function<void(const QString &path)> missing;
    /// Asked before each path: true ends the intake there, and files not yet handed
    /// are left out (the window is closing).
    std::function<bool()> stopped;
    /// True: a folder is handed as folderStart makes it; false: as named.
    bool folderStarts = true;
};

/// Hands each path to where it goes; false when the intake was stopped.
bool takePaths(const QStringList &paths, const PathIntake &intake);
