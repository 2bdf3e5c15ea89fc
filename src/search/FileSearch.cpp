#include "search/FileSearch.h"

#include "card/CardBytes.h"
#include "card/CardFile.h"
#include "card/CardParser.h"
#include "card/ReadFacts.h"
#include "card/ReadFactsScan.h"
#include "card/Utf8Text.h"
#include "card/CardBlocks.h"
#include "card/CharsetDetection.h"
#include "card/Charsets.h"
#include "search/DuplicateKeys.h"
#include "search/HeldRows.h"
#include "search/FieldMatching.h"
#include "search/PhoneMatcher.h"
#include "search/ReadAhead.h" // FileBytes
#include "search/SearchCriteria.h"
#include "search/TextMatcher.h"
#include "search/TextSearch.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <mutex>
#include <numeric>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

using filesearch::finishFacts;
using filesearch::TextSearch;

struct FileSearch::Prepared
{
    QStringList texts;
    MatchOptions options;
    bool allProperties = false;
    bool everyText = false;
    QStringList searchIn;
    FieldChoice choice;
    std::vector<TextMatcher> matchers;
    std::optional<RawValueFilter> filter;
    // With every text needed, one filter per text: a file that cannot hold one of them
    // gives no row.
    std::vector<RawValueFilter> everyFilters;
    std::optional<DuplicateKeyMaker> keyMaker;

    /// Whether a file is parsed: for its rows, or for the keys of every card when there is
    /// no search text. Chosen values that no card can hold (another property's, when
    /// those are not read) give no row.
    bool parses(const FileDuplicateKeys *keys) const
    {
        return (!matchers.empty() && choice.wantsAny(allProperties))
            || (keys && matchers.empty());
    }
    const RawValueFilter *usableFilter() const
    {
        return filter && filter->isUsable() ? &*filter : nullptr;
    }
};

FileSearch::FileSearch(const SearchCriteria &criteria, int parts, bool missingFails,
                       bool hashFiles)
    : m_parts(qMax(parts, 1)), m_missingFails(missingFails), m_hashFiles(hashFiles)
{
    auto prepared = std::make_unique<Prepared>();
    prepared->texts = criteria.searchTexts();
    prepared->options = criteria.matchOptions();
    prepared->allProperties = criteria.allProperties;
    prepared->searchIn = criteria.searchIn;
    prepared->choice = FieldChoice::fromNames(criteria.searchIn);
    for (const QString &text : std::as_const(prepared->texts))
        prepared->matchers.emplace_back(text, prepared->options);
    if (!prepared->matchers.empty())
        prepared->filter.emplace(prepared->texts, prepared->options);
    prepared->everyText = criteria.needsEveryText();
    if (prepared->everyText) {
        for (const QString &text : std::as_const(prepared->texts))
            prepared->everyFilters.emplace_back(QStringList{text}, prepared->options);
    }
    if (criteria.duplicates)
        prepared->keyMaker.emplace(criteria.region.isEmpty() ? PhoneMatcher::systemRegion()
                                                             : criteria.region);
    m_prepared = std::move(prepared);
}

FileSearch::~FileSearch() = default;

bool FileSearch::searchesAs(const SearchCriteria &criteria) const
{
    return criteria.allProperties == m_prepared->allProperties
        && criteria.needsEveryText() == m_prepared->everyText
        && criteria.matchOptions() == m_prepared->options
        && criteria.searchIn == m_prepared->searchIn
        && criteria.searchTexts() == m_prepared->texts
        && criteria.duplicates == m_prepared->keyMaker.has_value();
}

