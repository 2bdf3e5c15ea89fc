#include "filelist/FileListModel.h"

#include "base/PlainToolTip.h"

using namespace Qt::StringLiterals;

int FileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_paths.size());
}

QVariant FileListModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    if (role == Qt::DisplayRole)
        return m_paths.at(index.row());
    if (role == Qt::ToolTipRole)
        return plainToolTip(m_paths.at(index.row()));
    return {};
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
        return u" VCF File(s)"_s;
    return {};
}

void FileListModel::append(const QString &path)
{
    append(QStringList{path});
}

void FileListModel::append(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    beginInsertRows({}, int(m_paths.size()), int(m_paths.size() + paths.size() - 1));
    m_paths.append(paths);
    endInsertRows();
}

void FileListModel::removeAt(qsizetype position)
{
    if (position < 1 || position > m_paths.size())
        return;
    beginRemoveRows({}, int(position - 1), int(position - 1));
    m_paths.removeAt(position - 1);
    endRemoveRows();
}

void FileListModel::removeRange(qsizetype position, qsizetype count)
{
    const qsizetype first = qMax<qsizetype>(position, 1);
    const qsizetype last = qMin(position + count - 1, m_paths.size());
    if (last < first)
        return;
    beginRemoveRows({}, int(first - 1), int(last - 1));
    m_paths.remove(first - 1, last - first + 1);
    endRemoveRows();
}

void FileListModel::clear()
{
    if (m_paths.isEmpty())
        return;
    beginResetModel();
    m_paths.clear();
    endResetModel();
}

void FileListModel::exchange(qsizetype a, qsizetype b)
{
    if (a < 1 || b < 1 || a > m_paths.size() || b > m_paths.size() || a == b)
        return;
    m_paths.swapItemsAt(a - 1, b - 1);
    const QModelIndex first = index(int(a - 1));
    const QModelIndex second = index(int(b - 1));
    emit dataChanged(first, first, {Qt::DisplayRole});
    emit dataChanged(second, second, {Qt::DisplayRole});
}

bool FileListModel::ListContainsPath(const QString &path) const
{
    return m_paths.contains(path, Qt::CaseSensitive);
}
