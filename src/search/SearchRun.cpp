#include "search/SearchRun.h"

#include "app/ErrorReport.h"
#include "card/CardParser.h"
#include "filelist/PathRules.h"
#include "search/FieldMatching.h"
#include "search/TextMatcher.h"

#include <exception>
#include <optional>
#include <system_error>
#include <thread>
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

namespace {

// A part of a file parsed on a thread of its own is at least this large.
constexpr qsizetype kMinPartBytes = qsizetype(4) << 20;

/// Appends the rows of every card of the text, in card order. A large text is parsed
/// in parts at once when threads allow, each part cut right after a card's END line;
/// when a part does not end outside every card (cards nested across the cut), the
/// text is parsed again whole.
void addCardRows(const CardBytes &text, const QString &path,
                 const std::vector<TextMatcher> &matchers, const RawValueFilter *filter,
                 int threads, QList<ResultRow> &rows)
{
    const auto sinkInto = [&](QList<ResultRow> &into) {
        return [&matchers, &path, &into](ContactFields &&card) {
            for (const TextMatcher &matcher : matchers)
                AddFieldMatches(card, path, matcher, into);
        };
    };
    const qsizetype size = text.bytes.size();
    const int parts = int(qMin(qsizetype(qMax(threads, 1)), size / kMinPartBytes));
    const QList<qsizetype> cuts = parts > 1 ? CardParser::cutPoints(text.bytes, parts)
                                            : QList<qsizetype>();
    if (cuts.isEmpty()) {
        CardParser::parse(text, sinkInto(rows), filter);
        return;
    }
    const std::size_t count = std::size_t(cuts.size()) + 1;
    std::vector<QList<ResultRow>> partRows(count);
    std::vector<char> endedOutside(count, 0);
    std::vector<std::exception_ptr> failures(count);
    const auto parsePart = [&](std::size_t k) {
        try {
            const qsizetype from = k == 0 ? 0 : cuts.at(qsizetype(k) - 1);
            const qsizetype to = k + 1 == count ? size : cuts.at(qsizetype(k));
            bool outside = false;
            CardParser::parseRange(text, from, to, sinkInto(partRows[k]), filter, &outside);
            endedOutside[k] = outside;
        } catch (...) {
            failures[k] = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> workers;
        for (std::size_t k = 1; k < count; ++k) {
            try {
                workers.emplace_back(parsePart, k);
            } catch (const std::system_error &) {
                parsePart(k); // no thread to be had: this one parses the part
            }
        }
        parsePart(0);
    }
    for (const std::exception_ptr &failure : failures) {
        if (failure)
            std::rethrow_exception(failure);
    }
    for (std::size_t k = 0; k + 1 < count; ++k) {
        if (!endedOutside[k]) {
            CardParser::parse(text, sinkInto(rows), filter);
            return;
        }
    }
    for (QList<ResultRow> &part : partRows)
        rows.append(std::move(part));
}

} // namespace

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
            addCardRows(text, path, matchers, filter->isUsable() ? &*filter : nullptr,
                        host.parseThreads(), rows);
        });
        if (!rows.isEmpty())
            guard.step(146, [&] { host.addRows(std::move(rows)); });
    }
    m_running = false;
    return !m_stopRequested;
}
