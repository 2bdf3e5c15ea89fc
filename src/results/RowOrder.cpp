#include "results/RowOrder.h"

#include "results/NaturalCompare.h"
#include "search/ValueMatcher.h"

#include <QStringView>

#include <algorithm>
#include <span>

namespace {

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
            throw ArrangeCancelled();
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

} // namespace

void sortRows(ShownRows &rows, const ResultsModel::Snapshot &cells, int k, Qt::SortOrder order,
              const std::atomic_bool *cancel)
{
    std::vector<SortEntry> entries(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if ((i & 4095) == 0 && isCancelled(cancel))
            throw ArrangeCancelled();
        const QStringView cell = cells.cell(rows[i], k);
        entries[i] = {{}, cell.utf16(), cell.size(), rows[i]};
    }
    if (!entries.empty())
        RowSorter(order, cancel).sort(entries);
    for (std::size_t i = 0; i < entries.size(); ++i)
        rows[i] = entries[i].row;
}

ShownRows arrangeRows(const ResultsModel::Snapshot &cells, const RowArrangement &arrangement,
                      qsizetype first, qsizetype end, const std::atomic_bool *cancel)
{
    ShownRows arranged;
    if (!arrangement.matcher && arrangement.text < 0) {
        arranged.resize(std::size_t(end - first));
        for (qsizetype r = first; r < end; ++r)
            arranged[std::size_t(r - first)] = quint32(r);
    } else {
        const ValueMatcher *matcher = arrangement.matcher;
        const int columns = cells.columnCount();
        for (qsizetype r = first; r < end; ++r) {
            if ((r & 1023) == 0 && isCancelled(cancel))
                throw ArrangeCancelled();
            if (arrangement.text >= 0 && qint64(cells.textOf(r)) != arrangement.text)
                continue;
            bool shown = !matcher;
            for (int k = 1; !shown && k <= columns; ++k) {
                const QString &cell = cells.cell(r, k);
                shown = !cell.isEmpty() && matcher->matches(cell);
            }
            if (shown)
                arranged.push_back(quint32(r));
        }
    }
    if (arrangement.column >= 0)
        sortRows(arranged, cells, arrangement.column + 1, arrangement.order, cancel);
    return arranged;
}

ShownRows mergeSortedRows(const ShownRows &rows, const ShownRows &batch,
                          const ResultsModel::Snapshot &cells, const RowArrangement &arrangement,
                          std::vector<qsizetype> *places)
{
    const int k = arrangement.column + 1;
    const bool ascending = arrangement.order == Qt::AscendingOrder;
    const auto before = [&](quint32 x, quint32 y) {
        return ascending ? naturalCompare(cells.cell(x, k), cells.cell(y, k)) < 0
                         : naturalCompare(cells.cell(y, k), cells.cell(x, k)) < 0;
    };
    // Each batch row goes after the rows it does not sort before: the rows found earlier
    // stay first among equals. A binary search per batch row, then one pass of copies.
    ShownRows out;
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
