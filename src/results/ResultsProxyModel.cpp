#include "results/ResultsProxyModel.h"

#include "search/ValueMatcher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <algorithm>
#include <limits>

bool ResultsProxyModel::Criteria::arrangesAs(const Criteria &other) const
{
    return filter == other.filter && (filter.isEmpty() || ignoreCase == other.ignoreCase)
        && text == other.text && column == other.column && (column < 0 || order == other.order);
}

ResultsProxyModel::ResultsProxyModel(ResultsModel &source, QObject *parent)
    : QAbstractProxyModel(parent), m_source(source)
{
    QAbstractProxyModel::setSourceModel(&source);
    connect(&source, &QAbstractItemModel::rowsAboutToBeInserted, this,
            &ResultsProxyModel::sourceRowsAboutToBeInserted);
    connect(&source, &QAbstractItemModel::rowsInserted, this,
            &ResultsProxyModel::sourceRowsInserted);
    connect(&source, &QAbstractItemModel::dataChanged, this, &ResultsProxyModel::sourceDataChanged);
    connect(&source, &QAbstractItemModel::modelAboutToBeReset, this,
            &ResultsProxyModel::sourceAboutToBeReset);
    connect(&source, &QAbstractItemModel::modelReset, this, &ResultsProxyModel::sourceReset);
}

ResultsProxyModel::~ResultsProxyModel()
{
    stopJob();
    if (m_worker.joinable())
        m_worker.join();
}

void ResultsProxyModel::setFilter(const QString &text, bool ignoreCase)
{
    m_wanted.filter = text;
    m_wanted.ignoreCase = ignoreCase;
    m_wanted.matcher = text.isEmpty() ? nullptr : makeTextMatcher(text, {ignoreCase, false});
    rearrange();
}

void ResultsProxyModel::setTextFilter(qint64 text)
{
    m_wanted.text = qMax(text, qint64(-1));
    rearrange();
}

void ResultsProxyModel::setSort(int column, Qt::SortOrder order)
{
    m_wanted.column = (column >= 0 && column < ResultsModel::kColumnCount) ? column : -1;
    m_wanted.order = order;
    rearrange();
}

void ResultsProxyModel::sort(int column, Qt::SortOrder order)
{
    setSort(column, order);
}

bool ResultsProxyModel::waitForArranged(int msecs)
{
    const QDeadlineTimer deadline(msecs);
    while (m_arranging && !deadline.hasExpired()) {
        if (m_worker.joinable())
            m_worker.join();
        // The worker hands its result over as a queued call; a follow-up job may start.
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
        if (m_arranging && !m_worker.joinable())
            QThread::msleep(1);
    }
    return !m_arranging;
}

void ResultsProxyModel::tickShown(bool ticked)
{
    if (m_applied.isIdentity())
        m_source.setAllChecked(ticked);
    else
        m_source.setChecked(m_rows, ticked);
}

qsizetype ResultsProxyModel::shownCount() const
{
    return m_applied.isIdentity() ? m_source.count() : qsizetype(m_rows.size());
}

OutputRows ResultsProxyModel::outputRows() const
{
    if (m_applied.isIdentity())
        return {};
    return OutputRows(m_rows, m_source.count(), m_applied.filters(), m_applied.sorts());
}

qsizetype ResultsProxyModel::sourceRow(qsizetype viewRow) const
{
    return m_applied.isIdentity() ? viewRow : qsizetype(m_rows[std::size_t(viewRow)]);
}

qsizetype ResultsProxyModel::viewRow(qsizetype sourceRow) const
{
    if (m_applied.isIdentity())
        return sourceRow < m_source.count() ? sourceRow : -1;
    // Filtered in found order the rows ascend; sorted, a scan finds the row (this is
    // asked for single rows: a tick, the current row).
    const auto found = m_applied.sorts()
        ? std::find(m_rows.begin(), m_rows.end(), quint32(sourceRow))
        : std::lower_bound(m_rows.begin(), m_rows.end(), quint32(sourceRow));
    return found != m_rows.end() && *found == quint32(sourceRow) ? found - m_rows.begin() : -1;
}

QModelIndex ResultsProxyModel::mapToSource(const QModelIndex &proxyIndex) const
{
    if (!proxyIndex.isValid() || proxyIndex.model() != this)
        return {};
    return m_source.index(int(sourceRow(proxyIndex.row())), proxyIndex.column());
}

