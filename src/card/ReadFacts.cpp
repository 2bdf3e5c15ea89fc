#include "card/ReadFacts.h"
#include "card/ReadFactsScan.h"

#include "card/AsciiText.h"
#include "card/CardParser.h"
#include "card/Charsets.h"
#include "card/LogicalLines.h"
#include "card/PropertyLine.h"
#include "card/Utf8Text.h"
#include "card/ValueDecoding.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

using namespace cardreader;

void ReadFacts::addLater(const ReadFacts &later)
{
    for (std::size_t k = 0; k < kProblemKinds; ++k) {
        Tally &tally = problems[k];
        if (tally.count == 0)
            tally.first = later.problems[k].first;
        tally.count += later.problems[k].count;
    }
    cards += later.cards;
    // Each part without a card tells so; the file has none only when no part has one.
    if (cards > 0)
        problems[std::size_t(Problem::NoCard)] = {};
    if (charsetWay == CharsetWay::None) {
        charsetWay = later.charsetWay;
        charset = later.charset;
        detector = later.detector;
    }
}

void ReadFacts::placeLines(QByteArrayView text)
{
    // The places are few and asked in any order: each is counted from the start.
    for (Tally &tally : problems) {
        if (tally.count > 0 && tally.first >= 0)
            tally.first = 1
                + cardreader::countLineEnds(text.first(qMin(qsizetype(tally.first), text.size())));
    }
}

bool ReadFacts::hasProblems() const
{
    if (notRead != NotRead::No || changedWhileRead)
        return true;
    // Counts are never negative: any that is not 0 is a problem.
    qint64 any = 0;
    for (const Tally &tally : problems)
        any |= tally.count;
    return any != 0;
}

bool ReadFacts::isNoteworthy() const
{
    return hasProblems() || (charsetWay != CharsetWay::Utf8 && charsetWay != CharsetWay::None);
}

void decideCharset(const CardBytes &text, ReadFacts &facts, const bool *nonUtf8)
{
    using Way = ReadFacts::CharsetWay;
    switch (text.encoding) {
    case CardEncoding::Legacy:
        break;
    case CardEncoding::Utf8Bom:
        facts.charsetWay = Way::Mark;
        facts.charset = "UTF-8";
        return;
    case CardEncoding::Utf16LE:
    case CardEncoding::Utf16BE:
        facts.charsetWay = text.markBytes > 0 ? Way::Mark : Way::Utf16Zeros;
        facts.charset = text.encoding == CardEncoding::Utf16LE ? "UTF-16LE" : "UTF-16BE";
        return;
    case CardEncoding::Utf32LE:
    case CardEncoding::Utf32BE:
        facts.charsetWay = Way::Mark;
        facts.charset = text.encoding == CardEncoding::Utf32LE ? "UTF-32LE" : "UTF-32BE";
        return;
    }
    if (facts.charsetWay == Way::None && nonUtf8 && !*nonUtf8) {
        // Text that is UTF-8 throughout, its escapes too, is read in no legacy charset.
        facts.charsetWay = Way::Utf8;
        facts.detector.clear();
    } else if (facts.charsetWay == Way::None) {
        cardreader::Charsets charsets(text.bytes, false);
        facts.charset = charsets.legacyCharset();
        facts.charsetWay = charsets.legacyWay();
        facts.detector = charsets.detectorAnswer();
    }
    if (facts.charsetWay == Way::Utf8)
        facts.charset.clear();
    else if (facts.charset.isEmpty())
        facts.charset = "windows-1252";
}

