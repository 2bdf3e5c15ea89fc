#include "search/FileSearch.h"

#include "card/CardBytes.h"
#include "card/CardFile.h"
#include "card/CardParser.h"
#include "card/ReadFacts.h"
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

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <mutex>
#include <numeric>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace {

// A part of a file parsed on a thread of its own is at least this large.
constexpr qsizetype kMinPartBytes = qsizetype(4) << 20;
constexpr qsizetype kRowBatch = FileSearch::kRowBatch;
// The rows of small cards are handed on once this many have gathered.
constexpr qsizetype kCardsRowBatch = 256;

using RowSink = FileSearch::RowSink;
using PartRunner = FileSearch::PartRunner;

/// The search of one file's text, card by card, with the criteria of the moment.
struct TextSearch
{
    const std::vector<TextMatcher> &matchers;
    // A card gives rows only when every matcher finds a value in it.
    bool everyText;
    const FieldChoice &choice; // the values searched
    const RawValueFilter *filter; // null when the texts are of a kind it cannot judge
    const DuplicateKeyMaker *keyMaker; // null unless the cards' keys are gathered
    const QString &path;
    ParseOptions options;
    quint64 stamp = 0; // the file's, as read
    // The bytes the cards' digests may still go over. Cards side by side cover the text
    // once; cards nested without end would cover it once per card, so past this the
    // rows carry no digest, and the pane trusts the file's stamp alone for them.
    mutable std::atomic<qint64> digestBudget = 0;

    /// Gathers the rows of one card into rows, and hands rows to sink whenever it holds a
    /// batch: a card of a million matching values is not held as a million rows at once.
    /// lineOf tells the line of the card's first byte and where it stands in the file;
    /// they and the card's digest are found only for a card with rows, and once.
    /// With keys, the card's duplicate keys go there too when it takes part: every card
    /// when there is no search text, else each card with a row.
    template<typename LineOf, typename Sink>
    void cardRows(const ContactFields &card, const CardParser::Identity &identity,
                  QByteArrayView text, LineOf &&lineOf, QList<ResultRow> &rows, Sink &&sink,
                  FileDuplicateKeys *keys = nullptr) const
    {
        if (everyText
            && !std::all_of(matchers.cbegin(), matchers.cend(),
                            [&](const TextMatcher &m) { return holdsFieldMatch(card, m, choice); }))
            return;
        CardPlace place;
        bool placed = false;
        const auto placeCard = [&] {
            const auto [line, fileBegin] = lineOf(identity.begin);
            const QByteArrayView bytes = text.sliced(identity.begin, identity.end - identity.begin);
            const qint64 digested = qMin(bytes.size(), kCardDigestBytes);
            const bool digest
                = digestBudget.fetch_sub(digested, std::memory_order_relaxed) >= digested;
            place = {identity.number, line,  identity.begin,
                     identity.end,    stamp, digest ? cardDigest(bytes) : 0,
                     fileBegin};
        };
        for (const TextMatcher &matcher : matchers) {
            forEachFieldMatch(card, matcher, [&](const QString &tag, QString value) {
                if (!std::exchange(placed, true))
                    placeCard();
                rows.append({path, tag, std::move(value), identity.contact, matcher.text(), place});
                if (rows.size() == kRowBatch)
                    sink(std::exchange(rows, {}));
            }, choice);
        }
        if (keys && keyMaker && (placed || matchers.empty())) {
            if (!placed)
                placeCard();
            keyMaker->addCard(card, place, identity.contact, *keys);
        }
    }

    /// Hands the rows of every card of the text to sink as they are found, in card
    /// order. A large text is parsed in parts at once when threads allow, each part cut
    /// right after a card's END line; the parts' rows are held until the parts before
    /// them are done, and when a part does not end outside every card (cards nested
    /// across the cut) the text is parsed again whole. The caller has ruled out a text
    /// that cannot hold a search text.
    void run(const CardBytes &text, int threads, const RowSink &sink,
             const std::atomic<bool> *cancel, const PartRunner &runParts,
             FileDuplicateKeys *keys) const
    {
        const qsizetype size = text.bytes.size();
        const int parts = int(qMin(qsizetype(qMax(threads, 1)), size / kMinPartBytes));
        const QList<qsizetype> cuts
            = parts > 1 ? CardParser::cutPoints(text.bytes, parts) : QList<qsizetype>();
        const qint64 toldBefore
            = options.parsedBytes ? options.parsedBytes->load(std::memory_order_relaxed) : 0;
        if (cuts.isEmpty() || !runInParts(text, cuts, sink, cancel, runParts, keys)) {
            // A text parsed in parts and then whole is told from its start again.
            if (!cuts.isEmpty() && options.parsedBytes)
                options.parsedBytes->store(toldBefore, std::memory_order_relaxed);
            runWhole(text, sink, cancel, keys);
        }
    }