QModelIndex ResultsProxyModel::mapFromSource(const QModelIndex &sourceIndex) const
{
    if (!sourceIndex.isValid() || sourceIndex.model() != &m_source)
        return {};
    const qsizetype row = viewRow(sourceIndex.row());
    return row < 0 ? QModelIndex() : createIndex(int(row), sourceIndex.column());
}

QModelIndex ResultsProxyModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0
        || column >= ResultsModel::kColumnCount)
        return {};
    return createIndex(row, column);
}

QModelIndex ResultsProxyModel::parent(const QModelIndex &) const
{
    return {};
}

QModelIndex ResultsProxyModel::sibling(int row, int column, const QModelIndex &) const
{
    return index(row, column);
}

bool ResultsProxyModel::hasChildren(const QModelIndex &parent) const
{
    return !parent.isValid() && shownCount() > 0;
}

int ResultsProxyModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0
                            : int(qMin<qsizetype>(shownCount(), std::numeric_limits<int>::max()));
}

int ResultsProxyModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ResultsModel::kColumnCount;
}

QVariant ResultsProxyModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    return m_source.data(mapToSource(index), role);
}

bool ResultsProxyModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    // A tick belongs to the row: it goes to the results and comes back as their change.
    return m_source.setData(mapToSource(index), value, role);
}

Qt::ItemFlags ResultsProxyModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return m_source.flags(mapToSource(index));
}

QVariant ResultsProxyModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return m_source.headerData(section, orientation, role);
}

void ResultsProxyModel::rearrange()
{
    stopJob();
    if (m_wanted.arrangesAs(m_applied)) {
        m_applied = m_wanted; // the same arrangement; keeps the new matcher for new rows
        settle();
        return;
    }
    if (m_wanted.isIdentity()) {
        apply({}, m_wanted);
        settle();
        return;
    }
    if (m_source.count() <= kArrangeAtOnceRows) {
        apply(arrangeRows(m_source.snapshot(), m_wanted.arrangement(), 0, m_source.count()),
              m_wanted);
        settle();
        return;
    }
    startJob();
}

void ResultsProxyModel::startJob()
{
    stopJob();
    // The job before was told to stop: it ends at its next look at the flag.
    if (m_worker.joinable())
        m_worker.join();
    auto cancel = std::make_shared<std::atomic_bool>(false);
    m_cancel = cancel;
    const quint64 generation = m_generation;
    m_worker = std::thread([this, generation, cancel, snapshot = m_source.snapshot(),
                            criteria = m_wanted] {
        Rows rows;
        try {
            rows = arrangeRows(snapshot, criteria.arrangement(), 0, snapshot.count(), cancel.get());
        } catch (const ArrangeCancelled &) {
            return;
        }
        QMetaObject::invokeMethod(
            this,
            [this, generation, rows = std::move(rows), covered = snapshot.count()]() mutable {
                jobDone(generation, std::move(rows), covered);
            },
            Qt::QueuedConnection);
    });
    if (!m_arranging) {
        m_arranging = true;
        emit arranging();
    }
}

void ResultsProxyModel::stopJob()
{
    ++m_generation;
    if (m_cancel)
        m_cancel->store(true, std::memory_order_relaxed);
    m_cancel.reset();
}

void ResultsProxyModel::jobDone(quint64 generation, Rows rows, qsizetype covered)
{
    if (generation != m_generation)
        return;
    if (m_worker.joinable())
        m_worker.join(); // it has nothing left to do but end
    m_cancel.reset();
    // Rows that arrived while the worker ran are arranged here, unless they are many:
    // then the worker starts over with all of them.
    const qsizetype count = m_source.count();
    if (count - covered > kArrangeAtOnceRows) {
        startJob();
        return;
    }
    if (count > covered) {
        const ResultsModel::Snapshot cells = m_source.snapshot();
        Rows tail = arrangeRows(cells, m_wanted.arrangement(), covered, count);
        if (m_wanted.sorts())
            rows = mergeSortedRows(rows, tail, cells, m_wanted.arrangement());
        else
            rows.insert(rows.end(), tail.begin(), tail.end());
    }
    apply(std::move(rows), m_wanted);
    settle();
}