namespace {

/// Rules out every value and card: a parse with it decodes only what a card's contact
/// name needs, and hands out no row.
class NothingFilter final : public CardParser::ValueFilter
{
public:
    bool mayContain(QByteArrayView) const override { return false; }
    bool cardMayContain(QByteArrayView, const std::function<QByteArray()> &,
                        QByteArray &) const override
    {
        return false;
    }
};

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

/// The end of a physical line's bytes that end at end, its line end left out: the CRs
/// of a CR LF before it.
qsizetype withoutCrs(const char *data, qsizetype end, qsizetype floor)
{
    while (end > floor && data[end - 1] == '\r')
        --end;
    return end;
}

/// What 32 bytes from p on hold, bit k for the byte at p + k: line feeds; those that a
/// byte other than a blank follows (a line that is no fold starts after them); CRs that
/// neither a CR nor a LF follows (lone, a line end of their own); hyphens. p[32] is read.
struct BackMasks
{
    quint32 lfs = 0;
    quint32 breaks = 0;
    quint32 loneCrs = 0;
    quint32 hyphens = 0;
};

struct ByteMasks
{
    BackMasks operator()(const char *p) const
    {
        BackMasks m;
        for (int k = 0; k < 32; ++k) {
            const char c = p[k];
            const char next = p[k + 1];
            m.lfs |= quint32(c == '\n') << k;
            m.breaks |= quint32(c == '\n' && next != ' ' && next != '\t') << k;
            m.loneCrs |= quint32(c == '\r' && !isLineEnd(next)) << k;
            m.hyphens |= quint32(c == '-') << k;
        }
        return m;
    }
};

#if defined(__x86_64__) || defined(__i386__)
/// ByteMasks 32 bytes at once. The bytes looked for are made once, before a walk.
struct WideMasks
{
    __attribute__((target("avx2"))) WideMasks()
        : lf(_mm256_set1_epi8('\n')), cr(_mm256_set1_epi8('\r')), space(_mm256_set1_epi8(' ')),
          tab(_mm256_set1_epi8('\t')), hyphen(_mm256_set1_epi8('-'))
    {}
    __attribute__((target("avx2"))) BackMasks operator()(const char *p) const
    {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
        const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 1));
        const __m256i lfs = _mm256_cmpeq_epi8(v, lf);
        const __m256i nextBlank
            = _mm256_or_si256(_mm256_cmpeq_epi8(next, space), _mm256_cmpeq_epi8(next, tab));
        const __m256i nextEnd
            = _mm256_or_si256(_mm256_cmpeq_epi8(next, lf), _mm256_cmpeq_epi8(next, cr));
        return {
            quint32(_mm256_movemask_epi8(lfs)),
            quint32(_mm256_movemask_epi8(_mm256_andnot_si256(nextBlank, lfs))),
            quint32(_mm256_movemask_epi8(_mm256_andnot_si256(nextEnd, _mm256_cmpeq_epi8(v, cr)))),
            quint32(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, hyphen)))};
    }
    __m256i lf, cr, space, tab, hyphen;
};
#endif

