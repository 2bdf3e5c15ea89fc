#include "card/ReadFactsScan.h"

#include "card/AsciiText.h"
#include "card/Utf8Text.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

CardFactsGatherer::CardFactsGatherer(QByteArrayView text, bool allFacts)
    : m_text(text), m_cards(text), m_values(text, 0, m_encoded), m_allFacts(allFacts),
      m_utf8(text, allFacts)
{}

void CardFactsGatherer::take(qsizetype at, quint32 equals, quint32 vees, quint32 high)
{
    const char *const data = m_text.data();
    const qsizetype n = m_text.size();
    if (high != 0)
        m_utf8.high(at + __builtin_ctz(high), at + 32 - __builtin_clz(high));
    for (; equals != 0; equals &= equals - 1) {
        const qsizetype q = at + __builtin_ctz(equals);
        m_utf8.equals(q);
        if (m_plain && q >= m_values.next())
            m_values.add(q);
    }
    if (!m_plain)
        return;
    for (; vees != 0; vees &= vees - 1) {
        const qsizetype q = at + __builtin_ctz(vees);
        if (q >= m_cards.next() && n - q >= 5 && readfacts::lettersAt(data + q, "vcard")
            && !m_cards.add(q)) {
            m_plain = false;
            return;
        }
    }
}

void Utf8Watch::high(qsizetype from, qsizetype to)
{
    // The bytes between m_utf8To and from are ASCII: a character starts at from, or at
    // m_utf8To when a character before from ran past it.
    if (m_utf8Bad)
        return;
    const auto *const data = reinterpret_cast<const unsigned char *>(m_text.data());
    const qsizetype n = m_text.size();
    qsizetype p = qMax(from, m_utf8To);
    while (p < to) {
        const unsigned char c = data[p];
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra = 0;
        unsigned char low = 0x80, high = 0xBF; // the second byte's range
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            low = c == 0xE0 ? 0xA0 : 0x80;
            high = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            m_utf8Bad = true;
            return;
        }
        if (n - p <= extra || data[p + 1] < low || data[p + 1] > high) {
            m_utf8Bad = true;
            return;
        }
        for (int k = 2; k <= extra; ++k) {
            if ((data[p + k] & 0xC0) != 0x80) {
                m_utf8Bad = true;
                return;
            }
        }
        p += extra + 1;
    }
    m_utf8To = p;
}

void Utf8Watch::checkEscapes(qsizetype eq)
{
    // The run of "=XX" escapes from eq on, as the bytes it stands for; the escapes before
    // eq in its run stand for ASCII, which leaves a check of UTF-8 where it was.
    const char *const data = m_text.data();
    const qsizetype n = m_text.size();
    int pending = 0; // continuation bytes still to come
    unsigned low = 0x80, high = 0xBF; // the range of the next of them
    qsizetype q = eq;
    for (; n - q >= 3 && data[q] == '='; q += 3) {
        const int hi = readfacts::hexOf(data[q + 1]);
        const int lo = readfacts::hexOf(data[q + 2]);
        if (hi < 0 || lo < 0)
            break;
        const unsigned b = unsigned(hi * 16 + lo);
        if (pending > 0) {
            if (b < low || b > high) {
                m_escapesBad = true;
                return;
            }
            low = 0x80;
            high = 0xBF;
            --pending;
        } else if (b >= 0x80) {
            if (b >= 0xC2 && b <= 0xDF) {
                pending = 1;
            } else if (b >= 0xE0 && b <= 0xEF) {
                pending = 2;
            } else if (b >= 0xF0 && b <= 0xF4) {
                pending = 3;
            } else {
                m_escapesBad = true;
                return;
            }
            low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
            high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
        }
    }
    if (pending > 0)
        m_escapesBad = true;
    m_escapesTo = q > eq ? q : eq + 1;
}

void CardFactsGatherer::bytes(const char *from, const char *to)
{
    const char *const end = m_text.data() + m_text.size();
    while (from < to) {
        const int size = int(qMin<qsizetype>(to - from, 32));
        // The window and the four bytes after it that the text holds, in place.
        char held[40] = {};
        std::memcpy(held, from, std::size_t(qMin<qsizetype>(size + 4, end - from)));
        quint32 equals = 0, vees = 0, high = 0;
#if defined(__SSE2__)
        const __m128i caseBit = _mm_set1_epi8(0x20);
        for (int half = 0; half < 2; ++half) {
            const auto at = [&](int k) {
                return _mm_loadu_si128(reinterpret_cast<const __m128i *>(held + 16 * half + k));
            };
            const __m128i v = at(0);
            const int shift = 16 * half;
            equals |= quint32(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('=')))) << shift;
            vees |= quint32(_mm_movemask_epi8(_mm_and_si128(
                        _mm_cmpeq_epi8(_mm_or_si128(v, caseBit), _mm_set1_epi8('v')),
                        _mm_cmpeq_epi8(_mm_or_si128(at(4), caseBit), _mm_set1_epi8('d')))))
                << shift;
            high |= quint32(_mm_movemask_epi8(v)) << shift;
        }
#else
        for (int k = 0; k < 32; ++k) {
            const char c = held[k];
            equals |= quint32(c == '=') << k;
            vees |= quint32((c | 0x20) == 'v' && (held[k + 4] | 0x20) == 'd') << k;
            high |= quint32(static_cast<unsigned char>(c) >= 0x80) << k;
        }
#endif
        const quint32 inside = size == 32 ? ~quint32(0) : (quint32(1) << size) - 1;
        window(from, equals & inside, vees & inside, high & inside);
        from += size;
    }
}

bool CardFactsGatherer::cardFacts(const CardBytes &text, ReadFacts &facts,
                                  const std::function<cardreader::LegacyCharset()> *wholeFile)
{
    const qint64 cards = m_plain ? m_cards.cards() : -1;
    if (cards <= 0)
        return scanCardFacts(text, facts, wholeFile);
    facts.cards += cards;
    for (std::size_t k = 0; k < ReadFacts::kProblemKinds; ++k) {
        const ReadFacts::Tally &noted = m_encoded.problems[k];
        ReadFacts::Tally &tally = facts.problems[k];
        if (noted.count > 0 && tally.count == 0)
            tally.first = noted.first;
        tally.count += noted.count;
    }
    return true;
}

bool CardFactsGatherer::hasNonUtf8Text() const
{
    return !m_text.isEmpty() && m_utf8.bad();
}
