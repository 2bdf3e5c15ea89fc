#include "card/CardParser.h"

#include "card/AsciiText.h"
#include "card/CardBytes.h"
#include "card/CardFile.h"
#include "card/CardShapes.h"
#include "card/CardSkipping.h"
#include "card/Charsets.h"
#include "card/FieldRules.h"
#include "card/LogicalLines.h"
#include "card/PropertyLine.h"
#include "card/ReadFacts.h"
#include "card/UnheldTexts.h"
#include "card/Utf8Text.h"
#include "card/ValueDecoding.h"

#include <cstring>
#include <deque>
#include <optional>
#include <stdexcept>
#include <utility>

using namespace cardreader;

namespace {

/// Follows the card boundaries of one file and hands finished cards out in the
/// order of their BEGIN lines.
///
/// Only the first card not yet handed out (the front) is held as fields. A card nested
/// in it has to wait until the front is handed out; its lines are kept meanwhile as
/// places in the file (a line joined from several as its bytes) and read into fields
/// when its turn comes. So cards that never end, or nest without end, cost a few bytes
/// for each of their lines, not a record each.
class CardCollector
{
public:
    /// Reads the lines up to end; the charset rules look at the whole file.
    CardCollector(const CardBytes &text, qsizetype end, const CardParser::PlacedSink &sink,
                  const CardParser::ValueFilter *filter, ParseOptions options)
        : m_data(QByteArrayView(text.bytes).first(end)),
          m_charsets(text.bytes, text.isUnicode(), options.legacyCharset), m_sink(sink),
          m_filter(filter), m_unicode(text.isUnicode()), m_otherProperties(options.otherProperties),
          m_facts(options.facts), m_readCutCards(options.readCutCards)
    {
        if (filter)
            m_skipper.emplace(m_data, *filter);
        // A file's prepared text is at most one and a half times its bytes.
        static_assert(kMaxHeldFileBytes / 2 * 3 < qint64(kNone));
        if (m_data.size() >= qsizetype(kNone))
            throw std::length_error("card text of 4 GiB or more");
    }

    /// True when no card is open and no line outside every card is held.
    bool isOutsideEveryCard() const
    {
        return m_open.empty() && !m_outside && m_outsideOthers.isEmpty();
    }

    /// Takes one logical line: start is where it starts in the file's bytes, end where
    /// its last line end ends, joined whether it was joined from several. Returns where
    /// reading goes on when the card this line begins was skipped whole, else -1.
    qsizetype line(QByteArrayView line, qsizetype start, qsizetype end, bool joined)
    {
        const qsizetype offset = joined ? -1 : start;
        PropertyLine property;
        const bool known = splitPropertyLine(line, property);
        const bool boundary = known && (property.prop == Prop::Begin || property.prop == Prop::End)
            && equalsNoCase(trimmedBlanks(property.value), "VCARD");
        if (m_open.empty() && m_runStart < 0 && !(boundary && property.prop == Prop::Begin))
            m_runStart = start;
        m_lineStart = start;
        if (m_facts && m_open.empty() && !(boundary && property.prop == Prop::Begin)
            && !trimmedBlanks(line).isEmpty())
            m_facts->note(ReadFacts::Problem::LinesOutside, start);
        if ((property.prop == Prop::End && !boundary)
            || (!known && !property.namePart.isEmpty() && startsWithB(property.value))) {
            if (otherShape(line, property, start, end, joined))
                return -1;
        }
        if (!known && (!m_otherProperties || property.namePart.isEmpty())) {
            // Its value is not read, but what the facts tell of it holds all the same.
            if (m_facts && indexOfByte(property.namePart, ';') >= 0)
                noteValue(property, parseParams(property.namePart));
            return -1;
        }
        if (property.prop == Prop::Begin || property.prop == Prop::End) {
            if (!boundary)
                return -1;
            if (property.prop == Prop::End) {
                this->end(end);
                return -1;
            }
            if (const qsizetype resume = skipCard(line, offset); resume >= 0)
                return resume;
            begin(start);
            return -1;
        }
        if (!m_open.empty() && m_open.back() != quint32(m_firstSequence)) {
            keep(m_pending[indexOf(m_open.back())], line, offset);
            return -1;
        }
        if (!known) {
            // Lines outside every card make a card only once a known property comes.
            takeOther(property,
                      !m_open.empty() ? front().fields.Others
                          : m_outside ? m_outside->fields.Others
                                      : m_outsideOthers);
            return -1;
        }
        apply(property, m_open.empty() ? outside() : front());
        return -1;
    }

