#include "card/LogicalLines.h"

#include "card/ByteSearch.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>

namespace cardreader {

namespace {

/// The line ends of [p, end), where a run of CRs is one line end with the LF after it,
/// else each CR is one.
qint64 countLineEndsOneByOne(const char *p, const char *const end)
{
    qint64 count = 0;
    while (p < end) {
        if (*p == '\n') {
            ++count;
            ++p;
            continue;
        }
        if (*p != '\r') {
            ++p;
            continue;
        }
        const char *run = p;
        while (p < end && *p == '\r')
            ++p;
        if (p == end || *p != '\n')
            count += p - run;
    }
    return count;
}

#if defined(__x86_64__) || defined(__i386__)
/// The sum of the 32 bytes.
__attribute__((target("avx2"))) inline qint64 byteSum(__m256i bytes)
{
    const __m256i total = _mm256_sad_epu8(bytes, _mm256_setzero_si256());
    return _mm256_extract_epi64(total, 0) + _mm256_extract_epi64(total, 1)
        + _mm256_extract_epi64(total, 2) + _mm256_extract_epi64(total, 3);
}

/// The line ends of [p, end) as countLineEnds counts them, thirty-two bytes at a time;
/// p is left where the bytes it did not count begin (fewer than 33 of them).
__attribute__((target("avx2"))) qint64 countLineEndsWide(const char *&p, const char *const end)
{
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i zero = _mm256_setzero_si256();
    qint64 count = 0;
    // Each byte of sums counts the line ends at its place, for at most 255 blocks.
    __m256i sums = zero;
    int blocks = 0;
    while (end - p > 32) {
        const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
        const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 1));
        const __m256i crs = _mm256_cmpeq_epi8(here, cr);
        if (_mm256_movemask_epi8(_mm256_and_si256(crs, _mm256_cmpeq_epi8(next, cr)))) {
            const char *stop = p + 32;
            while (stop < end && stop[-1] == '\r')
                ++stop;
            count += countLineEndsOneByOne(p, stop);
            p = stop;
            continue;
        }
        const __m256i ends = _mm256_or_si256(_mm256_cmpeq_epi8(here, lf),
                                             _mm256_andnot_si256(_mm256_cmpeq_epi8(next, lf), crs));
        sums = _mm256_sub_epi8(sums, ends); // a match is -1
        p += 32;
        if (++blocks == 255) {
            count += byteSum(sums);
            sums = zero;
            blocks = 0;
        }
    }
    return count + byteSum(sums);
}
#endif

} // namespace

qint64 countLineEnds(QByteArrayView bytes)
{
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    qint64 count = 0;
#if defined(__x86_64__) || defined(__i386__)
    // Line numbers of rows found far into a large file count every byte before them.
    static const bool wide = __builtin_cpu_supports("avx2");
    if (wide)
        count += countLineEndsWide(p, end);
#endif
#if defined(__SSE2__)
    // Sixteen bytes at a time, each block with the byte after it: an LF is a line end, a
    // CR one unless an LF follows it. A block with a CR followed by a CR (a run, rare) is
    // counted byte by byte, up to the end of the run.
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    // Each byte of sums counts the line ends at its place, for at most 255 blocks.
    __m128i sums = _mm_setzero_si128();
    int blocks = 0;
    const auto addSums = [&] {
        const __m128i total = _mm_sad_epu8(sums, _mm_setzero_si128());
        count += _mm_cvtsi128_si32(total) + _mm_extract_epi16(total, 4);
        sums = _mm_setzero_si128();
        blocks = 0;
    };
    while (end - p > 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 1));
        const __m128i crs = _mm_cmpeq_epi8(here, cr);
        if (_mm_movemask_epi8(_mm_and_si128(crs, _mm_cmpeq_epi8(next, cr)))) {
            const char *stop = p + 16;
            while (stop < end && stop[-1] == '\r')
                ++stop;
            count += countLineEndsOneByOne(p, stop);
            p = stop;
            continue;
        }
        const __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(here, lf),
                                          _mm_andnot_si128(_mm_cmpeq_epi8(next, lf), crs));
        sums = _mm_sub_epi8(sums, ends); // a match is -1
        if (++blocks == 255)
            addSums();
        p += 16;
    }
    addSums();
#endif
    return count + countLineEndsOneByOne(p, end);
}

QByteArray joinedLines(QByteArrayView bytes)
{
    QByteArray out(bytes.size(), Qt::Uninitialized);
    char *o = out.data();
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    LineEnds lineEnds(bytes);
    bool afterSoftBreak = false;
    while (p < end) {
        // A blank after a soft line break goes: a later version's fold (2.1 keeps it, but
        // no search text that the filter judges holds a blank).
        if (afterSoftBreak && (*p == ' ' || *p == '\t'))
            ++p;
        const char *lineEnd = nextLineEnd(p, end);
        const std::size_t run = std::size_t(lineEnd - p);
        std::memcpy(o, p, run);
        o += run;
        if (lineEnd == end)
            break;
        const bool softBreak = run > 0 && lineEnd[-1] == '=';
        const char *next = bytes.data() + lineEnds.after(lineEnd - bytes.data());
        afterSoftBreak = softBreak;
        if (softBreak) {
            --o; // the next line continues this one, "=" dropped
            p = next;
            continue;
        }
        if (next < end && (*next == ' ' || *next == '\t')) {
            p = next + 1; // a fold
            continue;
        }
        *o++ = '\n';
        p = next;
    }
    out.truncate(o - out.constData());
    return out;
}

} // namespace cardreader
