#include "search/JoinedScan.h"

#include "card/AsciiText.h"
#include "card/ReadFactsScan.h"
#include "search/JoinedRuns.h"
#include "search/TextFolding.h"

#include <QVarLengthArray>

#include <cstring>
#include <span>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif

namespace {

using namespace joinedscan;

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QUILLORY_SCAN_AVX2 1
/// The first and last bytes of a text, for the thirty-two byte test.
struct WideProbe
{
    char first, firstBit, last, lastBit;
    qsizetype offset;
};

/// The first hex digits of the escapes that matter, as ranges of digits and of letters
/// (either case): base and span (the last less the first); base 0 with span 0 when none.
struct EscapeDigits
{
    char digitBase, digitSpan, letterBase, letterSpan;
};

/// Two ASCII bytes whose low four bits differ, as a table that in() looks bytes up in: a
/// byte is one of them when the entry of its low four bits is the byte itself (a byte over
/// 0x7F looks up a zero, and no entry of an ASCII byte's is 0x80).
__attribute__((target("avx2"))) inline __m256i byteSet(char one, char other)
{
    alignas(16) char table[16];
    std::memset(table, 0x80, sizeof table);
    table[one & 15] = one;
    table[other & 15] = other;
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i *>(table)));
}

/// Where bytes holds one of the bytes of set (see byteSet): one lookup and one compare.
__attribute__((target("avx2"))) inline __m256i in(__m256i set, __m256i bytes)
{
    return _mm256_cmpeq_epi8(_mm256_shuffle_epi8(set, bytes), bytes);
}

/// What scanWide hands a gatherer: nothing (there is none), the places of the cards'
/// VCARD words alone (it counts cards only), or every mask it takes.
enum class Gathered { Nothing, Cards, All };

