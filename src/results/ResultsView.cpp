#include "results/ResultsView.h"

#include "results/NaturalCompare.h"
#include "search/ValueMatcher.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QStringView>
#include <QThread>

#include <algorithm>
#include <limits>
#include <span>

namespace {

/// Thrown inside a worker's sort when its result is no longer wanted.
struct Cancelled
{
};

bool isCancelled(const std::atomic_bool *cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

/// A row to sort, with what the sort reads of its cell side by side: most comparisons
/// end at the keys, and cells that share their text are equal without reading it.
struct SortEntry
{
    NaturalKey key;
    const char16_t *data;
    qsizetype size;
    quint32 row;

    QStringView cell() const { return {data, size}; }
};

/// Sorts rows stably by their cells in natural order, first by keys of the cells, then
/// each run of equal keys by new keys that start after what the run's cells share (a
/// path's folder, then its file name), as deep as that tells them apart; the cells
/// themselves decide what keys cannot.
class RowSorter
{
public:
    RowSorter(Qt::SortOrder order, const std::atomic_bool *cancel)
        : m_ascending(order == Qt::AscendingOrder), m_cancel(cancel)
    {}

    void sort(std::span<SortEntry> entries, qsizetype from = 0, int depth = 0)
    {
        const SortEntry &first = entries.front();
        if (std::all_of(entries.begin() + 1, entries.end(), [&](const SortEntry &e) {
                return e.data == first.data && e.size == first.size;
            }))
            return; // one text shared by all, as the rows of a card share their contact
        const qsizetype start = sharedStart(entries, from);
        if ((depth > 0 && start <= from) || depth == kMaxDepth) {
            sortByCells(entries);
            return;
        }
        for (std::size_t i = 0; i < entries.size(); ++i) {
            checkCancelled(i);
            entries[i].key = naturalKey(entries[i].cell(), start);
        }
        std::stable_sort(entries.begin(), entries.end(),
                         [this](const SortEntry &x, const SortEntry &y) {
                             checkCancelled(++m_calls);
                             return m_ascending ? x.key < y.key : y.key < x.key;
                         });
        for (auto run = entries.begin(); run != entries.end();) {
            const auto end = std::find_if(run + 1, entries.end(),
                                          [&](const SortEntry &e) { return e.key != run->key; });
            if (end - run > 1)
                sort({run, end}, start, depth + 1);
            run = end;
        }
    }

private:
    /// Each level reads the cells of its runs twice; past this depth the cells decide.
    static constexpr int kMaxDepth = 8;

    void checkCancelled(std::size_t count)
    {
        if ((count & 4095) == 0 && isCancelled(m_cancel))
            throw Cancelled();
    }

    /// Where keys of entries that all begin with the same from code units may start.
    qsizetype sharedStart(std::span<const SortEntry> entries, qsizetype from)
    {
        QStringView shared = entries.front().cell();
        for (std::size_t i = 1; i < entries.size() && shared.size() > from; ++i) {
            checkCancelled(i);
            const QStringView cell = entries[i].cell();
            const auto end = std::mismatch(shared.begin() + from, shared.end(), cell.begin() + from,
                                           cell.end())
                                 .first;
            shared.truncate(end - shared.begin());
        }
        return naturalKeyStart(shared);
    }

    void sortByCells(std::span<SortEntry> entries)
    {
        std::stable_sort(entries.begin(), entries.end(),
                         [this](const SortEntry &x, const SortEntry &y) {
                             checkCancelled(++m_calls);
                             return m_ascending ? before(x, y) : before(y, x);
                         });
    }

    static bool before(const SortEntry &x, const SortEntry &y)
    {
        // Cells that share their text (a tag, a file's path) are equal.
        if (x.data == y.data && x.size == y.size)
            return false;
        return naturalCompare(x.cell(), y.cell()) < 0;
    }

    bool m_ascending;
    const std::atomic_bool *m_cancel;
    std::size_t m_calls = 0;
};

/// Sorts rows by their cell k in natural order. Stable: rows with equal cells keep the
/// order they were found in, either way.
void sortRows(std::vector<quint32> &rows, const ResultsModel::Snapshot &cells, int k,
              Qt::SortOrder order, const std::atomic_bool *cancel)
{
    std::vector<SortEntry> entries(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if ((i & 4095) == 0 && isCancelled(cancel))
            throw Cancelled();
        const QStringView cell = cells.cell(rows[i], k);
        entries[i] = {{}, cell.utf16(), cell.size(), rows[i]};
    }
    if (!entries.empty())
        RowSorter(order, cancel).sort(entries);
    for (std::size_t i = 0; i < entries.size(); ++i)
        rows[i] = entries[i].row;
}

} // namespace

bool ResultsView::Criteria::arrangesAs(const Criteria &other) const
{
    return filter == other.filter && (filter.isEmpty() || ignoreCase == other.ignoreCase)
        && column == other.column && (column < 0 || order == other.order);
}

ResultsView::ResultsView(ResultsModel &source, QObject *parent)
    : QAbstractProxyModel(parent), m_source(source)
{
    QAbstractProxyModel::setSourceModel(&source);
    connect(&source, &QAbstractItemModel::rowsAboutToBeInserted, this,
            &ResultsView::sourceRowsAboutToBeInserted);
    connect(&source, &QAbstractItemModel::rowsInserted, this, &ResultsView::sourceRowsInserted);
    connect(&source, &QAbstractItemModel::dataChanged, this, &ResultsView::sourceDataChanged);
    connect(&source, &QAbstractItemModel::modelAboutToBeReset, this,
            &ResultsView::sourceAboutToBeReset);
    connect(&source, &QAbstractItemModel::modelReset, this, &ResultsView::sourceReset);
}

ResultsView::~ResultsView()
{
    stopJob();
    if (m_worker.joinable())
        m_worker.join();
}

void ResultsView::setFilter(const QString &text, bool ignoreCase)
{
    m_wanted.filter = text;
    m_wanted.ignoreCase = ignoreCase;
    m_wanted.matcher = text.isEmpty() ? nullptr : makeTextMatcher(text, {ignoreCase, false});
    rearrange();
}

void ResultsView::setSort(int column, Qt::SortOrder order)
{
    m_wanted.column = (column >= 0 && column < ResultsModel::kColumnCount) ? column : -1;
    m_wanted.order = order;
    rearrange();
}

void ResultsView::sort(int column, Qt::SortOrder order)
{
    setSort(column, order);
}

bool ResultsView::waitForArranged(int msecs)
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

void ResultsView::tickShown(bool ticked)
{
    if (m_applied.isIdentity())
        m_source.setAllChecked(ticked);
    else
        m_source.setChecked(m_rows, ticked);
}

qsizetype ResultsView::shownCount() const
{
    return m_applied.isIdentity() ? m_source.count() : qsizetype(m_rows.size());
}

qsizetype ResultsView::sourceRow(qsizetype viewRow) const
{
    return m_applied.isIdentity() ? viewRow : qsizetype(m_rows[std::size_t(viewRow)]);
}

qsizetype ResultsView::viewRow(qsizetype sourceRow) const
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

QModelIndex ResultsView::mapToSource(const QModelIndex &proxyIndex) const
{
    if (!proxyIndex.isValid() || proxyIndex.model() != this)
        return {};
    return m_source.index(int(sourceRow(proxyIndex.row())), proxyIndex.column());
}

QModelIndex ResultsView::mapFromSource(const QModelIndex &sourceIndex) const
{
    if (!sourceIndex.isValid() || sourceIndex.model() != &m_source)
        return {};
    const qsizetype row = viewRow(sourceIndex.row());
    return row < 0 ? QModelIndex() : createIndex(int(row), sourceIndex.column());
}

QModelIndex ResultsView::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0
        || column >= ResultsModel::kColumnCount)
        return {};
    return createIndex(row, column);
}

