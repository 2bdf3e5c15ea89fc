#pragma once

#include "cli/CommandListener.h"
#include "search/Duplicates.h"

#include <functional>

class MatchingCards;
class Output;

/// The console's listener when duplicates are looked for: the rows of a search text
/// are not printed, the keys of the files' cards are gathered in list order.
class DuplicatesListener final : public CommandListener
{
public:
    DuplicatesListener(std::function<void(const QString &)> reportFailure, SearchReport *report)
        : CommandListener(std::move(reportFailure), report)
    {}

    bool rows(QList<ResultRow> &&) override { return true; }
    void duplicateKeys(qsizetype index, FileDuplicateKeys &&keys) override;

    void setFiles(const FileList *files) { m_files = files; }
    const DuplicateFinder &finder() const { return m_finder; }

private:
    const FileList *m_files = nullptr;
    DuplicateFinder m_finder;
};

/// Writes the groups as text (a caption line, one card a line, an empty line after each
/// group) or, with json, one JSON object a group. Adds every grouped card to cards when
/// given. Returns false when the output failed.
bool writeDuplicateGroups(const DuplicateGroups &groups, bool json, Output &out,
                          MatchingCards *cards);