/// The walk of maySoftBreakBefore back from the "=" before end, 32 bytes at a time: the
/// folds of a long value (a photo's base64 ends in "=" too) are passed over without a
/// look at each of their lines.
template<typename Masks>
__attribute__((always_inline)) inline bool softBreakWalk(const char *data, qsizetype end,
                                                         qsizetype floor, const Masks &masksOf)
{
    bool hyphen = false; // in the bytes walked, which all belong to the logical line
    qsizetype lowerLf = -1; // the lowest line feed walked past
    // 32 bytes walked past whole: what they hold of the logical line is kept.
    const auto passOver = [&](const BackMasks &m, quint32 inside, qsizetype base) {
        hyphen = hyphen || (m.hyphens & inside) != 0;
        if ((m.lfs & inside) != 0)
            lowerLf = base + __builtin_ctz(m.lfs & inside);
    };
    qsizetype top = end;
    while (top > floor) {
        // The bytes from top down, 32 at a time, up to those that hold a lone CR or the
        // line end before a line that may start the logical line. No call is made in
        // this loop, so the bytes looked for stay in registers.
        qsizetype base = top - 32;
        BackMasks m;
        quint32 inside = ~quint32(0);
        for (;; top = base, base -= 32) {
            if (base >= 0) {
                m = masksOf(data + base);
            } else {
                // The bytes before the text's start read as none of those looked for.
                char held[33] = {};
                std::memcpy(held - base, data, std::size_t(base + 33));
                m = masksOf(held);
            }
            inside = floor > base ? ~quint32(0) << (floor - base) : ~quint32(0);
            if (((m.breaks | m.loneCrs) & inside) != 0 || base <= floor)
                break;
            passOver(m, inside, base);
        }
        const quint32 lfs = m.lfs & inside;
        for (quint32 events = (m.breaks | m.loneCrs) & inside; events != 0;) {
            const int k = 31 - __builtin_clz(events);
            const quint32 bit = quint32(1) << k;
            events &= ~bit;
            if (m.loneCrs & bit)
                return true;
            const quint32 above = ~(bit | (bit - 1)); // the bits after bit k
            const qsizetype upper = (lfs & above) ? base + __builtin_ctz(lfs & above) : lowerLf;
            const qsizetype lineStart = base + k + 1;
            const qsizetype lineEnd = upper < 0 ? end : withoutCrs(data, upper, floor);
            const qsizetype before = withoutCrs(data, base + k, floor);
            // A blank line ends every join; a line with a colon starts a logical line,
            // unless an "=" ends the line before.
            if (lineStart == lineEnd
                || (std::memchr(data + lineStart, ':', std::size_t(lineEnd - lineStart))
                    && (before == floor || data[before - 1] != '='))) {
                return hyphen || (m.hyphens & inside & above) != 0;
            }
        }
        passOver(m, inside, base);
        top = base;
    }
    return hyphen; // the card's first line starts the logical line
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) bool softBreakWalkWide(const char *data, qsizetype end,
                                                       qsizetype floor)
{
    return softBreakWalk(data, end, floor, WideMasks());
}
#endif

/// True when the physical line before the one at start ends in an "=" that may be a
/// quoted-printable soft line break, which would join the line at start to it. Only a
/// line whose name part says QUOTED-PRINTABLE has soft line breaks: the lines of the
/// logical line that ends with the "=" are found walking back, no further than floor (the
/// start of the card's BEGIN line, which starts a logical line), and a hyphen anywhere in
/// them, or a lone CR that splits them further, leaves the answer to a parse.
bool maySoftBreakBefore(QByteArrayView bytes, qsizetype start, qsizetype floor)
{
    const char *const data = bytes.data();
    // The previous line's last byte: before CR* LF, or before a lone CR.
    const qsizetype end = data[start - 1] == '\n' ? withoutCrs(data, start - 1, floor) : start - 1;
    if (end <= floor || data[end - 1] != '=')
        return false;
#if defined(__x86_64__) || defined(__i386__)
    static const bool wide = __builtin_cpu_supports("avx2");
    if (wide)
        return softBreakWalkWide(data, end, floor);
#endif
    return softBreakWalk(data, end, floor, ByteMasks());
}

/// Where the line of a BEGIN or END line whose name starts at start and whose VCARD
/// ends at end stops, when the line stands on its own as a plain one: it starts a line
/// that continues no soft line break, holds only blanks after VCARD, and no fold
/// continues it. -1 otherwise. For an END line, cardStart is where its card's BEGIN line
/// starts; -1 for a BEGIN line.
qsizetype plainBoundaryEnd(QByteArrayView data, qsizetype start, qsizetype end,
                           qsizetype cardStart)
{
    if (start > 0) {
        if (!isLineEnd(data[start - 1]))
            return -1;
        if (cardStart >= 0) {
            if (maySoftBreakBefore(data, start, cardStart))
                return -1;
        } else {
            qsizetype before = start - 1;
            while (before >= 0 && isLineEnd(data[before]))
                --before;
            if (before >= 0 && data[before] == '=')
                return -1;
        }
    }
    const qsizetype n = data.size();
    while (end < n && (data[end] == ' ' || data[end] == '\t'))
        ++end;
    if (end == n)
        return end;
    if (!isLineEnd(data[end]))
        return -1;
    end = cardreader::afterLineEnd(data, end);
    if (end < n && (data[end] == ' ' || data[end] == '\t'))
        return -1;
    return end;
}