QModelIndex ResultsView::parent(const QModelIndex &) const
{
    return {};
}

QModelIndex ResultsView::sibling(int row, int column, const QModelIndex &) const
{
    return index(row, column);
}

bool ResultsView::hasChildren(const QModelIndex &parent) const
{
    return !parent.isValid() && shownCount() > 0;
}

int ResultsView::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0
                            : int(qMin<qsizetype>(shownCount(), std::numeric_limits<int>::max()));
}

int ResultsView::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ResultsModel::kColumnCount;
}

QVariant ResultsView::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    return m_source.data(mapToSource(index), role);
}

bool ResultsView::setData(const QModelIndex &index, const QVariant &value, int role)
{
    // A tick belongs to the row: it goes to the results and comes back as their change.
    return m_source.setData(mapToSource(index), value, role);
}

Qt::ItemFlags ResultsView::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return m_source.flags(mapToSource(index));
}

QVariant ResultsView::headerData(int section, Qt::Orientation orientation, int role) const
{
    return m_source.headerData(section, orientation, role);
}

ResultsView::Rows ResultsView::arrange(const ResultsModel::Snapshot &rows, const Criteria &criteria,
                                       qsizetype first, qsizetype end,
                                       const std::atomic_bool *cancel)
{
    Rows arranged;
    if (!criteria.filters()) {
        arranged.resize(std::size_t(end - first));
        for (qsizetype r = first; r < end; ++r)
            arranged[std::size_t(r - first)] = quint32(r);
    } else {
        const ValueMatcher &matcher = *criteria.matcher;
        for (qsizetype r = first; r < end; ++r) {
            if ((r & 1023) == 0 && isCancelled(cancel))
                throw Cancelled();
            for (int k = 1; k <= ResultsModel::kColumnCount; ++k) {
                const QString &cell = rows.cell(r, k);
                if (!cell.isEmpty() && matcher.matches(cell)) {
                    arranged.push_back(quint32(r));
                    break;
                }
            }
        }
    }
    if (criteria.sorts())
        sortRows(arranged, rows, criteria.column + 1, criteria.order, cancel);
    return arranged;
}

