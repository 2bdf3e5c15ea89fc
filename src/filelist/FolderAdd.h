#pragma once

#include "base/ErrorReport.h"
#include "base/FileList.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

/// Where a folder add's files go and what it tells on the way.
struct FolderAddSink
{
    /// A batch of the files found, in the order of the walk.
    std::function<void(const QStringList &files)> files;
    /// When set, and no turns are taken, a folder whose file names are all ASCII comes
    /// here as names (see FolderScanHooks::folderFilesListed), in its place among the
    /// batches.
    std::function<void(std::shared_ptr<const FolderFiles> files)> folderFiles;
    /// When set, runs pending events about every turn interval; the files found so far
    /// are handed first, so that the list is whole whenever another handler may run.
    std::function<void()> turn;
    /// When set, with turns, the files found since the last turn come here instead, as
    /// one list in the order of the walk, folders whose file names are all ASCII among
    /// them as names.
    std::function<void(const FileList &files)> list;
    /// The folder being read and the files found so far, at the start, for each folder
    /// and after each folder's listing.
    std::function<void(const QString &folder, qsizetype found)> progress;
    /// True ends the add where it is; files not yet handed are left out.
    std::function<bool()> cancelled;
    std::function<void(const QString &folder, int error)> folderUnreadable;
    Guard::Reporter report;
};

/// Adds the files of a folder's tree (see collectFolderFiles) in batches. With turns,
/// files wait for the next turn: a batch per folder would cost a list view more than
/// the listing when a million files come in thousands of folders. Without, each
/// folder's files are handed as soon as they are listed, so that a search can start
/// on them.
class FolderAdd final
{
public:
    /// The first turn comes at once, so that the window shows the add, and then one
    /// about every turnIntervalMs.
    explicit FolderAdd(FolderAddSink sink, qint64 turnIntervalMs = 0);

    /// Walks the tree of folder, taking the files with the extension (see
    /// collectFolderFiles), and hands them on.
    void scan(const QString &folder, const QString &extension);
    /// Hands the files that wait for a turn.
    void finish();

private:
    void handPending();
    void listed(const QStringList &files);
    void takeTurn();

    FolderAddSink m_sink;
    qint64 m_interval;
    QElapsedTimer m_clock;
    qint64 m_nextTurn = 0;
    QString m_reading;
    qsizetype m_found = 0;
    QStringList m_pending;
    FileList m_pendingList; // with a list sink
};