/// The main loop of JoinedScan::run thirty-two bytes at a time, on processors that have
/// AVX2: hands judge every place that may matter, up to where 32 + reach bytes remain,
/// and gather every window of bytes as kGather says. Returns where it stopped, or -1 when
/// judge found a text.
template<Gathered kGather, typename Judge>
__attribute__((target("avx2"))) qsizetype
scanWide(const char *data, qsizetype n, qsizetype reach, std::span<const WideProbe> probes,
         EscapeDigits escapes, bool nonAscii, Judge &judge, CardFactsGatherer *gather)
{
#define QUILLORY_AT(c) _mm256_loadu_si256(reinterpret_cast<const __m256i *>(c))
#define QUILLORY_SET(c) _mm256_set1_epi8(c)
    const __m256i eq = QUILLORY_SET('=');
    const __m256i lineEnds = byteSet('\n', '\r'), blanks = byteSet(' ', '\t');
    const __m256i caseBit = QUILLORY_SET(0x20);
    const __m256i lowC = QUILLORY_SET('c'), lowT = QUILLORY_SET('t'), lowE = QUILLORY_SET('e'),
                  lowG = QUILLORY_SET('g'), lowB = QUILLORY_SET('b'), four = QUILLORY_SET('4');
    const __m256i zero = QUILLORY_SET(escapes.digitBase), nine = QUILLORY_SET(escapes.digitSpan),
                  lowA = QUILLORY_SET(escapes.letterBase), five = QUILLORY_SET(escapes.letterSpan);
    // A probe that never hits when there is no text: no byte is 0x00 and 0x20 at once.
    const WideProbe none{0, 0x20, 0, 0x20, 0};
    const WideProbe &one = probes.empty() ? none : probes.front();
    const __m256i first = QUILLORY_SET(one.first), firstBit = QUILLORY_SET(one.firstBit),
                  last = QUILLORY_SET(one.last), lastBit = QUILLORY_SET(one.lastBit);
    const qsizetype lastOffset = one.offset;
    const std::span<const WideProbe> extraProbes
        = probes.empty() ? std::span<const WideProbe>() : probes.subspan(1);
    // The masks of a few windows are made before any place is judged: a call in the loop
    // that makes them would have its constants made again or reloaded at every window.
    constexpr int kWindows = 8;
    unsigned masks[kWindows];
    [[maybe_unused]] quint32 equalsMasks[kWindows], veesMasks[kWindows], highMasks[kWindows];
    qsizetype i = 0;
    while (n - i >= 32 + reach) {
        int windows = 0;
        for (; windows < kWindows && n - i - 32 * windows >= 32 + reach; ++windows) {
            const char *c = data + i + 32 * windows;
            const __m256i v = QUILLORY_AT(c);
            const __m256i next = QUILLORY_AT(c + 1);
            const __m256i lower = _mm256_or_si256(v, caseBit);
            // An "=" matters before a line end, or before the first hex digit of an escape
            // whose byte a text or a trigger holds.
            const __m256i digit = _mm256_sub_epi8(next, zero);
            const __m256i letter = _mm256_sub_epi8(_mm256_or_si256(next, caseBit), lowA);
            const __m256i lineEndNext = in(lineEnds, next);
            const __m256i hexNext
                = _mm256_or_si256(_mm256_cmpeq_epi8(_mm256_min_epu8(digit, nine), digit),
                                  _mm256_cmpeq_epi8(_mm256_min_epu8(letter, five), letter));
            __m256i hits
                = _mm256_and_si256(_mm256_cmpeq_epi8(v, eq), _mm256_or_si256(lineEndNext, hexNext));
            hits = _mm256_or_si256(hits, _mm256_and_si256(in(lineEnds, v), in(blanks, next)));
            hits = _mm256_or_si256(
                hits,
                _mm256_and_si256(
                    _mm256_cmpeq_epi8(lower, lowC),
                    _mm256_cmpeq_epi8(_mm256_or_si256(QUILLORY_AT(c + 6), caseBit), lowT)));
            hits = _mm256_or_si256(
                hits,
                _mm256_and_si256(
                    _mm256_cmpeq_epi8(lower, lowE),
                    _mm256_cmpeq_epi8(_mm256_or_si256(QUILLORY_AT(c + 7), caseBit), lowG)));
            hits = _mm256_or_si256(hits,
                                   _mm256_and_si256(_mm256_cmpeq_epi8(lower, lowB),
                                                    _mm256_cmpeq_epi8(QUILLORY_AT(c + 5), four)));
            // The first text's probe from registers; the others' made in the loop.
            hits = _mm256_or_si256(
                hits,
                _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(v, firstBit), first),
                                 _mm256_cmpeq_epi8(
                                     _mm256_or_si256(QUILLORY_AT(c + lastOffset), lastBit), last)));
            for (const WideProbe &probe : extraProbes) {
                hits = _mm256_or_si256(
                    hits,
                    _mm256_and_si256(
                        _mm256_cmpeq_epi8(_mm256_or_si256(v, QUILLORY_SET(probe.firstBit)),
                                          QUILLORY_SET(probe.first)),
                        _mm256_cmpeq_epi8(_mm256_or_si256(QUILLORY_AT(c + probe.offset),
                                                          QUILLORY_SET(probe.lastBit)),
                                          QUILLORY_SET(probe.last))));
            }
            auto mask = unsigned(_mm256_movemask_epi8(hits));
            if (nonAscii)
                mask |= unsigned(_mm256_movemask_epi8(v));
            masks[windows] = mask;
            if constexpr (kGather != Gathered::Nothing) {
                const __m256i vees = _mm256_and_si256(
                    _mm256_cmpeq_epi8(lower, QUILLORY_SET('v')),
                    _mm256_cmpeq_epi8(_mm256_or_si256(QUILLORY_AT(c + 4), caseBit),
                                      QUILLORY_SET('d')));
                veesMasks[windows] = unsigned(_mm256_movemask_epi8(vees));
            }
            if constexpr (kGather == Gathered::All) {
                equalsMasks[windows] = unsigned(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, eq)));
                highMasks[windows] = unsigned(_mm256_movemask_epi8(v));
            }
        }
        for (int k = 0; k < windows; ++k, i += 32) {
            if constexpr (kGather == Gathered::Cards)
                gather->window(data + i, 0, veesMasks[k], 0);
            else if constexpr (kGather == Gathered::All)
                gather->window(data + i, equalsMasks[k], veesMasks[k], highMasks[k]);
            for (unsigned mask = masks[k]; mask != 0; mask &= mask - 1) {
                if (judge(i + __builtin_ctz(mask)))
                    return -1;
            }
        }
    }
#undef QUILLORY_AT
#undef QUILLORY_SET
    return i;
}
#endif

} // namespace

using namespace joinedscan;