    /// Hands out what is left; returns the number of cards.
    qint64 finish()
    {
        m_finishing = true;
        if (!m_readCutCards && !m_open.empty())
            return m_emitted;
        for (Pending &pending : m_pending) {
            if (!pending.complete()) {
                pending.end = quint32(m_data.size());
                if (m_facts)
                    m_facts->note(ReadFacts::Problem::UnclosedCard, pending.begin);
            }
        }
        m_open.clear();
        flush();
        emitOutside(m_data.size());
        if (m_facts) {
            m_facts->cards += m_emitted;
            if (m_emitted == 0)
                m_facts->note(ReadFacts::Problem::NoCard, 0);
            if (m_charsets.legacyWay() != ReadFacts::CharsetWay::None
                && m_facts->charsetWay == ReadFacts::CharsetWay::None) {
                m_facts->charsetWay = m_charsets.legacyWay();
                m_facts->charset = m_charsets.legacyCharset();
                m_facts->detector = m_charsets.detectorAnswer();
            }
        }
        if (m_emitted == 0) {
            ContactFields empty;
            m_sink(std::move(empty),
                   CardParser::Identity{1, m_data.size(), m_data.size(), {}, false});
            ++m_emitted;
        }
        return m_emitted;
    }

    /// The number of cards handed out or skipped so far.
    qint64 emitted() const { return m_emitted; }

private:
    /// A value that may begin a card: the one test most lines of other properties get.
    static bool startsWithB(QByteArrayView value)
    {
        const QByteArrayView trimmed = trimmedBlanks(value);
        return !trimmed.isEmpty() && upperAscii(trimmed.front()) == 'B';
    }

    /// Reads the boundaries of a line that begins or ends a card in another shape (see
    /// CardShapes.h); false when the line is none of them. A boundary inside a joined
    /// line has no place of its own in the file and is left as it is.
    bool otherShape(QByteArrayView line, const PropertyLine &property, qsizetype start,
                    qsizetype end, bool joined)
    {
        // The lines of an escaped agent all stand at its line's place.
        if (!joined || m_inEscapedAgent) {
            if (const qsizetype at = gluedBeginAt(line, property); at >= 0) {
                if (m_facts)
                    m_facts->note(ReadFacts::Problem::GluedCards, start);
                this->end(m_inEscapedAgent ? end : start + at);
                begin(m_inEscapedAgent ? start : start + at);
                return true;
            }
            if (const qsizetype at = agentBeginAt(line, property); at >= 0) {
                begin(m_inEscapedAgent ? start : start + at);
                return true;
            }
        }
        if (m_inEscapedAgent || !isEscapedAgent(property))
            return false;
        // The agent is a card nested where its line stands, made of the line's bytes.
        // An agent inside it stays a value: each level would hold a copy of its text.
        const QByteArray card = unescapedCard(trimmedBlanks(property.value));
        const std::size_t depth = m_open.size();
        const std::size_t floor = std::exchange(m_endFloor, depth);
        m_inEscapedAgent = true;
        forEachLogicalLine(
            card,
            [&](QByteArrayView cardLine, qsizetype, qsizetype, bool) {
                return this->line(cardLine, start, end, true);
            },
            nullptr);
        while (m_open.size() > depth)
            this->end(end);
        m_inEscapedAgent = false;
        m_endFloor = floor;
        return true;
    }