    void runWhole(const CardBytes &text, const RowSink &sink, const std::atomic<bool> *cancel,
                  FileDuplicateKeys *keys) const
    {
        // Rows go on in batches that the cards fill, so that a file of many cards with a
        // row or two each is not handed on card by card.
        QList<ResultRow> rows;
        LineCounter lines(text);
        const auto lineOf = [&lines](qsizetype offset) {
            const qint64 line = lines.lineAt(offset);
            return std::pair(line, lines.fileOffset());
        };
        CardParser::parse(
            text,
            [&](ContactFields &&card, const CardParser::Identity &identity) {
                cardRows(card, identity, text.bytes, lineOf, rows, sink, keys);
                if (rows.size() >= kCardsRowBatch)
                    sink(std::exchange(rows, {}));
            },
            filter, cancel, options);
        if (!rows.isEmpty())
            sink(std::move(rows));
    }

    /// False when a part did not end outside every card; nothing is handed on then.
    /// When the search is cancelled, the rows of the longest run of parts from the
    /// text's start that can be handed on are: those of the parts parsed to their end
    /// outside every card, and of the cards the next part had handed out when it stopped.
    /// A block of a larger file (block) ends outside every card too, but for the file's
    /// last block, and its parts' empty card of lines that hold none is not counted in
    /// cardCount: the file's cards are counted over its blocks.
    bool runInParts(const CardBytes &text, const QList<qsizetype> &cuts, const RowSink &sink,
                    const std::atomic<bool> *cancel, const PartRunner &runParts,
                    FileDuplicateKeys *keys, bool block = false, bool lastBlock = false,
                    qint64 *cardCount = nullptr) const
    {
        const std::size_t count = std::size_t(cuts.size()) + 1;
        std::vector<HeldRows> held(count);
        std::vector<FileDuplicateKeys> partKeys(keys ? count : 0);
        std::vector<qint64> cards(count, 0);
        std::vector<char> empty(count, 0);
        std::vector<char> endedOutside(count, 0);
        std::vector<char> stopped(count, 0);
        std::vector<std::exception_ptr> failures(count);
        std::vector<ReadFacts> facts(options.facts ? count : 0);
        // A part's lines are numbered when its rows are handed on, in order.
        const auto noLine = [](qsizetype) { return std::pair(qint64(-1), qint64(-1)); };
        const auto parsePart = [&](std::size_t k) {
            try {
                const qsizetype from = k == 0 ? 0 : cuts.at(qsizetype(k) - 1);
                const qsizetype to = k + 1 == count ? text.bytes.size() : cuts.at(qsizetype(k));
                bool outside = true; // left so when a cancel stops the parse
                ParseOptions partOptions = options;
                if (options.facts)
                    partOptions.facts = &facts[k];
                cards[k] = CardParser::parseRange(
                    text, from, to,
                    [&](ContactFields &&card, const CardParser::Identity &identity) {
                        // The one card of lines that hold none has no bytes.
                        if (block && identity.begin == identity.end) {
                            empty[k] = 1;
                            return;
                        }
                        QList<ResultRow> rows;
                        cardRows(
                            card, identity, text.bytes, noLine, rows,
                            [&](QList<ResultRow> &&full) { held[k].add(full); },
                            keys ? &partKeys[k] : nullptr);
                        held[k].add(rows);
                    },
                    filter, &outside, cancel, partOptions);
                cards[k] -= empty[k];
                endedOutside[k] = outside;
                // A part that ended just as the cancel came counts as stopped too: its
                // cards stay when it ended outside every card.
                stopped[k] = cancel && cancel->load(std::memory_order_relaxed);
            } catch (...) {
                failures[k] = std::current_exception();
            }
        };
        if (count == 1 || !runParts)
            for (std::size_t k = 0; k < count; ++k)
                parsePart(k);
        else
            runParts(count, parsePart);
        for (const std::exception_ptr &failure : failures) {
            if (failure)
                std::rethrow_exception(failure);
        }
        // Parts 0 .. whole - 1 read as they do in the whole text.
        std::size_t whole = 0;
        const bool lastMayBeOpen = !block || lastBlock;
        while (whole < count && !stopped[whole]
               && (endedOutside[whole] || (whole + 1 == count && lastMayBeOpen)))
            ++whole;
        std::size_t handed = whole;
        const bool anyStopped = std::find(stopped.cbegin(), stopped.cend(), 1) != stopped.cend();
        if (anyStopped) {
            // The cards a stopped part handed out follow on from the parts before it.
            if (whole < count && stopped[whole] && endedOutside[whole])
                ++handed;
        } else if (whole < count) {
            return false;
        }
        for (std::size_t k = 0; k < handed && options.facts; ++k)
            options.facts->addLater(facts[k]);
        // After a stop the rows of the parts done are all handed on; a stop that comes
        // while they are handed on ends it at a batch, as it ends a parse at a line.
        LineCounter lines(text);
        qint64 cardsBefore = 0;
        for (std::size_t k = 0; k < handed; ++k) {
            if (!held[k].handOn(path, stamp, cardsBefore, lines, sink,
                                anyStopped ? nullptr : cancel))
                break;
            cardsBefore += cards[k];
        }
        if (keys)
            placeKeysOfParts(text, cards, handed, partKeys, *keys);
        if (cardCount)
            *cardCount = std::accumulate(cards.cbegin(), cards.cbegin() + qsizetype(handed),
                                         qint64(0));
        return true;
    }

