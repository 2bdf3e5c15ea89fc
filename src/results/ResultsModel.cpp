#include "results/ResultsModel.h"

#include "app/PlainToolTip.h"

#include <limits>

using namespace Qt::StringLiterals;

int ResultsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0
                            : int(qMin<qsizetype>(count(), std::numeric_limits<int>::max()));
}

int ResultsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant ResultsModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Entry &entry = m_rows.at(std::size_t(index.row()));
    if (role == Qt::DisplayRole)
        return cell(index.row(), index.column() + 1);
    if (role == Qt::ToolTipRole)
        return plainToolTip(cell(index.row(), index.column() + 1));
    if (role == Qt::CheckStateRole && index.column() == 0)
        return entry.checked ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool ResultsModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole || index.column() != 0
        || !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    setChecked(index.row(), value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

Qt::ItemFlags ResultsModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == 0)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant ResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0
        && section < kColumnCount)
        return columnCaption(section + 1);
    return {};
}

QString ResultsModel::columnCaption(int k)
{
    switch (k) {
    case 1:
        return u"File"_s;
    case 2:
        return u"Tag"_s;
    case 3:
        return u" Value"_s;
    case 4:
        return u"Contact"_s;
    default:
        return {};
    }
}

const QString &ResultsModel::cell(qsizetype r, int k) const
{
    const ResultRow &row = m_rows.at(std::size_t(r)).row;
    return resultCell(row, k);
}

void ResultsModel::setChecked(qsizetype r, bool checked)
{
    if (r < 0 || r >= count() || m_rows.at(std::size_t(r)).checked == checked)
        return;
    m_rows[std::size_t(r)].checked = checked;
    const QModelIndex changed = index(int(r), 0);
    emit dataChanged(changed, changed, {Qt::CheckStateRole});
}

void ResultsModel::appendRows(QList<ResultRow> rows)
{
    if (rows.isEmpty())
        return;
    const qsizetype first = count();
    beginInsertRows({}, int(first), int(first + rows.size() - 1));
    for (ResultRow &row : rows)
        m_rows.push_back({std::move(row), false});
    endInsertRows();
}

void ResultsModel::clear()
{
    if (m_rows.empty())
        return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}