    static constexpr quint32 kNone = 0xFFFFFFFFu;
    // A kept line's place with this bit set is in m_keptBytes, else in the file.
    static constexpr quint32 kKeptBit = 0x80000000u;

    /// A card begun but not yet handed out; its lines, unless it is the front, are a
    /// chain of KeptLine entries.
    /// Sixteen bytes, for a file of cards nested without end holds one per few bytes: a
    /// place in the text fits 32 bits (see the constructor).
    struct Pending
    {
        quint32 head = kNone;
        quint32 tail = kNone;
        quint32 begin = 0;
        quint32 end = kNone; ///< kNone while the card is open

        bool complete() const { return end != kNone; }
    };

    struct KeptLine
    {
        quint32 place;
        quint32 next;
    };

    CardState &outside()
    {
        if (!m_outside) {
            m_outside.emplace();
            m_outside->begin = m_runStart;
            m_outside->fields.Others = std::exchange(m_outsideOthers, {});
        }
        return *m_outside;
    }

    CardState &front()
    {
        if (!m_front)
            m_front.emplace();
        return *m_front;
    }

    void keep(Pending &card, QByteArrayView line, qsizetype offset)
    {
        quint32 place = 0;
        if (offset >= 0 && offset < qsizetype(kKeptBit)) {
            place = quint32(offset); // a physical line: it runs to the next line end
        } else {
            if (m_keptBytes.size() >= qsizetype(kKeptBit))
                throw std::length_error("too many joined lines in nested cards");
            place = quint32(m_keptBytes.size()) | kKeptBit;
            const auto length = quint32(line.size());
            m_keptBytes.append(reinterpret_cast<const char *>(&length), sizeof length);
            m_keptBytes.append(line);
        }
        if (m_kept.size() >= std::size_t(kNone))
            throw std::length_error("too many lines in nested cards");
        const auto index = quint32(m_kept.size());
        m_kept.push_back({place, kNone});
        if (card.tail == kNone)
            card.head = index;
        else
            m_kept[card.tail].next = index;
        card.tail = index;
    }

    std::size_t indexOf(quint32 sequence) const
    {
        return std::size_t(quint32(sequence - quint32(m_firstSequence)));
    }

    QByteArrayView keptLine(quint32 place) const
    {
        if (place & kKeptBit) {
            const qsizetype at = qsizetype(place & ~kKeptBit);
            quint32 length = 0;
            std::memcpy(&length, m_keptBytes.constData() + at, sizeof length);
            return QByteArrayView(m_keptBytes).sliced(at + qsizetype(sizeof length), length);
        }
        const char *begin = m_data.data() + place;
        return QByteArrayView(begin, nextLineEnd(begin, m_data.data() + m_data.size()));
    }

    /// Reads the kept lines of the card that has just become the front into its fields.
    void takeKeptLines(const Pending &card)
    {
        for (quint32 i = card.head; i != kNone; i = m_kept[i].next) {
            m_lineStart = m_kept[i].place & kKeptBit ? qsizetype(card.begin)
                                                     : qsizetype(m_kept[i].place);
            PropertyLine property;
            if (splitPropertyLine(keptLine(m_kept[i].place), property))
                apply(property, front());
            else if (!property.namePart.isEmpty())
                takeOther(property, front().fields.Others);
        }
    }

    /// A card outside every other one that the filter rules out is counted without
    /// being parsed or handed out, when its extent is plain (see CardSkipper).
    qsizetype skipCard(QByteArrayView line, qsizetype offset)
    {
        if (!m_skipper || offset < 0 || !m_open.empty())
            return -1;
        const qsizetype end = m_skipper->skippedEnd(offset, line.size(),
                                                    [this] { return m_charsets.legacyCharset(); });
        if (end < 0)
            return -1;
        emitOutside(offset);
        m_runStart = -1;
        ++m_emitted; // no row can come of it: it is counted, not handed out
        return end;
    }