void ResultsProxyModel::apply(Rows rows, const Criteria &criteria)
{
    const auto hint = criteria.filter == m_applied.filter ? QAbstractItemModel::VerticalSortHint
                                                          : QAbstractItemModel::NoLayoutChangeHint;
    emit layoutAboutToBeChanged({}, hint);
    const QModelIndexList from = persistentIndexList();
    std::vector<qsizetype> sources;
    sources.reserve(std::size_t(from.size()));
    for (const QModelIndex &index : from)
        sources.push_back(sourceRow(index.row()));
    m_applied = criteria;
    m_rows = criteria.isIdentity() ? Rows() : std::move(rows);
    QModelIndexList to;
    if (!from.isEmpty()) {
        // Where each row stands now: one pass over the rows instead of a search per index.
        std::vector<qint32> shownAt;
        if (!criteria.isIdentity()) {
            shownAt.assign(std::size_t(m_source.count()), -1);
            for (std::size_t v = 0; v < m_rows.size(); ++v)
                shownAt[m_rows[v]] = qint32(v);
        }
        to.reserve(from.size());
        for (qsizetype i = 0; i < from.size(); ++i) {
            const qsizetype s = sources[std::size_t(i)];
            const qsizetype v = criteria.isIdentity() ? s : shownAt[std::size_t(s)];
            to.append(v < 0 ? QModelIndex() : createIndex(int(v), from.at(i).column()));
        }
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, hint);
}

void ResultsProxyModel::settle()
{
    // Every change of filter or order ends in arranged(), also when it needed no worker.
    m_arranging = false;
    emit arranged();
}

void ResultsProxyModel::sourceRowsAboutToBeInserted(const QModelIndex &, int first, int last)
{
    // As found and unfiltered the view is the results themselves: nothing to work out.
    if (m_applied.isIdentity())
        beginInsertRows({}, first, last);
}

void ResultsProxyModel::sourceRowsInserted(const QModelIndex &, int first, int last)
{
    if (m_applied.isIdentity()) {
        endInsertRows();
        return;
    }
    // The results only ever append: the new rows are filtered and sorted by themselves,
    // then merged into the rows shown.
    const ResultsModel::Snapshot cells = m_source.snapshot();
    Rows batch = arrangeRows(cells, m_applied.arrangement(), first, qsizetype(last) + 1);
    if (batch.empty())
        return;
    const qsizetype old = qsizetype(m_rows.size());
    beginInsertRows({}, int(old), int(old + qsizetype(batch.size()) - 1));
    m_rows.insert(m_rows.end(), batch.begin(), batch.end());
    endInsertRows();
    if (!m_applied.sorts())
        return;
    // The batch stands sorted at the end; one layout change moves it into place.
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<qsizetype> places;
    places.reserve(batch.size());
    m_rows = mergeSortedRows(Rows(m_rows.begin(), m_rows.begin() + old), batch, cells,
                             m_applied.arrangement(), &places);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &index : from) {
        const qsizetype row = index.row();
        qsizetype now;
        if (row < old) {
            now = row + (std::upper_bound(places.begin(), places.end(), row) - places.begin());
        } else {
            const qsizetype k = row - old;
            now = places[std::size_t(k)] + k;
        }
        to.append(createIndex(int(now), index.column()));
    }
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ResultsProxyModel::sourceDataChanged(const QModelIndex &topLeft,
                                          const QModelIndex &bottomRight, const QList<int> &roles)
{
    if (!topLeft.isValid() || !bottomRight.isValid() || shownCount() == 0)
        return;
    if (m_applied.isIdentity()) {
        emit dataChanged(index(topLeft.row(), topLeft.column()),
                         index(bottomRight.row(), bottomRight.column()), roles);
        return;
    }
    if (topLeft.row() == bottomRight.row()) {
        const qsizetype row = viewRow(topLeft.row());
        if (row >= 0)
            emit dataChanged(index(int(row), topLeft.column()),
                             index(int(row), bottomRight.column()), roles);
        return;
    }
    // Many rows (all ticked at once): the rows shown may stand anywhere in that range.
    emit dataChanged(index(0, topLeft.column()), index(rowCount() - 1, bottomRight.column()),
                     roles);
}

void ResultsProxyModel::sourceAboutToBeReset()
{
    stopJob();
    beginResetModel();
}

void ResultsProxyModel::sourceReset()
{
    m_rows.clear();
    // The results are cleared: no rows, so any filter and order shows them as wanted.
    const bool empty = m_source.count() == 0;
    m_applied = empty ? m_wanted : Criteria();
    endResetModel();
    if (!empty)
        rearrange();
    else if (m_arranging)
        settle();
}
