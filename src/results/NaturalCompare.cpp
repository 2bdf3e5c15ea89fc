#include "results/NaturalCompare.h"

#include <QChar>

namespace {

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

/// The case-folded code point at i, moving i past it.
char32_t foldedAt(QStringView text, qsizetype &i)
{
    const char16_t c = text[i++].unicode();
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? char32_t(c + 32) : char32_t(c);
    char32_t code = c;
    if (QChar::isHighSurrogate(c) && i < text.size() && text[i].isLowSurrogate())
        code = QChar::surrogateToUcs4(c, text[i++].unicode());
    return QChar::toCaseFolded(code);
}

/// Compares the digit runs that start at i and j by their number, moving both past
/// their run. The runs are compared as text once their leading zeros are gone: the
/// longer number is the larger, so no run is too long for it.
int compareNumbers(QStringView a, qsizetype &i, QStringView b, qsizetype &j)
{
    while (i < a.size() && a[i] == u'0')
        ++i;
    while (j < b.size() && b[j] == u'0')
        ++j;
    const qsizetype aStart = i;
    const qsizetype bStart = j;
    while (i < a.size() && isDigit(a[i].unicode()))
        ++i;
    while (j < b.size() && isDigit(b[j].unicode()))
        ++j;
    if (i - aStart != j - bStart)
        return i - aStart < j - bStart ? -1 : 1;
    for (qsizetype k = 0; k < i - aStart; ++k) {
        if (a[aStart + k] != b[bStart + k])
            return a[aStart + k] < b[bStart + k] ? -1 : 1;
    }
    return 0;
}

} // namespace

int naturalCompare(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i].unicode()) && isDigit(b[j].unicode())) {
            if (const int order = compareNumbers(a, i, b, j))
                return order;
            continue;
        }
        // A digit against another character compares as the digit itself: no letter
        // folds into a digit, so every number sorts where its digits would.
        const char32_t x = foldedAt(a, i);
        const char32_t y = foldedAt(b, j);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    const int order = a.compare(b, Qt::CaseSensitive);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

namespace {

/// Tokens of a key. A text that ends pads with kEnd, so the shorter text sorts first.
/// Characters take their folded code point + 2. Digits never become character tokens,
/// so a run of digits takes their first slot: it sorts between '/' and ':' as its first
/// digit would against any other character. The run goes on with its length without
/// leading zeros and then its digits, as compareNumbers() compares them.
constexpr quint32 kEnd = 0;
constexpr quint32 kCharBase = 2;
constexpr quint32 kDigits = u'0' + kCharBase;
/// A value too large for a token; the key ends with it: two keys that agree up to it
/// tie, and the cells decide.
constexpr quint32 kClamped = 0xFFFF;

class KeyWriter
{
public:
    /// Adds a token; false once the key is full or ended by a clamped token.
    bool put(quint64 value)
    {
        const quint64 token = value < kClamped ? value : kClamped;
        const int shift = 48 - 16 * (m_used % 4);
        (m_used < 4 ? m_key.high : m_key.low) |= token << shift;
        ++m_used;
        return token != kClamped && m_used < 8;
    }
    NaturalKey key() const { return m_key; }

private:
    NaturalKey m_key; // zero: every unused token is kEnd
    int m_used = 0;
};

} // namespace

NaturalKey naturalKey(QStringView text, qsizetype from)
{
    static_assert(kEnd == 0 && kDigits > u'/' + kCharBase && kDigits < u':' + kCharBase);
    KeyWriter key;
    qsizetype i = from;
    while (i < text.size()) {
        if (!isDigit(text[i].unicode())) {
            if (!key.put(quint64(foldedAt(text, i)) + kCharBase))
                break;
            continue;
        }
        while (i < text.size() && text[i] == u'0')
            ++i;
        const qsizetype start = i;
        while (i < text.size() && isDigit(text[i].unicode()))
            ++i;
        bool more = key.put(kDigits) && key.put(quint64(i - start));
        for (qsizetype k = start; more && k < i; ++k)
            more = key.put(text[k].unicode() - u'0' + 1);
        if (!more)
            break;
    }
    return key.key();
}

qsizetype naturalKeyStart(QStringView shared)
{
    qsizetype end = shared.size();
    if (end > 0 && shared[end - 1].isHighSurrogate())
        --end;
    while (end > 0 && isDigit(shared[end - 1].unicode()))
        --end;
    return end;
}
