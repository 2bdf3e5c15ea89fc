#pragma once

#include "results/ResultsModel.h"

#include <atomic>
#include <vector>

class ValueMatcher;

/// Rows of the results by their number, in the order the table shows them.
using ShownRows = std::vector<quint32>;

/// What the table's rows are arranged by: a filter, as the matcher that any cell shown of
/// a row shown must match (none: every row) and the number of the search text that must
/// have found it (-1: any); and a sort column (0 File to 4 Search text; -1: the order the
/// rows were found in).
struct RowArrangement
{
    const ValueMatcher *matcher = nullptr;
    int column = -1;
    Qt::SortOrder order = Qt::AscendingOrder;
    qint64 text = -1;
};

/// Thrown by the functions below when their cancel flag is set on the way.
struct ArrangeCancelled
{
};

/// Sorts rows by their cell k (1 File to 5 Search text) in natural order. Stable: rows with
/// equal cells keep the order they were found in, either way.
void sortRows(ShownRows &rows, const ResultsModel::Snapshot &cells, int k, Qt::SortOrder order,
              const std::atomic_bool *cancel = nullptr);

/// The rows [first, end) of the snapshot that the arrangement shows, in its order.
ShownRows arrangeRows(const ResultsModel::Snapshot &cells, const RowArrangement &arrangement,
                      qsizetype first, qsizetype end, const std::atomic_bool *cancel = nullptr);

/// Sorted rows and a sorted batch of rows found after them, merged in the arrangement's
/// sort; the rows found earlier stay first among equals. places, when given, receives
/// for each batch row how many of the earlier rows stand before it.
ShownRows mergeSortedRows(const ShownRows &rows, const ShownRows &batch,
                          const ResultsModel::Snapshot &cells, const RowArrangement &arrangement,
                          std::vector<qsizetype> *places = nullptr);