qsizetype joinedBlockEnd(QByteArrayView bytes, qsizetype from)
{
    const qsizetype n = bytes.size();
    for (qsizetype at = from; at < n;) {
        const auto *lf
            = static_cast<const char *>(std::memchr(bytes.data() + at, '\n', std::size_t(n - at)));
        if (!lf)
            return n;
        const qsizetype cut = lf - bytes.data() + 1;
        at = cut;
        if (cut == n || bytes[cut] == ' ' || bytes[cut] == '\t')
            continue;
        qsizetype last = cut - 2; // the last byte of the line this LF ends
        while (last >= 0 && bytes[last] == '\r')
            --last;
        if (last < 0 || bytes[last] != '=')
            return cut;
    }
    return n;
}

JoinedScan::JoinedScan(const std::vector<QByteArray> &texts, bool ignoreCase,
                       const FoldingTriggers &triggers, bool vcards)
    : m_ignoreCase(ignoreCase), m_triggers(triggers), m_vcards(vcards)
{
    const auto addLetters = [](std::array<bool, 256> &set, QByteArrayView word) {
        for (const char c : word) {
            set[static_cast<unsigned char>(c)] = true;
            if (c >= 'a' && c <= 'z')
                set[static_cast<unsigned char>(c - 32)] = true;
            if (c >= 'A' && c <= 'Z')
                set[static_cast<unsigned char>(c + 32)] = true;
        }
    };
    for (const QByteArray &text : texts) {
        if (text.isEmpty())
            continue;
        const char first = text.front();
        m_texts.push_back({text, ByteSearch(text, ignoreCase),
                           char(ignoreCase && first >= 'a' && first <= 'z' ? 0x20 : 0)});
        m_reach = qMax(m_reach, text.size() - 1);
        addLetters(m_escapeBytes, text);
    }
    if (!m_triggers.isEmpty()) {
        for (int b = 0x80; b < 0x100; ++b)
            m_escapeBytes[std::size_t(b)] = true;
    }
    m_escapedBytes = m_escapeBytes;
    addLetters(m_escapeBytes, "0123456789abcdef=\r\n \t");
    m_junctionBytes = m_escapeBytes;
    addLetters(m_junctionBytes, "charsetencodingbase64");
    if (vcards)
        addLetters(m_junctionBytes, "vcard");
    // The first hex digits of the escapes that matter, as ranges (see EscapeDigits): "=0D",
    // "=0A" and "=20" are read no further when no text holds a control byte or a blank.
    int firstLow = 16, firstHigh = -1;
    for (int b = 0; b < 256; ++b) {
        if (m_escapedBytes[std::size_t(b)]) {
            firstLow = qMin(firstLow, b >> 4);
            firstHigh = qMax(firstHigh, b >> 4);
        }
    }
    if (firstLow <= 9) {
        m_escapeDigits[0] = char('0' + firstLow);
        m_escapeDigits[1] = char(qMin(firstHigh, 9) - firstLow);
    }
    if (firstHigh >= 10) {
        const int from = qMax(firstLow, 10);
        m_escapeDigits[2] = char('a' + from - 10);
        m_escapeDigits[3] = char(firstHigh - from);
    }
    const auto variants = [](char c, bool anyCase) {
        const char lower = char(c | 0x20);
        if (anyCase && lower >= 'a' && lower <= 'z')
            return std::array<char, 2>{lower, char(lower & ~0x20)};
        return std::array<char, 2>{c, c};
    };
    const auto addPairs = [&](QByteArrayView word, bool anyCase) {
        for (qsizetype k = 0; k + 1 < word.size(); ++k) {
            for (const char left : variants(word[k], anyCase)) {
                for (const char right : variants(word[k + 1], anyCase)) {
                    const unsigned pair = unsigned(static_cast<unsigned char>(left)) << 8
                        | static_cast<unsigned char>(right);
                    m_joinPairs[pair >> 6] |= quint64(1) << (pair & 63);
                }
            }
        }
    };
    for (const Text &text : m_texts)
        addPairs(text.bytes, ignoreCase);
    for (const char *name : {"charset", "encoding", "base64"})
        addPairs(name, true);
}

bool JoinedScan::foldJoinsNothing(const char *data, qsizetype n, qsizetype q) const
{
    // q is the line end that a blank follows. The joined run around it can make a text,
    // a name or an escape only across the fold, from the byte before the line end and the
    // one after the blank; a text or a name as written is found where it stands.
    if (m_vcards || q + 2 >= n)
        return false;
    qsizetype last = q; // the line's last byte: before CR* LF, or a lone CR
    if (data[q] == '\n')
        while (last > 0 && data[last - 1] == '\r')
            --last;
    if (last < 2)
        return false;
    const auto left = static_cast<unsigned char>(data[last - 1]);
    const auto right = static_cast<unsigned char>(data[q + 2]);
    if (left == '=' || (hexValue(char(left)) >= 0 && data[last - 2] == '=')
        || left >= 0x80 || right >= 0x80 || isLineEnd(char(left)) || isLineEnd(char(right))
        || right == '=')
        return false;
    return !mayJoin(left, right);
}

