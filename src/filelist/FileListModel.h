#pragma once

#include <QAbstractListModel>
#include <QStringList>

/// The ordered list of card files to search; positions count from 1 as the list
/// shows them; duplicates are allowed.
class FileListModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    qsizetype count() const { return m_paths.size(); }
    /// The path at a position from 1 to count().
    const QString &text(qsizetype position) const { return m_paths.at(position - 1); }
    const QStringList &paths() const { return m_paths; }

    void append(const QString &path);
    void append(const QStringList &paths);
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
    QStringList m_paths;
};