bool isBlankText(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (c != ' ' && c != '\t' && !isLineEnd(c))
            return false;
    }
    return true;
}

/// The number of cards when the text is cards one after the other, each from a plain
/// BEGIN line to a plain END line with no other VCARD between, and nothing but blanks
/// between them; -1 when it is anything else.
/// Where the next VCARD in any case stands at or after from; -1 when none does.
qsizetype nextVcard(QByteArrayView data, qsizetype from)
{
    const char *const bytes = data.data();
    const qsizetype n = data.size();
    qsizetype at = from;
#if defined(__SSE2__)
    // Sixteen places at a time: a V and a D four bytes on, in either case.
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const __m128i v = _mm_set1_epi8('v');
    const __m128i d = _mm_set1_epi8('d');
    for (; n - at >= 20; at += 16) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + at));
        const __m128i last = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + at + 4));
        auto mask = unsigned(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(first, caseBit), v),
                          _mm_cmpeq_epi8(_mm_or_si128(last, caseBit), d))));
        for (; mask != 0; mask &= mask - 1) {
            const qsizetype q = at + __builtin_ctz(mask);
            if (equalsNoCaseN(bytes + q, "VCARD", 5))
                return q;
        }
    }
#endif
    for (; n - at >= 5; ++at) {
        if (equalsNoCaseN(bytes + at, "VCARD", 5))
            return at;
    }
    return -1;
}

qint64 plainCards(QByteArrayView data)
{
    PlainCardWalk walk(data);
    for (;;) {
        const qsizetype word = nextVcard(data, walk.next());
        if (word < 0 || !walk.add(word))
            break;
    }
    return walk.cards();
}

} // namespace

PlainCardWalk::PlainCardWalk(QByteArrayView data) : m_data(data) {}

bool PlainCardWalk::add(qsizetype word)
{
    if (m_failed)
        return false;
    const QByteArrayView data = m_data;
    m_at = word + 5;
    // A VCARD that a letter or digit of its own line stands right before (as in base64
    // data) ends no value of its line: it is no BEGIN or END line's, however joined.
    if (word > 0) {
        const char before = char(data[word - 1] | 0x20);
        if ((before >= 'a' && before <= 'z') || (data[word - 1] >= '0' && data[word - 1] <= '9'))
            return true;
    }
    const char *const at = data.data() + word;
    const bool begin = word >= 6 && at[-1] == ':' && readfacts::lettersAt(at - 6, "begin");
    const bool end = !begin && word >= 4 && at[-1] == ':' && readfacts::lettersAt(at - 4, "end");
    if (begin == m_open || (!begin && !end))
        return fail();
    const qsizetype start = word - (begin ? 6 : 4);
    const qsizetype lineEnd = plainBoundaryEnd(data, start, m_at, begin ? -1 : m_cardStart);
    if (lineEnd < 0)
        return fail();
    if (begin) {
        if (!isBlankText(data.sliced(m_after, start - m_after)))
            return fail();
        ++m_cards;
        m_cardStart = start;
    } else {
        m_after = lineEnd;
    }
    m_open = begin;
    m_at = lineEnd;
    return true;
}

qint64 PlainCardWalk::cards() const
{
    return m_failed || m_open || m_cards == 0 || !isBlankText(m_data.sliced(m_after)) ? -1
                                                                                       : m_cards;
}

namespace {

bool isHexDigit(char c)
{
    const char lower = char(c | 0x20);
    return (c >= '0' && c <= '9') || (lower >= 'a' && lower <= 'f');
}

bool isBinaryName(QByteArrayView line)
{
    const qsizetype colon = indexOfByte(line, ':');
    const QByteArrayView name = propertyBaseName(colon < 0 ? line : line.first(colon));
    for (const char *binary : {"PHOTO", "LOGO", "SOUND", "KEY"}) {
        if (equalsNoCase(name, binary))
            return true;
    }
    return false;
}

} // namespace

