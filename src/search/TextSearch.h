#pragma once

// The search of one file's text, card by card: the part of FileSearch that parses a text,
// whole or in parts, and hands on its rows and keys. Included by FileSearch.cpp only.

#include "card/CardBytes.h"
#include "card/CardParser.h"
#include "card/CharsetDetection.h"
#include "card/ReadFacts.h"
#include "search/DuplicateKeys.h"
#include "search/FieldMatching.h"
#include "search/FileSearch.h"
#include "search/HeldRows.h"
#include "search/TextMatcher.h"

#include <QList>

#include <algorithm>
#include <atomic>
#include <functional>
#include <numeric>
#include <optional>
#include <vector>

namespace filesearch {

// A part of a file parsed on a thread of its own is at least this large: small enough
// that a block of a large file is parsed in parts at once.
constexpr qsizetype kMinPartBytes = qsizetype(1) << 20;
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
    // With facts asked for, whether a text without a mark, parsed in parts that all came
    // to their end, holds text other than UTF-8 (cardreader::hasNonUtf8Text), each part
    // looked at by its own thread; unknown otherwise.
    mutable std::optional<bool> partsNonUtf8 = std::nullopt;
    // The cards of a block's first part whose rows went on as they were found: when the
    // block's lines end inside a card it is parsed again, in one part, maybe with more
    // bytes, and these cards' rows are not handed on twice.
    mutable qint64 blockCardsHanded = 0;
    // Whether the block was parsed before and did not end outside every card (so also
    // whenever rows of it went on: blockCardsHanded is 0 after a parse that ended).
    mutable bool blockReadAgain = false;

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
        const auto lineOf = [&lines](qsizetype offset) { return lines.placeOf(offset); };
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

    /// False when a part did not end outside every card; nothing is handed on then, but
    /// the rows of a block's first part, which go on as its cards are found.
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
        // A cut stands right after an END:VCARD line, which no UTF-8 character and no run
        // of escapes crosses: the text is other than UTF-8 where one of its parts is.
        const bool lookAtUtf8 = options.facts && text.encoding == CardEncoding::Legacy;
        std::vector<char> nonUtf8(lookAtUtf8 ? count : 0, 0);
        partsNonUtf8.reset();
        // A part's lines are numbered when its rows are handed on, in order.
        const auto noLine = [](qsizetype) { return std::pair(qint64(-1), qint64(-1)); };
        // The first part of a block hands its rows on as its cards are found, as a whole
        // text does, but for the cards the part's end closes, which more bytes may change
        // unless the part ends the file: those are held. So one card of millions of values
        // is not held whole. The first part is parsed on the thread that hands rows on.
        LineCounter streamLines(text);
        const auto streamLineOf
            = [&streamLines](qsizetype offset) { return streamLines.placeOf(offset); };
        QList<ResultRow> streamRows;
        // Only the text's last part may end inside a card: a block that ends the file.
        const bool lastMayBeOpen = !block || lastBlock;
        const auto parsePart = [&](std::size_t k) {
            try {
                const qsizetype from = k == 0 ? 0 : cuts.at(qsizetype(k) - 1);
                const qsizetype to = k + 1 == count ? text.bytes.size() : cuts.at(qsizetype(k));
                bool outside = true; // left so when a cancel stops the parse
                ParseOptions partOptions = options;
                if (options.facts)
                    partOptions.facts = &facts[k];
                // A part that ends inside a card is read again with what follows it.
                partOptions.readCutCards = k + 1 == count && lastMayBeOpen;
                cards[k] = CardParser::parseRange(
                    text, from, to,
                    [&](ContactFields &&card, const CardParser::Identity &identity) {
                        // The one card of lines that hold none has no bytes.
                        if (block && identity.begin == identity.end) {
                            empty[k] = 1;
                            return;
                        }
                        if (block && k == 0 && (identity.settled || (lastBlock && count == 1))) {
                            if (identity.number <= blockCardsHanded) {
                                // Its rows went on in a parse before; its keys did not.
                                QList<ResultRow> handed;
                                cardRows(
                                    card, identity, text.bytes, noLine, handed,
                                    [](QList<ResultRow> &&) {}, keys ? &partKeys[k] : nullptr);
                                return;
                            }
                            cardRows(card, identity, text.bytes, streamLineOf, streamRows, sink,
                                     keys ? &partKeys[k] : nullptr);
                            blockCardsHanded = identity.number;
                            if (streamRows.size() >= kCardsRowBatch)
                                sink(std::exchange(streamRows, {}));
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
                // The first part's rows are its thread's alone.
                if (k == 0 && !streamRows.isEmpty())
                    sink(std::exchange(streamRows, {}));
                endedOutside[k] = outside;
                if (lookAtUtf8 && facts[k].charsetWay == ReadFacts::CharsetWay::None)
                    nonUtf8[k] = cardreader::hasNonUtf8Text(
                        QByteArrayView(text.bytes).sliced(from, to - from));
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
        if (lookAtUtf8 && handed == count && !anyStopped)
            partsNonUtf8 = std::find(nonUtf8.cbegin(), nonUtf8.cend(), 1) != nonUtf8.cend();
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
    /// parses a text, when its lines end outside every card (or it ends the file); false
    /// when they do not, or its parts do not. Then the rows of the cards before may have
    /// gone on already; run again on the block (with more bytes, but for the file's last
    /// block), it hands on the rows of the cards after them. cards is told the number of
    /// its cards.
    bool runBlock(const CardBytes &text, bool last, int threads, const RowSink &sink,
                  const std::atomic<bool> *cancel, const PartRunner &runParts,
                  FileDuplicateKeys *keys, qint64 &cards) const
    {
        // A block read again (rows of it may have gone on) is parsed in one part: parts
        // that do not all end outside every card (cards nested across a cut) have it read
        // again, the file's last block as it is, another with more bytes.
        const int parts = blockReadAgain
            ? 1
            : int(qMin(qsizetype(qMax(threads, 1)), text.bytes.size() / kMinPartBytes));
        const QList<qsizetype> cuts
            = parts > 1 ? CardParser::cutPoints(text.bytes, parts) : QList<qsizetype>();
        const bool ended = runInParts(text, cuts, sink, cancel, runParts, keys, true, last, &cards);
        if (ended)
            blockCardsHanded = 0;
        blockReadAgain = !ended;
        return ended;
    }
};

/// Completes the facts of a file read: its charset, and its problems' lines. A 0-byte
/// file holds no card and nothing else. nonUtf8, when given, tells whether the text is
/// other than UTF-8 (see cardreader::hasNonUtf8Text).
inline void finishFacts(const CardBytes &text, ReadFacts &facts, const bool *nonUtf8 = nullptr)
{
    if (facts.bytes == 0) {
        facts.problems = {};
        facts.cards = 0;
        facts.note(ReadFacts::Problem::NoCard, 0);
        facts.charsetWay = ReadFacts::CharsetWay::Utf8;
    } else {
        decideCharset(text, facts, nonUtf8);
    }
    facts.placeLines(text.bytes);
}

} // namespace filesearch
