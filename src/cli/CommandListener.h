#pragma once

#include "search/SearchReport.h"
#include "search/SearchRun.h"

#include <functional>
#include <utility>

/// What both of quillory-search's listeners do alike: every file is told to the reading
/// report when there is one, and a file that failed is named through reportFailure.
class CommandListener : public SearchListener
{
public:
    CommandListener(std::function<void(const QString &)> reportFailure, SearchReport *report)
        : m_reportFailure(std::move(reportFailure)), m_report(report)
    {}

    void fileStarted(qsizetype index, const FileRef &file) override
    {
        if (m_report)
            m_report->fileStarted(index, file);
    }
    void fileRead(qsizetype index, const ReadFacts &facts) override
    {
        if (m_report)
            m_report->fileRead(index, facts);
    }
    void fileFailed(qsizetype index, FileFailure kind, const QString &description) override
    {
        if (m_report)
            m_report->fileFailed(index, kind, description);
        m_reportFailure(description);
    }

protected:
    SearchReport *report() const { return m_report; }

private:
    std::function<void(const QString &)> m_reportFailure;
    SearchReport *m_report;
};
