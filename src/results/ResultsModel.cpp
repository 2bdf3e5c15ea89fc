#include "results/ResultsModel.h"

#include "base/PlainToolTip.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

using namespace Qt::StringLiterals;

int ResultsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(qMin<qsizetype>(count(), std::numeric_limits<int>::max()));
}

int ResultsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant ResultsModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Entry &entry = m_rows[std::size_t(index.row())];
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
        return caption(section + 1);
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
    case 5:
        return u"Search text"_s;
    default:
        return {};
    }
}

ResultRow ResultsModel::row(qsizetype r) const
{
    const Entry &entry = entryAt(r);
    const Card &card = m_cards[entry.card];
    return {entry.file, entry.tag, entry.value, card.contact, m_counts.texts().at(entry.text),
            card.place};
}

namespace {

template<typename Entry, typename Card>
const QString &entryCell(const Entry &entry, const Card &card, const QStringList &texts, int k)
{
    switch (k) {
    case 1:
        return entry.file;
    case 2:
        return entry.tag;
    case 3:
        return entry.value;
    case 5:
        return texts.at(entry.text);
    default:
        return card.contact;
    }
}

} // namespace

const QString &ResultsModel::cell(qsizetype r, int k) const
{
    const Entry &entry = entryAt(r);
    return entryCell(entry, m_cards[entry.card], m_counts.texts(), k);
}

const QString &ResultsModel::Snapshot::cell(qsizetype r, int k) const
{
    Q_ASSERT(r >= 0 && r < m_count);
    const Entry &entry = RowBlocks<Entry>::at(m_rows, std::size_t(r));
    return entryCell(entry, RowBlocks<Card>::at(m_cards, entry.card), m_texts, k);
}

quint32 ResultsModel::Snapshot::textOf(qsizetype r) const
{
    Q_ASSERT(r >= 0 && r < m_count);
    return RowBlocks<Entry>::at(m_rows, std::size_t(r)).text;
}

const ResultsModel::Entry &ResultsModel::entryAt(qsizetype r) const
{
    if (r < 0 || r >= count())
        throw std::out_of_range("results row out of range");
    return m_rows[std::size_t(r)];
}

ResultsModel::Snapshot ResultsModel::snapshot() const
{
    Snapshot snapshot;
    snapshot.m_rows = m_rows.blocks();
    snapshot.m_cards = m_cards.blocks();
    snapshot.m_texts = m_counts.texts();
    snapshot.m_count = count();
    snapshot.m_columns = shownColumnCount();
    return snapshot;
}

void ResultsModel::setChecked(qsizetype r, bool checked)
{
    if (r < 0 || r >= count() || m_rows[std::size_t(r)].checked == checked)
        return;
    m_rows[std::size_t(r)].checked = checked;
    const QModelIndex changed = index(int(r), 0);
    emit dataChanged(changed, changed, {Qt::CheckStateRole});
}

void ResultsModel::setChecked(std::span<const quint32> rows, bool checked)
{
    qsizetype first = count();
    qsizetype last = -1;
    for (const quint32 r : rows) {
        if (qsizetype(r) >= count() || m_rows[r].checked == checked)
            continue;
        m_rows[r].checked = checked;
        first = std::min(first, qsizetype(r));
        last = std::max(last, qsizetype(r));
    }
    if (last >= first)
        emit dataChanged(index(int(first), 0), index(int(last), 0), {Qt::CheckStateRole});
}

void ResultsModel::setAllChecked(bool checked)
{
    qsizetype first = count();
    qsizetype last = -1;
    for (std::size_t r = 0; r < m_rows.size(); ++r) {
        if (m_rows[r].checked == checked)
            continue;
        m_rows[r].checked = checked;
        first = std::min(first, qsizetype(r));
        last = qsizetype(r);
    }
    if (last >= first)
        emit dataChanged(index(int(first), 0), index(int(last), 0), {Qt::CheckStateRole});
}

void ResultsModel::appendRows(QList<ResultRow> rows)
{
    std::vector<QList<ResultRow>> batches;
    batches.push_back(std::move(rows));
    appendBatches(std::move(batches));
}

void ResultsModel::appendBatches(std::vector<QList<ResultRow>> batches)
{
    qsizetype added = 0;
    for (const QList<ResultRow> &rows : batches)
        added += rows.size();
    if (added == 0)
        return;
    const qsizetype first = count();
    beginInsertRows({}, int(first), int(first + added - 1));
    for (QList<ResultRow> &rows : batches) {
        for (ResultRow &row : rows) {
            // The rows of a card share its contact and place.
            const quint32 text = m_counts.add(row);
            if (m_counts.startedCard())
                m_cards.push_back({std::move(row.Contact), row.Card});
            m_rows.push_back({std::move(row.File), std::move(row.Tag), std::move(row.Value),
                              quint32(m_cards.size() - 1), text, false});
        }
    }
    endInsertRows();
}

void ResultsModel::clear()
{
    if (m_rows.empty())
        return;
    beginResetModel();
    m_rows.clear();
    m_cards.clear();
    m_counts.reset(m_searchTexts);
    endResetModel();
}

void ResultsModel::setSearchTexts(const QStringList &texts)
{
    clear();
    const bool changed = texts != m_searchTexts;
    m_searchTexts = texts;
    m_counts.reset(m_searchTexts);
    if (changed)
        emit searchTextsChanged();
}
