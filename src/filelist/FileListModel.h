#pragma once

#include "base/FileList.h"

#include <QAbstractListModel>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

/// The ordered list of card files to search; positions count from 1 as the list
/// shows them; duplicates are allowed. A folder's files whose names are ASCII are held
/// as the folder's names, and a path is made only when it is shown or asked for: a
/// million files cost a few bytes each.
class FileListModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    qsizetype count() const { return qsizetype(m_entries.size()); }
    /// The path at a position from 1 to count().
    QString text(qsizetype position) const;
    /// Every path, in order.
    QStringList paths() const;
    /// The list as it stands, sharing the names it holds.
    FileList files() const;

    void append(const QString &path);
    void append(const QStringList &paths);
    /// Appends a list's files, in its order, keeping folders' names as they are held.
    void append(const FileList &files);
    /// Removes the entry at a position from 1 to count(); others are ignored.
    void removeAt(qsizetype position);
    /// Removes count entries from a position (from 1); the part outside the list is
    /// ignored.
    void removeRange(qsizetype position, qsizetype count);
    void clear();
    /// Exchanges the texts of two positions (from 1).
    void exchange(qsizetype a, qsizetype b);

    /// True when an entry equals the path exactly (case-sensitive, whole text).
    bool ListContainsPath(const QString &path) const;

private:
    /// Where entries come from: a list of paths, or a folder's names.
    struct Source
    {
        QStringList paths;
        std::shared_ptr<const FolderFiles> folder;
        qsizetype entries = 0; // how many entries still refer to it
    };
    /// One entry: a position in a source.
    struct Entry
    {
        std::uint32_t source;
        std::uint32_t index;
    };

    QString pathOf(const Entry &entry) const;
    bool holds(const Entry &entry, const QString &path) const;
    std::uint32_t pathSource();
    void insertEntries(const std::vector<Entry> &entries);
    void release(qsizetype first, qsizetype last);

    std::vector<Source> m_sources;
    // In blocks that never move: a list of a million files grows without copying its
    // entries to fresh memory, which would hold up the window's thread.
    std::deque<Entry> m_entries;
};