    void begin(qsizetype start)
    {
        if (m_facts && !m_open.empty())
            m_facts->note(ReadFacts::Problem::NestedCard, start);
        if (m_open.empty()) {
            emitOutside(start);
            m_runStart = -1;
        }
        m_pending.emplace_back();
        m_pending.back().begin = quint32(start);
        m_open.push_back(quint32(m_firstSequence + qint64(m_pending.size()) - 1));
    }

    void end(qsizetype lineEnd)
    {
        if (m_open.size() <= m_endFloor)
            return; // a stray END outside every card, or after an escaped agent's own
        Pending &card = m_pending[indexOf(m_open.back())];
        card.end = quint32(lineEnd);
        m_open.pop_back();
        flush();
    }

    void flush()
    {
        while (!m_pending.empty() && m_pending.front().complete()) {
            CardState &card = front();
            const Pending &place = m_pending.front();
            m_sink(std::move(card.fields),
                   CardParser::Identity{m_emitted + 1, qsizetype(place.begin), qsizetype(place.end),
                                        card.name.text(), !m_finishing});
            m_front.reset();
            ++m_emitted;
            m_pending.pop_front();
            ++m_firstSequence;
            if (m_pending.empty()) {
                m_kept.clear();
                m_keptBytes.clear();
            } else {
                takeKeptLines(m_pending.front());
            }
        }
    }

    /// Hands out the card of the lines outside every card, which end at end.
    void emitOutside(qsizetype end)
    {
        m_outsideOthers = {};
        if (!m_outside)
            return;
        m_sink(std::move(m_outside->fields),
               CardParser::Identity{m_emitted + 1, m_outside->begin, end, m_outside->name.text(),
                                    !m_finishing});
        ++m_emitted;
        m_outside.reset();
    }

    /// Applies one property line to the fields of its card. A value ruled out by the
    /// search's filter writes empty text to the fields it would write; a structured one
    /// comes with its text all the same, for its shape.
    void apply(const PropertyLine &property, CardState &card)
    {
        const Prop prop = property.prop;
        ContactFields &fields = card.fields;
        const Params params = parseParams(property.namePart);
        noteValue(property, params);
        // A value the contact name still wants is decoded whatever the filter says.
        const bool forName = card.name.wants(prop);
        QByteArray decoded;
        QByteArrayView plain;
        bool isPlain = false;
        if (m_filter) {
            isPlain = plainText(prop, property.value, params, plain, decoded);
            if (isPlain && !forName && !m_filter->mayContain(plain)) {
                // A structured value keeps its shape: which of its parts are empty decides
                // which fields it writes.
                applyRuledOutProperty(prop, property.namePart, plain, fields);
                if (m_otherProperties)
                    takeUnheld(property, params, QString(), fields.Others);
                return;
            }
        }
        // Bytes that are the text's own (those the filter judges) are not decoded again.
        QString text = isPlain ? QString::fromUtf8(plain) : decodeValue(property, params);
        if (forName)
            card.name.take(prop, text);
        // N's and ADR's fields take their parts first: what no field holds is then made
        // where it lies in the decoded text. Other values go to their field whole.
        const bool keep = m_otherProperties && (prop == Prop::N || prop == Prop::ADR);
        applyProperty(prop, property.namePart, keep ? QString(text) : std::move(text),
                      params.quotedPrintable, false, fields);
        if (m_otherProperties)
            takeUnheld(property, params, keep ? std::move(text) : QString(), fields.Others);
    }

