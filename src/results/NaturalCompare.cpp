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
