#pragma once

#include "card/CardBytes.h"
#include "card/ReadFacts.h"

#include <QByteArrayView>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <array>
#include <cstring>
#include <functional>

namespace cardreader {
struct LegacyCharset;
}

namespace readfacts {
inline bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

/// True when the N - 1 bytes at p are the letters of word (lower case) in either case.
template<std::size_t N>
inline bool lettersAt(const char *p, const char (&word)[N])
{
    static_assert(N >= 2 && N <= 9);
    quint64 got = 0, want = 0, caseBits = 0;
    std::memcpy(&got, p, N - 1);
    for (std::size_t k = 0; k + 1 < N; ++k) {
        want |= quint64(static_cast<unsigned char>(word[k])) << (8 * k);
        caseBits |= quint64(0x20) << (8 * k);
    }
    return (got | caseBits) == want;
}

/// The value of each byte as a hex digit; -1 for the others.
inline constexpr auto kHexValues = [] {
    std::array<signed char, 256> values{};
    for (int c = 0; c < 256; ++c)
        values[std::size_t(c)] = static_cast<signed char>(
            c >= '0' && c <= '9' ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1);
    return values;
}();

inline int hexOf(char c)
{
    return kHexValues[static_cast<unsigned char>(c)];
}

/// True when the "=" at eq is plainly a parameter's: a line end stands among the 32
/// bytes before it with no colon after it, and the line before does not end in "=" (a
/// soft line break would join it to this one). False when it cannot tell so quickly.
inline bool isParameterAt(const char *data, qsizetype eq)
{
#if defined(__SSE2__)
    if (eq < 32)
        return false;
    quint32 stops = 0; // bit k: the byte at eq - 32 + k is a colon or a line end
    for (int half = 0; half < 2; ++half) {
        const __m128i v
            = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + eq - 32 + 16 * half));
        const __m128i stop = _mm_or_si128(
            _mm_cmpeq_epi8(v, _mm_set1_epi8(':')),
            _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\r'))));
        stops |= quint32(_mm_movemask_epi8(stop)) << (16 * half);
    }
    if (stops == 0)
        return false;
    qsizetype before = eq - 32 + (31 - __builtin_clz(stops));
    if (data[before] == ':')
        return false;
    // The line ends before the line, a few of them: a long run is left to the full look,
    // so that many "=" after one run do not each walk it.
    for (int k = 0; before >= 0 && isLineEnd(data[before]); ++k, --before) {
        if (k == 8)
            return false;
    }
    return before < 0 || data[before] != '=';
#else
    Q_UNUSED(data);
    Q_UNUSED(eq);
    return false;
#endif
}

} // namespace readfacts

/// Follows a text's BEGIN and END lines to count its cards, when they are plain: cards
/// one after the other, each from a plain BEGIN line to a plain END line with no other
/// VCARD between, and nothing but blanks between them. Handed, in order, the places of
/// VCARD (in any case) at or after next().
class PlainCardWalk
{
public:
    explicit PlainCardWalk(QByteArrayView data);
    qsizetype next() const { return m_at; }
    /// False once the text is not plain cards.
    bool add(qsizetype word);
    /// The number of cards, once every VCARD was handed over; -1 when not plain.
    qint64 cards() const;

private:
    bool fail()
    {
        m_failed = true;
        return false;
    }

    QByteArrayView m_data;
    qsizetype m_at = 0; // where the next VCARD is looked for
    qsizetype m_after = 0; // where the last card ended
    qsizetype m_cardStart = 0; // where the open card's BEGIN line starts
    qint64 m_cards = 0;
    bool m_open = false;
    bool m_failed = false;
};

/// Where the logical line that holds a byte starts (its physical line, or the first of
/// the lines that soft line breaks join to it), and whether a colon comes before a byte
/// in it, asked for bytes in the order of the text: each line is walked once, however
/// many "=" it holds.
class LogicalLineStarts
{
public:
    explicit LogicalLineStarts(QByteArrayView bytes) : m_bytes(bytes) {}

    qsizetype startOf(qsizetype offset)
    {
        const char *const data = m_bytes.data();
        // The bytes since the last byte asked for: a line end among them starts a new line.
        const qsizetype from = qMax(m_asked, qsizetype(0));
        const std::size_t span = std::size_t(offset - from);
        const auto *lf = static_cast<const char *>(memrchr(data + from, '\n', span));
        const auto *cr = static_cast<const char *>(memrchr(data + from, '\r', span));
        m_asked = offset;
        if (m_start >= 0 && !lf && !cr)
            return m_start;
        const qsizetype begin = 1 + qMax(lf ? lf - data : -1, cr ? cr - data : -1);
        // Where the line asked for before ends: the first line end after that byte.
        qsizetype lastEnd = -1;
        if (m_start >= 0) {
            const auto *lfAfter = static_cast<const char *>(std::memchr(data + from, '\n', span));
            const auto *crAfter = static_cast<const char *>(std::memchr(data + from, '\r', span));
            lastEnd = qMin(lfAfter ? lfAfter - data : offset, crAfter ? crAfter - data : offset);
        }
        qsizetype start = begin;
        for (;;) {
            qsizetype before = start - 1;
            while (before >= 0 && readfacts::isLineEnd(data[before]))
                --before;
            if (before < 0 || data[before] != '=')
                break;
            if (before >= m_lineBegin && before < lastEnd) {
                start = m_start; // joined to the line looked at before
                break;
            }
            start = before;
            while (start > 0 && !readfacts::isLineEnd(data[start - 1]))
                --start;
        }
        if (start != m_start) {
            m_colon = -1;
            m_colonScanned = start;
        }
        m_lineBegin = begin;
        m_start = start;
        return start;
    }