FileSearch::Failures FileSearch::run(const FileRef &file, FolderHandle &folder, const RowSink &rows,
                                     const std::atomic<bool> *cancel, const PartRunner &runParts,
                                     Progress *progress, FileDuplicateKeys *keys,
                                     ReadFacts *facts, FileBytes *read) const
{
    Failures failures;
    CardBytes text;
    quint64 stamp = 0;
    std::optional<CardFile> opened;
    try {
        if (read) {
            text = std::move(read->text);
            stamp = read->stamp;
            if (facts)
                *facts = std::move(read->facts);
            if (read->failure)
                std::rethrow_exception(read->failure);
        } else if (!readFile(file, folder, cancel, cardBlockBytes(), opened, text, stamp, facts)) {
            // A file larger than a block is read a block at a time.
            bool wholeAfterAll = false;
            Failures inBlocks = runInBlocks(*opened, file, rows, cancel, runParts, progress, keys,
                                            facts, wholeAfterAll);
            if (!wholeAfterAll)
                return inBlocks;
            if (progress)
                progress->done.store(0, std::memory_order_relaxed);
            readWhole(*opened, cancel, text, facts);
        }
        opened.reset();
    } catch (...) {
        failures.readFailure = std::current_exception();
        if (facts)
            facts->notRead = notReadReason(file.fullPath());
        return failures;
    }
    // The facts of a file that is not parsed come from a look at its lines; those of one
    // that is, from its parse.
    const bool readIt = facts && facts->notRead == ReadFacts::NotRead::No;
    const Prepared &prepared = *m_prepared;
    // A file the filter rules out has its facts gathered on the filter's one pass.
    std::optional<CardFactsGatherer> gather;
    const RawValueFilter *filter = prepared.usableFilter();
    if (readIt && filter && !prepared.everyText)
        gather.emplace(text.bytes);
    const auto scanned = [&](bool gathered = false) {
        if (readIt && gathered) {
            gather->cardFacts(text, *facts);
            const bool nonUtf8 = gather->hasNonUtf8Text();
            finishFacts(text, *facts, &nonUtf8);
        } else if (readIt) {
            scanCardFacts(text, *facts);
            finishFacts(text, *facts);
        }
        return failures;
    };
    if (!prepared.keyMaker)
        keys = nullptr;
    // Keys are gathered from every card when there is no search text, else from the cards
    // with a row.
    if (!prepared.parses(keys))
        return scanned();
    if (progress)
        progress->total.store(text.bytes.size(), std::memory_order_relaxed);
    // A file that cannot hold a search text (or, when every text is needed, one of them)
    // need not be parsed, nor its path made.
    try {
        std::atomic<qint64> *judged = progress ? &progress->done : nullptr;
        if (prepared.everyText) {
            for (const RawValueFilter &one : prepared.everyFilters) {
                if (!one.fileMayContain(text.bytes, cancel, std::exchange(judged, nullptr)))
                    return scanned();
            }
        } else if (filter
                   && !filter->fileMayContain(text.bytes, cancel, judged,
                                              gather ? &*gather : nullptr)) {
            return scanned(gather.has_value());
        }
    } catch (...) {
        failures.searchFailure = std::current_exception();
        return failures;
    }
    const QString path = file.fullPath();
    // The other properties are read only when some of them are searched.
    ParseOptions options{prepared.allProperties && prepared.choice.wantsOthers()};
    if (progress) {
        progress->total.store(progress->done.load(std::memory_order_relaxed) + text.bytes.size(),
                              std::memory_order_relaxed);
        options.parsedBytes = &progress->done;
    }
    if (readIt)
        options.facts = facts;
    try {
        // Files and values that cannot hold a search text need not be parsed or decoded.
        // Keys need every value of a card that takes part: the filter then judges the
        // file alone.
        const TextSearch search{prepared.matchers,
                                prepared.everyText,
                                prepared.choice,
                                keys ? nullptr : filter,
                                keys ? &*prepared.keyMaker : nullptr,
                                path,
                                options,
                                stamp,
                                2 * text.bytes.size() + kCardDigestBytes};
        search.run(text, m_parts, rows, cancel, runParts, keys);
        if (readIt)
            finishFacts(text, *facts, search.partsNonUtf8 ? &*search.partsNonUtf8 : nullptr);
    } catch (...) {
        failures.searchFailure = std::current_exception();
    }
    return failures;
}

