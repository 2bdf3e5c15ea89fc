#include "search/FileSearch.h"

#include "card/CardBytes.h"
#include "card/CardFile.h"
#include "card/CardParser.h"
#include "card/ReadFacts.h"
#include "card/Utf8Text.h"
#include "search/DuplicateKeys.h"
#include "search/FieldMatching.h"
#include "search/PhoneMatcher.h"
#include "search/ReadAhead.h" // FileBytes
#include "search/SearchCriteria.h"
#include "search/TextMatcher.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
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

/// Line numbers of the places of one text, and where they stand in its file, asked in
/// increasing order: each asks only about the bytes after the last, so placing every
/// card of a file is one pass.
class LineCounter
{
public:
    explicit LineCounter(const CardBytes &text) : m_file(text), m_text(text.bytes) {}

    /// The 1-based number of the line that starts at offset.
    qint64 lineAt(qsizetype offset)
    {
        if (offset < m_at) {
            m_at = 0;
            m_line = 1;
            m_units = 0;
        }
        const QByteArrayView passed = m_text.sliced(m_at, offset - m_at);
        m_line += CardParser::countLineEnds(passed);
        if (m_file.isUtf16())
            m_units += utf16Length(passed);
        m_at = offset;
        return m_line;
    }

    /// Where the offset last asked stands in the file.
    qint64 fileOffset() const { return m_file.fileOffset(m_at, m_units); }

private:
    const CardBytes &m_file;
    QByteArrayView m_text;
    qsizetype m_at = 0;
    qint64 m_line = 1;
    qint64 m_units = 0; // UTF-16 code units before m_at, for a UTF-16 file
};

/// The rows of one part of a file, held until the parts before it are done. The file
/// is the same for all and the card's line is told when they are handed on; the rest
/// is kept compactly: the tag as a number into a table of field names, with the
/// element's position for a list field's element (or, for another property's tag, the
/// number past the fields and a number into a table of tags), the card and the search
/// text as numbers into tables of their own, and the value's UTF-16 code units. So a part of
/// many matching values holds about as many bytes as its lines, not a string object
/// per cell.
class HeldRows
{
public:
    void add(const QList<ResultRow> &rows)
    {
        for (const ResultRow &row : rows) {
            // Rows come from forEachFieldMatch: a tag names a field or another property.
            const FieldTag tag = fieldOfTag(row.Tag);
            if (tag.field < 0) {
                appendNumber(kOtherProperty);
                appendNumber(idOf(m_tagIds, m_tags, row.Tag));
            } else {
                appendNumber(quint64(tag.field));
                appendNumber(tag.position);
            }
            if (m_cards.isEmpty() || m_cards.constLast().number != row.Card.number)
                m_cards.append(
                    {row.Card.number, row.Card.begin, row.Card.end, row.Card.digest, row.Contact});
            appendNumber(quint64(m_cards.size() - 1));
            appendNumber(idOf(m_textIds, m_texts, row.Text));
            appendNumber(quint64(row.Value.size()));
            m_bytes.append(reinterpret_cast<const char *>(row.Value.utf16()),
                           row.Value.size() * qsizetype(sizeof(char16_t)));
        }
    }

    /// Hands the rows on in batches, as rows of path (whose stamp is stamp) whose cards
    /// are numbered after cardsBefore others, and forgets them. When cancel is set on the
    /// way the rows after the batch in hand are left out, and the result is false.
    bool handOn(const QString &path, quint64 stamp, qint64 cardsBefore, LineCounter &lines,
                const RowSink &sink, const std::atomic<bool> *cancel)
    {
        // The rows come in card order, so each card's place is made once, when its first
        // row is handed on, and the line counter only goes forward.
        qsizetype placed = -1;
        CardPlace place;
        QList<ResultRow> batch;
        const char *p = m_bytes.constData();
        const char *const end = p + m_bytes.size();
        while (p < end) {
            const quint64 field = readNumber(p);
            const quint64 position = readNumber(p);
            const QString &name = field == kOtherProperty ? m_tags.at(qsizetype(position))
                                                          : searchedFieldTag(std::size_t(field));
            const qsizetype cardIndex = qsizetype(readNumber(p));
            const Card &card = m_cards.at(cardIndex);
            if (cardIndex != placed) {
                placed = cardIndex;
                const qint64 line = lines.lineAt(card.begin);
                place = {card.number + cardsBefore, line, card.begin, card.end, stamp, card.digest,
                         lines.fileOffset()};
            }
            const QString &text = m_texts.at(qsizetype(readNumber(p)));
            const auto length = qsizetype(readNumber(p));
            QString value(length, Qt::Uninitialized);
            std::memcpy(value.data(), p, std::size_t(length) * sizeof(char16_t));
            p += length * qsizetype(sizeof(char16_t));
            batch.append(
                {path,
                 position == 0 || field == kOtherProperty ? name : name + QString::number(position),
                 std::move(value), card.contact, text, place});
            if (batch.size() == kRowBatch) {
                sink(std::exchange(batch, {}));
                if (cancel && cancel->load(std::memory_order_relaxed))
                    break;
            }
        }
        if (!batch.isEmpty())
            sink(std::move(batch));
        const bool whole = p == end;
        m_bytes.clear();
        m_cards.clear();
        return whole;
    }

private:
    static constexpr quint64 kOtherProperty = kContactFieldCount;