    /// Adds the value of a line of another property, decoded as the fields' text is, to
    /// others, then its text parameters; VERSION and binary data are left out whole, an
    /// empty value and one the filter rules out alone.
    void takeOther(const PropertyLine &property, OtherProperties &others)
    {
        const QByteArrayView base = propertyBaseName(property.namePart);
        if (equalsNoCase(base, "VERSION"))
            return;
        const Params params = parseParams(property.namePart);
        if (isBinaryValue(base, params, property.value))
            return;
        noteValue(property, params);
        const QString tag = propertyTag(base);
        bool ruledOut = false;
        bool isPlain = false;
        QByteArray decoded;
        QByteArrayView plain;
        if (m_filter) {
            isPlain = plainText(Prop::None, property.value, params, plain, decoded);
            ruledOut = isPlain && !m_filter->mayContain(plain);
        }
        if (!ruledOut) {
            QString text
                = cleanValue(isPlain ? QString::fromUtf8(plain) : decodeValue(property, params));
            if (!text.isEmpty()) {
                others.tags.append(QStringView(tag));
                others.values.append(std::move(text));
            }
        }
        takeParameterTexts(property, params, tag, others);
    }

    /// Notes what the facts tell of a value: quoted-printable that is kept as written, a
    /// charset that cannot be read.
    void noteValue(const PropertyLine &property, const Params &params)
    {
        if (!m_facts)
            return;
        if (params.quotedPrintable && hasInvalidQuotedPrintable(property.value))
            m_facts->note(ReadFacts::Problem::InvalidQuotedPrintable, m_lineStart);
        if (!params.charset.isEmpty() && !m_charsets.canRead(params.charset))
            m_facts->note(ReadFacts::Problem::UnknownCharset, m_lineStart);
    }

    QString decodeValue(const PropertyLine &property, const Params &params)
    {
        bool invalidBase64 = false;
        QString text = cardreader::decodeValue(m_charsets, property.value, params,
                                               m_facts ? &invalidBase64 : nullptr);
        if (invalidBase64)
            m_facts->note(ReadFacts::Problem::InvalidBase64, m_lineStart);
        return text;
    }

    /// Adds to others what a line of the 27 fields' properties holds beyond its fields:
    /// the components of its decoded value that no field holds, and its text parameters.
    void takeUnheld(const PropertyLine &property, const Params &params, QString value,
                    OtherProperties &others)
    {
        // Most lines hold neither: their tag is not made.
        const bool parameters = indexOfByte(property.namePart, ';') >= 0
            && hasTextParameter(property.namePart);
        if (value.isEmpty() && !parameters)
            return;
        const QString tag = propertyTag(propertyBaseName(property.namePart));
        addUnheldComponents(property.prop, std::move(value), tag, others);
        if (parameters)
            takeParameterTexts(property, params, tag, others);
    }

    void takeParameterTexts(const PropertyLine &property, const Params &params, const QString &tag,
                            OtherProperties &others)
    {
        if (indexOfByte(property.namePart, ';') < 0 || !hasTextParameter(property.namePart))
            return;
        std::function<bool(QByteArrayView)> mayContain;
        if (m_filter)
            mayContain = [this](QByteArrayView text) { return m_filter->mayContain(text); };
        addParameterTexts(property.namePart, params.charset, m_charsets, m_unicode, tag, others,
                          mayContain);
    }

    /// The UTF-8 bytes of the value's text as it is decoded, quoted-printable undone
    /// and decoded line breaks made blanks, when they can be told without decoding it:
    /// no escape, no charset but UTF-8's kind, valid UTF-8, none of the old hand-made
    /// quoted-printable markers. decoded holds the bytes made for quoted-printable.
    bool plainText(Prop prop, QByteArrayView value, const Params &params, QByteArrayView &text,
                   QByteArray &decoded) const
    {
        if (params.base64 && !params.quotedPrintable)
            return false; // the raw bytes are not the text
        const bool utf8Charset
            = params.charset.isEmpty() || isUtf8CompatibleCharset(params.charset);
        if (params.quotedPrintable) {
            if (!utf8Charset)
                return false;
            decoded = decodeQuotedPrintable(value);
            if (indexOfByte(decoded, '\\') >= 0 || !isValidUtf8(decoded))
                return false;
            foldLineBreakBytes(decoded);
            text = decoded;
            return true;
        }
        if (indexOfByte(value, '\\') >= 0)
            return false;
        if ((prop == Prop::NOTE || prop == Prop::ADR) && value.indexOf("=0D") >= 0)
            return false;
        // Text of a file with a Unicode mark is taken as UTF-8 whatever its charset.
        if (!m_unicode && (!utf8Charset || !isValidUtf8(value)))
            return false;
        text = value;
        return true;
    }