    /// Hands the rows of every card of a block of a larger file to sink, parsed as run
    /// parses a text, when its lines end outside every card (or it ends the file); false,
    /// with nothing handed on, when they do not. cards is told the number of its cards.
    bool runBlock(const CardBytes &text, bool last, int threads, const RowSink &sink,
                  const std::atomic<bool> *cancel, const PartRunner &runParts,
                  FileDuplicateKeys *keys, qint64 &cards) const
    {
        const int parts = int(qMin(qsizetype(qMax(threads, 1)), text.bytes.size() / kMinPartBytes));
        const QList<qsizetype> cuts
            = parts > 1 ? CardParser::cutPoints(text.bytes, parts) : QList<qsizetype>();
        const qint64 toldBefore
            = options.parsedBytes ? options.parsedBytes->load(std::memory_order_relaxed) : 0;
        if (runInParts(text, cuts, sink, cancel, runParts, keys, true, last, &cards))
            return true;
        if (cuts.isEmpty())
            return false;
        // Cards nested across a cut: the block is parsed again in one part.
        if (options.parsedBytes)
            options.parsedBytes->store(toldBefore, std::memory_order_relaxed);
        return runInParts(text, {}, sink, cancel, runParts, keys, true, last, &cards);
    }
};

/// Completes the facts of a file read: its charset, and its problems' lines. A 0-byte
/// file holds no card and nothing else.
void finishFacts(const CardBytes &text, ReadFacts &facts)
{
    if (facts.bytes == 0) {
        facts.problems = {};
        facts.cards = 0;
        facts.note(ReadFacts::Problem::NoCard, 0);
        facts.charsetWay = ReadFacts::CharsetWay::Utf8;
    } else {
        decideCharset(text, facts);
    }
    facts.placeLines(text.bytes);
}

} // namespace

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
        } else if (!readFile(file, folder, cancel, cardWholeFileBytes(), opened, text, stamp,
                             facts)) {
            // A large file is never held whole.
            return runInBlocks(*opened, file, rows, cancel, runParts, progress, keys, facts);
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
    const auto scanned = [&] {
        if (readIt) {
            scanCardFacts(text, *facts);
            finishFacts(text, *facts);
        }
        return failures;
    };
    const Prepared &prepared = *m_prepared;
    if (!prepared.keyMaker)
        keys = nullptr;
    // Chosen values that no card can hold (another property's, when those are not read)
    // give no row. Keys are gathered from every card when there is no search text, else
    // from the cards with a row.
    const bool noRows
        = prepared.matchers.empty() || !prepared.choice.wantsAny(prepared.allProperties);
    if (noRows && !(keys && prepared.matchers.empty()))
        return scanned();
    const RawValueFilter *filter
        = prepared.filter && prepared.filter->isUsable() ? &*prepared.filter : nullptr;
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
        } else if (filter && !filter->fileMayContain(text.bytes, cancel, judged)) {
            return scanned();
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
            finishFacts(text, *facts);
    } catch (...) {
        failures.searchFailure = std::current_exception();
    }
    return failures;
}

FileSearch::Failures FileSearch::runInBlocks(CardFile &opened, const FileRef &file,
                                             const RowSink &rows, const std::atomic<bool> *cancel,
                                             const PartRunner &runParts, Progress *progress,
                                             FileDuplicateKeys *keys, ReadFacts *facts) const
{
    Failures failures;
    const Prepared &prepared = *m_prepared;
    if (!prepared.keyMaker)
        keys = nullptr;
    // As run decides for a file read whole, block by block.
    const bool noRows
        = prepared.matchers.empty() || !prepared.choice.wantsAny(prepared.allProperties);
    const bool parses = !noRows || (keys && prepared.matchers.empty());
    const RawValueFilter *filter
        = prepared.filter && prepared.filter->isUsable() ? &*prepared.filter : nullptr;
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
    // A block whose lines end inside a card is read again with the next one.
    const auto readAgain = [&](qint64 doneBefore) {
        if (progress)
            progress->done.store(doneBefore, std::memory_order_relaxed);
        reader.extend(std::move(block));
    };
    for (bool first = true;; first = false) {
        try {
            if (!reader.next(block))
                break;
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
        if (facts && !nonUtf8 && text.encoding == CardEncoding::Legacy)
            nonUtf8 = cardreader::hasNonUtf8Text(text.bytes);
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
                mayHold = filter->fileMayContain(text.bytes, cancel, judged);
            }
            if (cancelled())
                return failures;
            if (!mayHold) {
                // Passed over, but its cards counted, for the numbers of those after it.
                if ((parses || facts) && !scanCardFacts(text, blockFacts, &legacySource)
                    && !block.last) {
                    readAgain(doneBefore);
                    continue;
                }
                cards = blockFacts.cards;
            } else {
                search.options.facts = facts ? &blockFacts : nullptr;
                FileDuplicateKeys blockKeys;
                if (!search.runBlock(text, block.last, m_parts, blockRows, cancel, runParts,
                                     keys ? &blockKeys : nullptr, cards)) {
                    readAgain(doneBefore);
                    continue;
                }
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
