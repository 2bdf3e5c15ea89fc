#pragma once

#include "search/Duplicates.h"
#include "search/SearchReport.h"
#include "search/SearchRun.h"

#include <functional>

class MatchingCards;
class Output;

/// The console's listener when duplicates are looked for: the rows of a search text
/// are not printed, the keys of the files' cards are gathered in list order.
class DuplicatesListener final : public SearchListener
{
public:
    explicit DuplicatesListener(std::function<void(const QString &)> reportFailure)
        : m_reportFailure(std::move(reportFailure))
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
    bool rows(QList<ResultRow> &&) override { return true; }
    void fileFailed(qsizetype index, FileFailure kind, const QString &description) override
    {
        if (m_report)
            m_report->fileFailed(index, kind, description);
        m_reportFailure(description);
    }
    void duplicateKeys(qsizetype index, FileDuplicateKeys &&keys) override;

    void setFiles(const FileList *files) { m_files = files; }
    /// The reading report the files are told to, if any.
    void setReport(SearchReport *report) { m_report = report; }
    const DuplicateFinder &finder() const { return m_finder; }

private:
    std::function<void(const QString &)> m_reportFailure;
    const FileList *m_files = nullptr;
    SearchReport *m_report = nullptr;
    DuplicateFinder m_finder;
};

/// Writes the groups as text (a caption line, one card a line, an empty line after each
/// group) or, with json, one JSON object a group. Adds every grouped card to cards when
/// given. Returns false when the output failed.
bool writeDuplicateGroups(const QList<DuplicateGroup> &groups, bool json, Output &out,
                          MatchingCards *cards);
