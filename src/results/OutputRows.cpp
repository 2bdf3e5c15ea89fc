#include "results/OutputRows.h"

#include "results/ResultsModel.h"

#include <algorithm>

using namespace Qt::StringLiterals;

OutputRows::OutputRows(std::vector<quint32> rows, qsizetype covered, bool filtered, bool sorted)
    : m_rows(std::move(rows)), m_covered(covered), m_filtered(filtered), m_sorted(sorted)
{}

qsizetype OutputRows::count(const ResultsModel &results) const
{
    if (isAll())
        return results.count();
    // The results only ever grow, or are cleared: fewer rows than there were mean the
    // rows named are gone.
    return results.count() < m_covered ? 0 : qsizetype(m_rows.size());
}

OutputRows OutputRows::inFoundOrder() const
{
    if (!m_sorted)
        return *this;
    std::vector<quint32> rows = m_rows;
    std::sort(rows.begin(), rows.end());
    return OutputRows(std::move(rows), m_covered, m_filtered, false);
}

QString OutputRows::note() const
{
    if (m_filtered && m_sorted)
        return u" (filter on, sorted)"_s;
    if (m_filtered)
        return u" (filter on)"_s;
    return m_sorted ? u" (sorted)"_s : QString();
}