JoinedScan::Verdict JoinedScan::run(QByteArrayView bytes,
                                    const std::function<bool(QByteArrayView)> &region,
                                    bool &nonAscii, CardFactsGatherer *gather) const
{
    const char *const data = bytes.data();
    const qsizetype n = bytes.size();
    // The bytes before these were judged: by a run's scan, or as whole lines.
    qsizetype runCovered = 0;
    qsizetype regionCovered = 0;

    // Hands the lines around [from, to) to region, once.
    const auto judgeLines = [&](qsizetype from, qsizetype to) {
        const qsizetype end = joinedBlockEnd(bytes, qMax(from, to - 1));
        if (end <= regionCovered)
            return false;
        const qsizetype start = regionStart(bytes, from, regionCovered);
        regionCovered = end;
        runCovered = qMax(runCovered, end);
        return region(bytes.sliced(start, end - start));
    };

    const auto textIn = [&](QByteArrayView text) {
        for (const Text &t : m_texts) {
            if (t.search.indexIn(text) >= 0)
                return true;
        }
        return false;
    };

    // The run of bytes a joined or decoded text may come from around the byte at q
    // (an "=", a line end, a byte outside ASCII), joined and decoded on its own. A run
    // around an escape alone needs only the bytes a text or an escape is made of; one
    // with a fold or a soft line break also the letters of the names and VCARD.
    qsizetype escapeCovered = 0;
    qsizetype junctionCovered = 0;
    const auto judgeRun = [&](qsizetype q, bool junction) {
        for (;;) {
            qsizetype &covered = junction ? junctionCovered : escapeCovered;
            const qsizetype floor = qMax(qMax(covered, junctionCovered), regionCovered);
            if (q < floor)
                return false;
            const std::array<bool, 256> &set = junction ? m_junctionBytes : m_escapeBytes;
            qsizetype a = q;
            while (a > floor && q - a < kMaxRun && set[static_cast<unsigned char>(data[a - 1])])
                --a;
            qsizetype b = q + 1;
            while (b < n && b - a < kMaxRun && set[static_cast<unsigned char>(data[b])])
                ++b;
            if (b - a >= kMaxRun) {
                covered = b;
                return m_vcards || judgeLines(a, b); // (a VCARD the lines make is not looked for)
            }
            char joined[kMaxRun];
            char decoded[kMaxRun];
            bool joins = false;
            const qsizetype joinedSize = joinInto(data + a, b - a, joined, joins);
            if (joins && !junction) {
                junction = true; // read again with the letters of the names
                continue;
            }
            covered = b;
            const QByteArrayView lines(joined, joinedSize);
            // Joining may make a text, VCARD or a name; texts and names as written are found
            // where they stand.
            if (joins && textIn(lines))
                return true;
            bool escapes = false;
            const qsizetype decodedSize = decodeInto(joined, joinedSize, decoded, escapes);
            const QByteArrayView last(decoded, decodedSize);
            if (escapes && textIn(last))
                return true;
            if (joins && m_vcards && vcardSearch().indexIn(lines) >= 0)
                return true;
            if (!m_triggers.isEmpty() && hasNonAscii(last)) {
                nonAscii = true;
                if (m_triggers.inRawBytes(last))
                    return true;
            }
            // A name whose meaning depends on the rest of its line: the line is judged whole.
            if (joins
                && (charsetSearch().indexIn(lines) >= 0 || encodingSearch().indexIn(lines) >= 0
                    || base64Search().indexIn(lines) >= 0))
                return judgeLines(a, b);
            return false;
        }
    };

    // Bytes outside ASCII that no escape or joined line touches read as they stand.
    // The run of non-ASCII bytes found last: each of its bytes is judged with the whole
    // run, found once, so that a long run costs its length and not its square.
    qsizetype runFrom = 0;
    qsizetype runTo = 0;
    const auto judgeNonAscii = [&](qsizetype q) {
        if (q < qMax(escapeCovered, junctionCovered))
            return false;
        if (q < runFrom || q >= runTo) {
            runFrom = q;
            while (runFrom > 0 && static_cast<unsigned char>(data[runFrom - 1]) >= 0x80)
                --runFrom;
            runTo = q + 1;
            while (runTo < n && static_cast<unsigned char>(data[runTo]) >= 0x80)
                ++runTo;
        }
        const qsizetype a = runFrom;
        const qsizetype b = runTo;
        if ((a > 0 && m_escapeBytes[static_cast<unsigned char>(data[a - 1])])
            || (b < n && m_escapeBytes[static_cast<unsigned char>(data[b])]))
            return judgeRun(q, false);
        escapeCovered = b;
        nonAscii = true;
        return m_triggers.inRawBytes(QByteArrayView(data + a, b - a));
    };

    // What the byte at q may start; true when a text may occur.
    const auto judgeAt = [&](qsizetype q) -> bool {
        const char c = data[q];
        for (const Text &t : m_texts) {
            const qsizetype m = t.bytes.size();
            if (n - q >= m && (c | t.firstBit) == t.bytes.front()
                && t.search.indexIn(QByteArrayView(data + q, m)) == 0)
                return true;
        }
        if (static_cast<unsigned char>(c) >= 0x80) {
            if (!m_triggers.isEmpty() && judgeNonAscii(q))
                return true;
        } else if (c == '=') {
            if (q + 1 < n && isLineEnd(data[q + 1])) {
                if (judgeRun(q, true))
                    return true;
            } else if (n - q >= 3) {
                // An escape matters when its byte may be a text's, or a trigger's.
                const int hi = hexValue(data[q + 1]);
                const int lo = hexValue(data[q + 2]);
                if (hi >= 0 && lo >= 0 && m_escapedBytes[std::size_t(hi * 16 + lo)]
                    && judgeRun(q, false))
                    return true;
            }
        } else if (isLineEnd(c)) {
            if (q + 1 < n && isBlank(data[q + 1]) && !foldJoinsNothing(data, n, q)
                && judgeRun(q, true))
                return true;
        }
        if (q < regionCovered)
            return false; // its lines were judged whole
        const char lower = char(c | 0x20);
        if (lower == 'c' && n - q >= 7 && namedAt(data, n, q, "CHARSET")) {
            // The CHARSET parameter's name, as the filter reads it from joined lines.
            qsizetype p = q + 7;
            while (p < n && isBlank(data[p]))
                ++p;
            if (p < n && data[p] == '=') {
                qsizetype start = p + 1;
                if (start < n && data[start] == '"')
                    ++start;
                qsizetype stop = start;
                while (stop < n && !endsCharsetName(data[stop]))
                    ++stop;
                // A fold after the name would join more to it.
                if (stop < n && isLineEnd(data[stop])) {
                    const qsizetype next = afterLineEndAt(data, n, stop);
                    if (next < n && isBlank(data[next]))
                        return judgeLines(q, next + 1);
                }
                if (!isPlainCharsetName(QByteArrayView(data + start, stop - start)))
                    return true;
            }
        } else if (lower == 'e' && n - q >= 8 && namedAt(data, n, q, "ENCODING")) {
            qsizetype p = q + 8;
            while (p < n && (isBlank(data[p]) || data[p] == '=' || data[p] == '"'))
                ++p;
            if (p < n && (data[p] | 0x20) == 'b' && !namesBinaryData(bytes, q))
                return judgeLines(q, p + 1);
        } else if (lower == 'b' && n - q >= 6 && cardreader::equalsNoCaseN(data + q, "BASE64", 6)) {
            return judgeLines(q, q + 6);
        }
        return false;
    };

    qsizetype i = 0;
#if defined(QUILLORY_SCAN_AVX2)
    static const bool wide = __builtin_cpu_supports("avx2");
    if (wide) {
        // Held in place: a file's test allocates nothing.
        QVarLengthArray<WideProbe, 8> probes;
        for (const Text &t : m_texts) {
            const auto bitOf
                = [&](char c) { return char(m_ignoreCase && c >= 'a' && c <= 'z' ? 0x20 : 0); };
            const char f = t.bytes.front();
            const char l = t.bytes.back();
            probes.push_back({f, bitOf(f), l, bitOf(l), t.bytes.size() - 1});
        }
        const EscapeDigits escapes{m_escapeDigits[0], m_escapeDigits[1], m_escapeDigits[2],
                                   m_escapeDigits[3]};
        const std::span<const WideProbe> probeSpan(probes.constData(),
                                                    std::size_t(probes.size()));
        const qsizetype reach = qMax(m_reach, qsizetype(1));
        const bool high = !m_triggers.isEmpty();
        i = !gather
            ? scanWide<Gathered::Nothing>(data, n, reach, probeSpan, escapes, high, judgeAt, gather)
            : gather->allFacts()
            ? scanWide<Gathered::All>(data, n, reach, probeSpan, escapes, high, judgeAt, gather)
            : scanWide<Gathered::Cards>(data, n, reach, probeSpan, escapes, high, judgeAt, gather);
        if (i < 0)
            return Verdict::Found;
    }
#endif
#if defined(__SSE2__)
    struct Probe
    {
        __m128i first, firstBit, last, lastBit;
        qsizetype offset;
    };
    QVarLengthArray<Probe, 8> probes;
    for (const Text &t : m_texts) {
        const auto bitOf
            = [&](char c) { return char(m_ignoreCase && c >= 'a' && c <= 'z' ? 0x20 : 0); };
        const char f = t.bytes.front();
        const char l = t.bytes.back();
        probes.push_back({_mm_set1_epi8(f), _mm_set1_epi8(bitOf(f)), _mm_set1_epi8(l),
                          _mm_set1_epi8(bitOf(l)), t.bytes.size() - 1});
    }
    const __m128i eq = _mm_set1_epi8('=');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i sp = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const __m128i lowC = _mm_set1_epi8('c');
    const __m128i lowT = _mm_set1_epi8('t');
    const __m128i lowE = _mm_set1_epi8('e');
    const __m128i lowG = _mm_set1_epi8('g');
    const __m128i lowB = _mm_set1_epi8('b');
    const __m128i four = _mm_set1_epi8('4');
    const bool nonAsciiMatters = !m_triggers.isEmpty();
    const auto chunk = [&](const char *c) {
        const auto at = [c](qsizetype k) {
            return _mm_loadu_si128(reinterpret_cast<const __m128i *>(c + k));
        };
        const __m128i v = at(0);
        const __m128i next = at(1);
        const __m128i lower = _mm_or_si128(v, caseBit);
        __m128i hits = _mm_cmpeq_epi8(v, eq);
        hits = _mm_or_si128(
            hits,
            _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)),
                          _mm_or_si128(_mm_cmpeq_epi8(next, sp), _mm_cmpeq_epi8(next, tab))));
        hits = _mm_or_si128(hits,
                            _mm_and_si128(_mm_cmpeq_epi8(lower, lowC),
                                          _mm_cmpeq_epi8(_mm_or_si128(at(6), caseBit), lowT)));
        hits = _mm_or_si128(hits,
                            _mm_and_si128(_mm_cmpeq_epi8(lower, lowE),
                                          _mm_cmpeq_epi8(_mm_or_si128(at(7), caseBit), lowG)));
        hits = _mm_or_si128(
            hits, _mm_and_si128(_mm_cmpeq_epi8(lower, lowB), _mm_cmpeq_epi8(at(5), four)));
        for (const Probe &probe : probes) {
            hits = _mm_or_si128(
                hits,
                _mm_and_si128(
                    _mm_cmpeq_epi8(_mm_or_si128(v, probe.firstBit), probe.first),
                    _mm_cmpeq_epi8(_mm_or_si128(at(probe.offset), probe.lastBit), probe.last)));
        }
        auto mask = unsigned(_mm_movemask_epi8(hits));
        if (nonAsciiMatters)
            mask |= unsigned(_mm_movemask_epi8(v));
        return mask;
    };
    const qsizetype reach = qMax(m_reach, qsizetype(1));
    for (; n - i >= 16 + reach; i += 16) {
        if (gather)
            gather->bytes(data + i, data + i + 16);
        for (unsigned mask = chunk(data + i); mask != 0; mask &= mask - 1) {
            if (judgeAt(i + __builtin_ctz(mask)))
                return Verdict::Found;
        }
    }
#endif
    if (gather)
        gather->bytes(data + i, data + n);
    for (; i < n; ++i) {
        const char c = data[i];
        const char lower = char(c | 0x20);
        bool maybe = c == '=' || isLineEnd(c) || lower == 'c' || lower == 'e' || lower == 'b'
            || (static_cast<unsigned char>(c) >= 0x80 && !m_triggers.isEmpty());
        for (const Text &t : m_texts)
            maybe = maybe || (c | 0x20) == (t.bytes.front() | 0x20);
        if (maybe && judgeAt(i))
            return Verdict::Found;
    }
    return Verdict::Clear;
}