    /// True when a colon stands between the start of the logical line last asked for
    /// and the byte at offset.
    bool colonBefore(qsizetype offset)
    {
        if (m_colon < 0 && m_colonScanned < offset) {
            const auto *colon = static_cast<const char *>(std::memchr(
                m_bytes.data() + m_colonScanned, ':', std::size_t(offset - m_colonScanned)));
            m_colonScanned = offset;
            if (colon)
                m_colon = colon - m_bytes.data();
        }
        return m_colon >= 0 && m_colon < offset;
    }

private:
    QByteArrayView m_bytes;
    qsizetype m_asked = -1; // the byte asked for last
    qsizetype m_lineBegin = -1; // where its physical line begins
    qsizetype m_start = -1; // where its logical line starts
    qsizetype m_colon = -1;
    qsizetype m_colonScanned = 0;
};

/// Notes the quoted-printable and base64 values kept as written (see scanEncodedValues),
/// handed, in order, the places of the "=" at or after next().
class EncodedValueWalk
{
public:
    EncodedValueWalk(QByteArrayView bytes, qsizetype base, ReadFacts &facts);
    qsizetype next() const { return m_at; }
    void add(qsizetype eq)
    {
        // Most "=" are followed by a line end or by two hex digits (the b of "ENCODING=b"
        // aside): sound quoted-printable, or a parameter's value that reads so.
        m_at = eq + 1;
        const char *const data = m_bytes.data();
        if (m_bytes.size() - eq >= 3) {
            const char next = data[eq + 1];
            const bool maybeBase64 = (next | 0x20) == 'b' && eq > 0 && (data[eq - 1] | 0x20) == 'g';
            if (readfacts::isLineEnd(next)
                || (!maybeBase64
                    && ((readfacts::hexOf(next) | readfacts::hexOf(data[eq + 2])) >= 0
                        || readfacts::isParameterAt(data, eq))))
                return;
        }
        read(eq);
    }

private:
    void read(qsizetype eq);

    QByteArrayView m_bytes;
    qsizetype m_base;
    ReadFacts &m_facts;
    LogicalLineStarts m_lines;
    qsizetype m_at = 0;
    qsizetype m_done = 0; // the lines before this are read
};

/// Tells, from the places of a text's bytes outside ASCII and of its "=" handed over in
/// order, what cardreader::hasNonUtf8Text tells of it: whether some of the text is not
/// UTF-8, or a run of "=XX" escapes stands for bytes that are not.
class Utf8Watch
{
public:
    explicit Utf8Watch(QByteArrayView text, bool on = true)
        : m_text(text), m_utf8Bad(!on), m_escapesBad(!on)
    {}
    /// Bytes outside ASCII stand from from on, before to; the bytes handed over before
    /// from (since the last call) are ASCII.
    void high(qsizetype from, qsizetype to);
    /// An "=" stands at eq.
    void equals(qsizetype eq)
    {
        const char *const data = m_text.data();
        // Only a run of escapes that stands for a byte outside ASCII can be other than
        // UTF-8; it is checked from its first such escape on.
        if (eq >= m_escapesTo && !m_escapesBad && m_text.size() - eq >= 3
            && readfacts::hexOf(data[eq + 1]) >= 8 && readfacts::hexOf(data[eq + 2]) >= 0)
            checkEscapes(eq);
    }
    bool bad() const { return m_utf8Bad || m_escapesBad; }

private:
    void checkEscapes(qsizetype eq);

    QByteArrayView m_text;
    qsizetype m_utf8To = 0; // the bytes before this are well-formed UTF-8
    bool m_utf8Bad;
    qsizetype m_escapesTo = 0; // the runs of escapes before this are checked
    bool m_escapesBad;
};

/// Gathers the facts that scanCardFacts and hasNonUtf8Text find in a text from a pass
/// that another reader makes over its bytes, so that a text that is not parsed is read
/// once. The pass hands over every byte of the text once, in order, as windows of at most
/// 32 bytes that tell where "=" stands, where a V stands with a D four bytes on (either
/// case), and where bytes outside ASCII stand (bit k for the window's byte k).
class CardFactsGatherer
{
public:
    /// Without allFacts only the cards are counted: hasNonUtf8Text and the values'
    /// problems are neither asked for nor looked for.
    explicit CardFactsGatherer(QByteArrayView text, bool allFacts = true);
    bool allFacts() const { return m_allFacts; }

    void window(const char *at, quint32 equals, quint32 vees, quint32 high)
    {
        if (!m_allFacts)
            equals = high = 0;
        if ((equals | vees | high) != 0)
            take(at - m_text.data(), equals, vees, high);
    }
    /// Hands over the bytes from from to to, looked at one by one.
    void bytes(const char *from, const char *to);

    /// Once every byte was handed over: what scanCardFacts(text, facts, wholeFile) does
    /// and returns. text holds the bytes handed over.
    bool cardFacts(const CardBytes &text, ReadFacts &facts,
                   const std::function<cardreader::LegacyCharset()> *wholeFile = nullptr);
    /// Once every byte was handed over: whether cardFacts counts the cards from their
    /// BEGIN and END lines alone, with no reading of its own.
    bool countsPlainly() const { return m_plain && m_cards.cards() > 0; }
    /// Once every byte was handed over: cardreader::hasNonUtf8Text of the text.
    bool hasNonUtf8Text() const;

private:
    void take(qsizetype at, quint32 equals, quint32 vees, quint32 high);

    QByteArrayView m_text;
    PlainCardWalk m_cards;
    ReadFacts m_encoded; // the values' problems, told to the facts when the cards are plain
    EncodedValueWalk m_values;
    bool m_plain = true;
    bool m_allFacts;
    Utf8Watch m_utf8;
};
