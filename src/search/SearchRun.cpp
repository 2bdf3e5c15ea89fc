#include "search/SearchRun.h"

#include "app/ErrorReport.h"
#include "card/CardParser.h"
#include "filelist/PathRules.h"
#include "search/FieldMatching.h"
#include "search/TextMatcher.h"

#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

QStringList SearchCriteria::searchTexts() const
{
    switch (mode) {
    case Mode::This:
        return {text};
    case Mode::Multiple:
        return sets;
    case Mode::None:
        break;
    }
    return {};
}

SearchRun::SearchRun(QStringList files) : m_files(std::move(files)) {}

bool SearchRun::run(SearchHost &host, Guard &guard)
{
    m_running = true;
    const qsizetype count = m_files.size();
    QStringList preparedTexts;
    bool preparedIgnoreCase = false;
    std::vector<TextMatcher> matchers;
    std::optional<RawValueFilter> filter;
    for (qsizetype i = 0; i < count; ++i) {
        if (m_stopRequested)
            break;
        const QString &path = m_files.at(i);
        guard.step(134, [&] {
            host.showProgress(double(i + 1) / double(count) * 100.0,
                              u"Processing: "_s + GetFileNameFromPath(path));
        });
        guard.step(138, [&] { host.processEvents(); });
        guard.step(140, [&] { host.markBusy(); });
        // The cards are read one by one as the file is parsed: a file of many cards
        // is never held as records all at once.
        CardBytes text;
        if (!guard.step(142, [&] { text = host.readFile(path); }))
            continue;
        QList<ResultRow> rows;
        guard.step(144, [&] {
            const SearchCriteria criteria = host.currentCriteria();
            QStringList texts = criteria.searchTexts();
            // The criteria rarely change during a run: the matchers are made again only
            // when they do.
            if (!filter || texts != preparedTexts || criteria.ignoreCase != preparedIgnoreCase) {
                matchers.clear();
                for (const QString &searchText : std::as_const(texts))
                    matchers.emplace_back(searchText, criteria.ignoreCase);
                filter.emplace(texts, criteria.ignoreCase);
                preparedTexts = std::move(texts);
                preparedIgnoreCase = criteria.ignoreCase;
            }
            if (matchers.empty())
                return;
            // A file that cannot hold a search text need not be parsed, and values
            // that cannot hold one need not be decoded.
            if (filter->isUsable() && !filter->fileMayContain(text.bytes))
                return;
            CardParser::parse(
                text,
                [&](ContactFields &&card) {
                    for (const TextMatcher &matcher : matchers)
                        AddFieldMatches(card, path, matcher, rows);
                },
                filter->isUsable() ? &*filter : nullptr);
        });
        if (!rows.isEmpty())
            guard.step(146, [&] { host.addRows(std::move(rows)); });
    }
    m_running = false;
    return !m_stopRequested;
}