    QByteArrayView m_data;
    Charsets m_charsets;
    const CardParser::PlacedSink &m_sink;
    const CardParser::ValueFilter *m_filter;
    bool m_unicode;
    bool m_otherProperties;
    std::deque<Pending> m_pending;
    std::optional<CardState> m_front; // the fields of m_pending.front()
    // Deques grow by blocks, never by copying all they hold to a larger block: a file of
    // nested cards would otherwise need twice their upkeep for a moment.
    std::deque<KeptLine> m_kept;
    QByteArray m_keptBytes; // kept lines joined from several: length, then the bytes
    // The sequence numbers of the open cards, innermost last, in their low 32 bits: fewer
    // cards than that are ever pending.
    std::deque<quint32> m_open;
    qint64 m_firstSequence = 0; // sequence number of m_pending.front()
    std::optional<CardState> m_outside;
    bool m_finishing = false; // the text's end was reached: the cards now are not settled
    OtherProperties m_outsideOthers; // of lines outside every card before m_outside is made
    qsizetype m_runStart = -1; // where the lines outside every card began, or -1
    qint64 m_emitted = 0;
    std::optional<CardSkipper> m_skipper; // with a filter
    std::size_t m_endFloor = 0; // the open cards that no END line closes
    bool m_inEscapedAgent = false;
    ReadFacts *m_facts; // null unless facts are gathered
    const bool m_readCutCards; // see ParseOptions::readCutCards
    qsizetype m_lineStart = 0; // of the line being read, for the facts
};

} // namespace

qsizetype CardParser::parseRange(const CardBytes &text, qsizetype from, qsizetype to,
                                 const PlacedSink &sink, const ValueFilter *filter,
                                 bool *endedOutside, const std::atomic<bool> *cancel,
                                 ParseOptions options)
{
    CardCollector collector(text, to, sink, filter, options);
    // The bytes parsed are told a block at a time: one atomic add per line would cost
    // more than a progress bar is worth.
    constexpr qsizetype kToldBlock = qsizetype(256) << 10;
    std::atomic<qint64> *const parsed = options.parsedBytes;
    qsizetype told = 0;
    forEachLogicalLine(
        QByteArrayView(text.bytes).sliced(from, to - from),
        [&](QByteArrayView line, qsizetype start, qsizetype end, bool joined) {
            const qsizetype resume = collector.line(line, from + start, from + end, joined);
            if (parsed && end - told >= kToldBlock)
                parsed->fetch_add(end - std::exchange(told, end), std::memory_order_relaxed);
            return resume < 0 ? resume : resume - from;
        },
        cancel);
    if (cancel && cancel->load(std::memory_order_relaxed))
        return qsizetype(collector.emitted()); // cards not yet ended are left out
    if (parsed)
        parsed->fetch_add(to - from - told, std::memory_order_relaxed);
    if (endedOutside)
        *endedOutside = collector.isOutsideEveryCard();
    return qsizetype(collector.finish());
}

QList<qsizetype> CardParser::cutPoints(QByteArrayView bytes, int parts)
{
    return cardreader::cutPoints(bytes, parts);
}

bool CardParser::holdsBase64Text(QByteArrayView bytes, QByteArrayView joined)
{
    return cardreader::holdsBase64Text(bytes, joined);
}