ResultsView::Rows ResultsView::merged(const Rows &rows, const Rows &batch,
                                      const ResultsModel::Snapshot &cells, const Criteria &criteria,
                                      std::vector<qsizetype> *places)
{
    const int k = criteria.column + 1;
    const bool ascending = criteria.order == Qt::AscendingOrder;
    const auto before = [&](quint32 x, quint32 y) {
        return ascending ? naturalCompare(cells.cell(x, k), cells.cell(y, k)) < 0
                         : naturalCompare(cells.cell(y, k), cells.cell(x, k)) < 0;
    };
    // Each batch row goes after the rows it does not sort before: the rows found earlier
    // stay first among equals. A binary search per batch row, then one pass of copies.
    Rows out;
    out.reserve(rows.size() + batch.size());
    auto from = rows.begin();
    for (const quint32 row : batch) {
        const auto at = std::upper_bound(from, rows.end(), row, before);
        out.insert(out.end(), from, at);
        if (places)
            places->push_back(at - rows.begin());
        out.push_back(row);
        from = at;
    }
    out.insert(out.end(), from, rows.end());
    return out;
}

void ResultsView::rearrange()
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
        apply(arrange(m_source.snapshot(), m_wanted, 0, m_source.count(), nullptr), m_wanted);
        settle();
        return;
    }
    startJob();
}

void ResultsView::startJob()
{
    stopJob();
    // The job before was told to stop: it ends at its next look at the flag.
    if (m_worker.joinable())
        m_worker.join();
    auto cancel = std::make_shared<std::atomic_bool>(false);
    m_cancel = cancel;
    const quint64 generation = m_generation;
    m_worker = std::thread(
        [this, generation, cancel, snapshot = m_source.snapshot(), criteria = m_wanted] {
            Rows rows;
            try {
                rows = arrange(snapshot, criteria, 0, snapshot.count(), cancel.get());
            } catch (const Cancelled &) {
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

void ResultsView::stopJob()
{
    ++m_generation;
    if (m_cancel)
        m_cancel->store(true, std::memory_order_relaxed);
    m_cancel.reset();
}

void ResultsView::jobDone(quint64 generation, Rows rows, qsizetype covered)
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
        Rows tail = arrange(cells, m_wanted, covered, count, nullptr);
        if (m_wanted.sorts())
            rows = merged(rows, tail, cells, m_wanted, nullptr);
        else
            rows.insert(rows.end(), tail.begin(), tail.end());
    }
    apply(std::move(rows), m_wanted);
    settle();
}

void ResultsView::apply(Rows rows, const Criteria &criteria)
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

void ResultsView::settle()
{
    // Every change of filter or order ends in arranged(), also when it needed no worker.
    m_arranging = false;
    emit arranged();
}

void ResultsView::sourceRowsAboutToBeInserted(const QModelIndex &, int first, int last)
{
    // As found and unfiltered the view is the results themselves: nothing to work out.
    if (m_applied.isIdentity())
        beginInsertRows({}, first, last);
}

void ResultsView::sourceRowsInserted(const QModelIndex &, int first, int last)
{
    if (m_applied.isIdentity()) {
        endInsertRows();
        return;
    }
    // The results only ever append: the new rows are filtered and sorted by themselves,
    // then merged into the rows shown.
    const ResultsModel::Snapshot cells = m_source.snapshot();
    Rows batch = arrange(cells, m_applied, first, qsizetype(last) + 1, nullptr);
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
    m_rows = merged(Rows(m_rows.begin(), m_rows.begin() + old), batch, cells, m_applied, &places);
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

void ResultsView::sourceDataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                    const QList<int> &roles)
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

void ResultsView::sourceAboutToBeReset()
{
    stopJob();
    beginResetModel();
}

void ResultsView::sourceReset()
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
