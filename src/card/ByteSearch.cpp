#include "card/ByteSearch.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

ByteSearch::ByteSearch(QByteArrayView needle, bool ignoreCase)
    : m_needle(needle.toByteArray()), m_caseBits(needle.size(), '\0')
{
    // Setting bit 0x20 turns "A" to "Z" into "a" to "z" and leaves the lower case letters
    // alone; no other byte becomes a letter that way.
    for (qsizetype i = 0; i < m_needle.size(); ++i) {
        const char c = m_needle.at(i);
        if (ignoreCase && c >= 'a' && c <= 'z')
            m_caseBits[i] = 0x20;
    }
}

bool ByteSearch::matchesAt(const unsigned char *at) const
{
    const auto *needle = reinterpret_cast<const unsigned char *>(m_needle.constData());
    const auto *bits = reinterpret_cast<const unsigned char *>(m_caseBits.constData());
    for (qsizetype j = 0; j < m_needle.size(); ++j) {
        if ((at[j] | bits[j]) != needle[j])
            return false;
    }
    return true;
}

#if defined(__x86_64__) || defined(__i386__)
/// indexIn's test of thirty-two start positions at a time, over the blocks that fit whole;
/// from is left at the first start position not tested. -1 when no tested position holds
/// the needle.
__attribute__((target("avx2"))) qsizetype ByteSearch::indexInWide(const unsigned char *t,
                                                                    qsizetype n,
                                                                    qsizetype &from) const
{
    const qsizetype m = m_needle.size();
    const __m256i first = _mm256_set1_epi8(m_needle.at(0));
    const __m256i last = _mm256_set1_epi8(m_needle.at(m - 1));
    const __m256i firstBit = _mm256_set1_epi8(m_caseBits.at(0));
    const __m256i lastBit = _mm256_set1_epi8(m_caseBits.at(m - 1));
    qsizetype i = from;
    for (; i + 32 <= n - m + 1; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(t + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(t + i + m - 1));
        auto mask = unsigned(_mm256_movemask_epi8(
            _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(a, firstBit), first),
                             _mm256_cmpeq_epi8(_mm256_or_si256(b, lastBit), last))));
        while (mask != 0) {
            const int bit = __builtin_ctz(mask);
            if (matchesAt(t + i + bit)) {
                from = i;
                return i + bit;
            }
            mask &= mask - 1;
        }
    }
    from = i;
    return -1;
}
#endif

qsizetype ByteSearch::indexIn(QByteArrayView text) const
{
    const qsizetype m = m_needle.size();
    const qsizetype n = text.size();
    if (m == 0)
        return 0;
    if (n < m)
        return -1;
    const auto *t = reinterpret_cast<const unsigned char *>(text.data());
    qsizetype tested = 0; // the start positions before this one hold no needle
#if defined(__x86_64__) || defined(__i386__)
    // Long texts (a whole file's cards) thirty-two positions at a time where the
    // processor can; the rest as below.
    static const bool wide = __builtin_cpu_supports("avx2");
    if (wide && n - m + 1 >= 64) {
        if (const qsizetype hit = indexInWide(t, n, tested); hit >= 0)
            return hit;
    }
#endif
#if defined(__SSE2__)
    // Sixteen start positions at a time are tested by the needle's first and last
    // byte; only where both agree is the rest compared.
    if (n - m + 1 >= 16) {
        const __m128i first = _mm_set1_epi8(m_needle.at(0));
        const __m128i last = _mm_set1_epi8(m_needle.at(m - 1));
        const __m128i firstBit = _mm_set1_epi8(m_caseBits.at(0));
        const __m128i lastBit = _mm_set1_epi8(m_caseBits.at(m - 1));
        const auto candidates = [&](qsizetype i) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(t + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(t + i + m - 1));
            return unsigned(
                _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, firstBit), first),
                                                _mm_cmpeq_epi8(_mm_or_si128(b, lastBit), last))));
        };
        const qsizetype lastStart = n - m + 1 - 16; // the last block that fits whole
        for (qsizetype i = qMin(tested, lastStart);; i += 16) {
            unsigned mask = 0;
            if (i >= lastStart) {
                // The last block is laid over the end; positions tested already are
                // masked out.
                mask = candidates(lastStart) & ~((1u << (i - lastStart)) - 1u);
                i = lastStart;
            } else {
                mask = candidates(i);
            }
            while (mask != 0) {
                const int bit = __builtin_ctz(mask);
                if (matchesAt(t + i + bit))
                    return i + bit;
                mask &= mask - 1;
            }
            if (i == lastStart)
                return -1;
        }
    }
#endif
    const auto first = static_cast<unsigned char>(m_needle.at(0));
    const auto firstBit = static_cast<unsigned char>(m_caseBits.at(0));
    for (qsizetype i = tested; i + m <= n; ++i) {
        if ((t[i] | firstBit) == first && matchesAt(t + i))
            return i;
    }
    return -1;
}

const char *nextLineEnd(const char *p, const char *end)
{
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const auto mask = unsigned(
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
        if (mask != 0)
            return p + __builtin_ctz(mask);
        p += 16;
    }
#endif
    while (p < end && *p != '\r' && *p != '\n')
        ++p;
    return p;
}

qsizetype indexOfNonAscii(QByteArrayView bytes)
{
    const char *const begin = bytes.data();
    const char *p = begin;
    const char *const end = p + bytes.size();
#if defined(__SSE2__)
    for (; end - p >= 16; p += 16) {
        if (_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p))) != 0)
            break;
    }
#endif
    for (; p < end; ++p) {
        if ((static_cast<unsigned char>(*p) & 0x80) != 0)
            return p - begin;
    }
    return -1;
}

bool hasNonAscii(QByteArrayView bytes)
{
    return indexOfNonAscii(bytes) >= 0;
}
