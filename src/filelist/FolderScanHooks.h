#pragma once

#include "base/ErrorReport.h"
#include "base/FileList.h"

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