FileSearch::Failures FileSearch::runInBlocks(CardFile &opened, const FileRef &file,
                                             const RowSink &rows, const std::atomic<bool> *cancel,
                                             const PartRunner &runParts, Progress *progress,
                                             FileDuplicateKeys *keys, ReadFacts *facts,
                                             bool &readWholeInstead) const
{
    Failures failures;
    const Prepared &prepared = *m_prepared;
    if (!prepared.keyMaker)
        keys = nullptr;
    const ReadFacts factsBefore = facts ? *facts : ReadFacts();
    // As run decides for a file read whole, block by block.
    const bool parses = prepared.parses(keys);
    const RawValueFilter *filter = prepared.usableFilter();
    const qint64 size = opened.size();
    if (facts) {
        facts->notRead = ReadFacts::NotRead::No;
        facts->bytes = size;
    }
    // Each block is judged by the filter, then parsed or passed over.
    if (progress)
        progress->total.store(2 * size, std::memory_order_relaxed);
    // The whole file's charset for text without one is decided over a second read, once,
    // when a parse first reads such text.
    std::once_flag legacyOnce;
    cardreader::LegacyCharset legacy;
    const cardreader::LegacyCharsetSource legacySource = [&] {
        std::call_once(legacyOnce, [&] { legacy = scanLegacyCharset(opened, cancel); });
        return legacy;
    };
    const QString path = file.fullPath();
    ParseOptions options{prepared.allProperties && prepared.choice.wantsOthers()};
    options.legacyCharset = &legacySource;
    if (progress)
        options.parsedBytes = &progress->done;
    TextSearch search{prepared.matchers,
                      prepared.everyText,
                      prepared.choice,
                      keys ? nullptr : filter,
                      keys ? &*prepared.keyMaker : nullptr,
                      path,
                      options,
                      opened.stamp(),
                      0};
    CardBlockReader reader(opened, cardBlockBytes(), cancel,
                           facts && m_hashFiles ? &facts->sha256 : nullptr);
    CardBlock block;
    // Cards a block passes over are counted (with their facts, for a report) for the
    // numbers of those after it, where a file read whole counts them once, or not at all.
    // Where the count is not the quick one (cards nested, glued or never ended, or several
    // texts needed), or a block would grow (no END line within a block's size), a file
    // that may be held whole is read whole instead, while no block has been parsed, so
    // that nothing was handed out.
    bool mayReadWhole = size <= cardWholeFileBytes();
    reader.stopWhereBlocksGrow(mayReadWhole);
    const auto wholeAfterAll = [&] {
        readWholeInstead = true;
        if (facts)
            *facts = factsBefore;
        return failures;
    };
    qint64 cardsBefore = 0;
    qint64 linesBefore = 0;
    bool nonUtf8 = false;
    const auto place = [&](CardPlace &card) {
        card.number += cardsBefore;
        card.line += linesBefore;
        card.begin += block.begin;
        card.end += block.begin;
    };
    const RowSink blockRows = [&](QList<ResultRow> &&found) {
        for (ResultRow &row : found)
            place(row.Card);
        rows(std::move(found));
    };
    const auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };
    // A block whose lines, or parts, end inside a card is read again with the next one.
    const auto readAgain = [&](qint64 doneBefore) {
        if (progress)
            progress->done.store(doneBefore, std::memory_order_relaxed);
        reader.extend(std::move(block));
    };
    for (bool first = true;; first = false) {
        try {
            if (!reader.next(block)) {
                if (reader.wouldGrow())
                    return wholeAfterAll();
                break;
            }
        } catch (...) {
            failures.readFailure = std::current_exception();
            if (facts)
                facts->notRead = reader.refusedTooLarge() ? ReadFacts::NotRead::TooLarge
                                                          : notReadReason(path);
            return failures;
        }
        const CardBytes &text = block.text;
        if (first) {
            // The budget a file read whole has: twice its text.
            const qint64 textBytes = text.isUnicode() && text.encoding != CardEncoding::Utf8Bom
                ? size
                : size - reader.markBytes();
            search.digestBudget.store(2 * textBytes + kCardDigestBytes, std::memory_order_relaxed);
        }
        const qint64 doneBefore = progress ? progress->done.load(std::memory_order_relaxed) : 0;
        // A block the filter rules out has its cards and charset gathered on its pass.
        std::optional<CardFactsGatherer> gather;
        bool gathered = false;
        if (parses && filter && !prepared.everyText)
            gather.emplace(text.bytes, facts != nullptr);
        // known: the answer of the threads that parsed the block in parts, when they gave one.
        const auto noteNonUtf8 = [&](const std::optional<bool> &known = std::nullopt) {
            if (facts && !nonUtf8 && text.encoding == CardEncoding::Legacy)
                nonUtf8 = known ? *known
                    : gathered  ? gather->hasNonUtf8Text()
                                : cardreader::hasNonUtf8Text(text.bytes);
        };
        ReadFacts blockFacts;
        qint64 cards = 0;
        try {
            bool mayHold = parses;
            std::atomic<qint64> *judged = progress ? &progress->done : nullptr;
            if (mayHold && prepared.everyText) {
                for (const RawValueFilter &one : prepared.everyFilters)
                    mayHold = mayHold
                        && one.fileMayContain(text.bytes, cancel, std::exchange(judged, nullptr));
            } else if (mayHold && filter) {
                mayHold = filter->fileMayContain(text.bytes, cancel, judged,
                                                 gather ? &*gather : nullptr);
                gathered = gather && !mayHold;
            }
            // A block that is parsed is looked at by the threads of its parts.
            if (!mayHold)
                noteNonUtf8();
            if (cancelled())
                return failures;
            if (!mayHold && mayReadWhole && (parses || facts)
                && !(gathered && gather->countsPlainly()))
                return wholeAfterAll();
            if (!mayHold) {
                // Passed over, but its cards counted, for the numbers of those after it.
                const bool outside = gathered
                    ? gather->cardFacts(text, blockFacts, &legacySource)
                    : !(parses || facts) || scanCardFacts(text, blockFacts, &legacySource);
                if (!outside && !block.last) {
                    readAgain(doneBefore);
                    continue;
                }
                cards = blockFacts.cards;
            } else {
                mayReadWhole = false;
                reader.stopWhereBlocksGrow(false);
                search.options.facts = facts ? &blockFacts : nullptr;
                FileDuplicateKeys blockKeys;
                if (!search.runBlock(text, block.last, m_parts, blockRows, cancel, runParts,
                                     keys ? &blockKeys : nullptr, cards)) {
                    readAgain(doneBefore);
                    continue;
                }
                noteNonUtf8(search.partsNonUtf8);
                if (keys) {
                    for (FileDuplicateKeys::Card &card : blockKeys.cards)
                        place(card.place);
                    keys->append(std::move(blockKeys));
                }
            }
        } catch (...) {
            failures.searchFailure = std::current_exception();
            return failures;
        }
        if (cancelled())
            return failures;
        if (facts) {
            blockFacts.placeLines(text.bytes);
            for (ReadFacts::Tally &tally : blockFacts.problems) {
                if (tally.count > 0 && tally.first >= 0)
                    tally.first += linesBefore;
            }
            facts->addLater(blockFacts);
        }
        cardsBefore += cards;
        linesBefore += CardParser::countLineEnds(text.bytes);
        if (progress)
            progress->done.store(doneBefore + 2 * text.bytes.size(), std::memory_order_relaxed);
    }
    if (cancelled())
        return failures;
    if (progress)
        progress->done.store(progress->total.load(std::memory_order_relaxed),
                             std::memory_order_relaxed);
    if (facts) {
        facts->changedWhileRead = reader.bytesRead() != size;
        // A file without a card tells so once, at its first line, as one read whole does.
        if (facts->cards == 0)
            facts->problems[std::size_t(ReadFacts::Problem::NoCard)] = {1, 1};
        if (facts->charsetWay == ReadFacts::CharsetWay::None && nonUtf8) {
            const cardreader::LegacyCharset decided = legacySource();
            facts->charsetWay = decided.way;
            facts->charset = decided.charset;
            facts->detector = decided.detector;
        }
        decideCharset(CardBytes{{}, reader.encoding(), reader.markBytes()}, *facts);
    }
    return failures;
}
