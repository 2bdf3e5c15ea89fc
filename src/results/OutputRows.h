#pragma once

#include <QString>

#include <vector>

class ResultsModel;

/// The rows an output takes out of the results, in its order: every row as found, or,
/// while the table filters or sorts, the rows it shows in the order it shows them. The
/// shown rows are held by their numbers only, whatever the size of their cells.
class OutputRows final
{
public:
    /// Every row of the results, as found; rows appended meanwhile are taken too.
    OutputRows() = default;
    /// The rows named, in this order, taken while the results held covered rows.
    OutputRows(std::vector<quint32> rows, qsizetype covered, bool filtered, bool sorted);

    bool filtered() const { return m_filtered; }
    bool sorted() const { return m_sorted; }
    bool isAll() const { return !m_filtered && !m_sorted; }

    /// How many rows there are to take from results as they stand now: none of the rows
    /// named once the results were cleared.
    qsizetype count(const ResultsModel &results) const;
    /// The number in the results of the i-th row to take, for i below count().
    qsizetype at(qsizetype i) const { return isAll() ? i : qsizetype(m_rows[std::size_t(i)]); }

    /// The same rows in the order they were found: for an output whose order is that of
    /// the files.
    OutputRows inFoundOrder() const;

    /// " (filter on)", " (sorted)", " (filter on, sorted)", or empty for every row as found.
    QString note() const;

private:
    std::vector<quint32> m_rows;
    qsizetype m_covered = 0;
    bool m_filtered = false;
    bool m_sorted = false;
};