    // What a card's rows share, without what is the same for the whole file (its stamp)
    // or found when they are handed on (the line and where the card stands in the file):
    // a part may hold a million cards.
    struct Card
    {
        qint64 number;
        qsizetype begin;
        qsizetype end;
        quint64 digest;
        QString contact;
    };

    static quint32 idOf(QHash<QString, quint32> &ids, QStringList &names, const QString &name)
    {
        auto it = ids.constFind(name);
        if (it == ids.cend()) {
            it = ids.insert(name, quint32(names.size()));
            names.append(name);
        }
        return *it;
    }

    void appendNumber(quint64 number)
    {
        while (number >= 0x80) {
            m_bytes.append(char((number & 0x7F) | 0x80));
            number >>= 7;
        }
        m_bytes.append(char(number));
    }

    static quint64 readNumber(const char *&p)
    {
        quint64 number = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = static_cast<unsigned char>(*p++);
            number |= quint64(byte & 0x7F) << shift;
            if (!(byte & 0x80))
                return number;
        }
    }

    QByteArray m_bytes;
    QHash<QString, quint32> m_textIds;
    QStringList m_texts;
    QHash<QString, quint32> m_tagIds;
    QStringList m_tags;
    QList<Card> m_cards;
};

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
    bool runInParts(const CardBytes &text, const QList<qsizetype> &cuts, const RowSink &sink,
                    const std::atomic<bool> *cancel, const PartRunner &runParts,
                    FileDuplicateKeys *keys) const
    {
        const std::size_t count = std::size_t(cuts.size()) + 1;
        std::vector<HeldRows> held(count);
        std::vector<FileDuplicateKeys> partKeys(keys ? count : 0);
        std::vector<qint64> cards(count, 0);
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
                        QList<ResultRow> rows;
                        cardRows(
                            card, identity, text.bytes, noLine, rows,
                            [&](QList<ResultRow> &&full) { held[k].add(full); },
                            keys ? &partKeys[k] : nullptr);
                        held[k].add(rows);
                    },
                    filter, &outside, cancel, partOptions);
                endedOutside[k] = outside;
                // A part that ended just as the cancel came counts as stopped too: its
                // cards stay when it ended outside every card.
                stopped[k] = cancel && cancel->load(std::memory_order_relaxed);
            } catch (...) {
                failures[k] = std::current_exception();
            }
        };
        runParts(count, parsePart);
        for (const std::exception_ptr &failure : failures) {
            if (failure)
                std::rethrow_exception(failure);
        }
        // Parts 0 .. whole - 1 read as they do in the whole text.
        std::size_t whole = 0;
        while (whole < count && !stopped[whole] && (endedOutside[whole] || whole + 1 == count))
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
        return true;
    }

    /// Numbers and places the cards of the parts' keys as in the whole text, and
    /// appends those of the first parts to keys.
    static void placeKeysOfParts(const CardBytes &text, const std::vector<qint64> &cards,
                                 std::size_t parts, std::vector<FileDuplicateKeys> &partKeys,
                                 FileDuplicateKeys &keys)
    {
        LineCounter lines(text);
        qint64 cardsBefore = 0;
        for (std::size_t k = 0; k < parts; ++k) {
            for (FileDuplicateKeys::Card &card : partKeys[k].cards) {
                card.place.number += cardsBefore;
                card.place.line = lines.lineAt(card.place.begin);
                card.place.fileBegin = lines.fileOffset();
            }
            keys.append(std::move(partKeys[k]));
            cardsBefore += cards[k];
        }
    }
};

} // namespace

namespace {

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
    try {
        if (read) {
            text = std::move(read->text);
            stamp = read->stamp;
            if (facts)
                *facts = std::move(read->facts);
            if (read->failure)
                std::rethrow_exception(read->failure);
        } else {
            readFile(file, folder, cancel, -1, text, stamp, facts);
        }
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