EncodedValueWalk::EncodedValueWalk(QByteArrayView bytes, qsizetype base, ReadFacts &facts)
    : m_bytes(bytes), m_base(base), m_facts(facts), m_lines(bytes)
{}

void EncodedValueWalk::read(qsizetype eq)
{
    // One look at every "=": one that two hex digits or a line end follow is sound
    // quoted-printable (or a parameter's value that reads so); the others, and
    // "ENCODING=b", are parameters unless the line's colon comes before them. Only the
    // lines left are read, as a parse reads them.
    const QByteArrayView bytes = m_bytes;
    const char *const data = bytes.data();
    const qsizetype n = bytes.size();
    ReadFacts &facts = m_facts;
    const qsizetype base = m_base;
    qsizetype &done = m_done;
    LogicalLineStarts &lines = m_lines;
    qsizetype at = eq + 1;
    m_at = at;
    const char next = at < n ? data[at] : '\n';
    const bool base64 = at >= 9 && (next == 'b' || next == 'B')
        && equalsNoCaseN(data + at - 9, "ENCODING", 8);
    if (!base64 && (isLineEnd(next) || (n - at >= 2 && isHexDigit(next) && isHexDigit(data[at + 1]))))
        return;
    if (!base64 && readfacts::isParameterAt(data, at - 1))
        return;
    const qsizetype start = lines.startOf(at - 1);
    if (start < done)
        return;
    if (!base64 && !lines.colonBefore(at - 1))
        return; // a parameter
    if (isBinaryName(bytes.sliced(start, qMin(n - start, qsizetype(256)))))
        return;
    forEachLogicalLine(
        bytes.sliced(start),
        [&](QByteArrayView line, qsizetype, qsizetype end, bool) -> qsizetype {
            done = start + end;
            PropertyLine property;
            splitPropertyLine(line, property);
            if (property.namePart.isEmpty())
                return bytes.size();
            const Params params = parseParams(property.namePart);
            if (isBinaryValue(propertyBaseName(property.namePart), params, property.value))
                return bytes.size();
            QByteArray decoded;
            if (params.quotedPrintable && hasInvalidQuotedPrintable(property.value))
                facts.note(ReadFacts::Problem::InvalidQuotedPrintable, base + start);
            else if (params.base64 && !params.quotedPrintable
                     && !encodedValueBytes(property.value, params, decoded))
                facts.note(ReadFacts::Problem::InvalidBase64, base + start);
            return bytes.size();
        },
        nullptr);
    m_at = qMax(at, done);
}

void scanEncodedValues(QByteArrayView bytes, qsizetype base, ReadFacts &facts)
{
    EncodedValueWalk walk(bytes, base, facts);
    const char *const data = bytes.data();
    const qsizetype n = bytes.size();
    for (;;) {
        const qsizetype at = walk.next();
        if (at >= n)
            break;
        const auto *eq = static_cast<const char *>(std::memchr(data + at, '=', std::size_t(n - at)));
        if (!eq)
            break;
        walk.add(eq - data);
    }
}

bool scanCardFacts(const CardBytes &text, ReadFacts &facts,
                   const std::function<LegacyCharset()> *wholeFile)
{
    if (const qint64 cards = plainCards(text.bytes); cards > 0) {
        facts.cards += cards;
        scanEncodedValues(text.bytes, 0, facts);
        return true;
    }
    static const NothingFilter nothing;
    ParseOptions options;
    options.facts = &facts;
    options.legacyCharset = wholeFile;
    bool outside = true;
    CardParser::parseRange(
        text, 0, text.bytes.size(), [](ContactFields &&, const CardParser::Identity &) {},
        &nothing, &outside, nullptr, options);
    return outside;
}
