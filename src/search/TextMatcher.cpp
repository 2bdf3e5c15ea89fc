#include "search/TextMatcher.h"

namespace {

inline char16_t lowerAscii(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

} // namespace

TextMatcher::TextMatcher(const QString &needle, bool ignoreCase)
    : m_needle(needle), m_ignoreCase(ignoreCase), m_asciiNeedle(true)
{
    m_lowerNeedle.resize(needle.size());
    for (qsizetype i = 0; i < needle.size(); ++i) {
        const char16_t c = needle.at(i).unicode();
        if (c >= 0x80)
            m_asciiNeedle = false;
        m_lowerNeedle[i] = QChar(lowerAscii(c));
    }
}

bool TextMatcher::matches(const QString &value) const
{
    if (value.isEmpty())
        return false;
    if (!m_ignoreCase)
        return value.contains(m_needle, Qt::CaseSensitive);
    if (m_asciiNeedle)
        return matchesIgnoringAsciiCase(value);
    return value.contains(m_needle, Qt::CaseInsensitive);
}

bool TextMatcher::matchesIgnoringAsciiCase(const QString &value) const
{
    const qsizetype m = m_lowerNeedle.size();
    const qsizetype n = value.size();
    if (m == 0)
        return true;
    const char16_t *v = reinterpret_cast<const char16_t *>(value.constData());
    const char16_t *needle = reinterpret_cast<const char16_t *>(m_lowerNeedle.constData());
    const char16_t first = needle[0];
    for (qsizetype i = 0; i + m <= n; ++i) {
        const char16_t c = v[i];
        // A character outside ASCII may fold onto an ASCII letter (the Kelvin sign
        // onto k): Unicode folding decides for this value.
        if (c >= 0x80)
            return value.contains(m_needle, Qt::CaseInsensitive);
        if (lowerAscii(c) != first)
            continue;
        qsizetype j = 1;
        for (; j < m; ++j) {
            const char16_t d = v[i + j];
            if (d >= 0x80)
                return value.contains(m_needle, Qt::CaseInsensitive);
            if (lowerAscii(d) != needle[j])
                break;
        }
        if (j == m)
            return true;
    }
    return false;
}

RawValueFilter::RawValueFilter(const QStringList &texts, bool ignoreCase) : m_ignoreCase(ignoreCase)
{
    for (const QString &text : texts) {
        bool ascii = !text.isEmpty();
        QByteArray needle;
        needle.reserve(text.size());
        for (const QChar c : text) {
            if (c.unicode() >= 0x80)
                ascii = false;
            needle.append(char(ignoreCase ? lowerAscii(c.unicode()) : c.unicode()));
        }
        if (!ascii) {
            m_usable = false;
            return;
        }
        m_needles.append(needle);
    }
    m_usable = !m_needles.isEmpty();
}

bool RawValueFilter::mayContain(QByteArrayView value) const
{
    if (!m_usable)
        return true;
    if (!m_ignoreCase) {
        for (const QByteArray &needle : m_needles) {
            if (value.indexOf(needle) >= 0)
                return true;
        }
        return false;
    }
    for (const char c : value) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    }
    for (const QByteArray &needle : m_needles) {
        const qsizetype m = needle.size();
        const char first = needle.at(0);
        for (qsizetype i = 0; i + m <= value.size(); ++i) {
            if (char(lowerAscii(char16_t(static_cast<unsigned char>(value[i])))) != first)
                continue;
            qsizetype j = 1;
            while (j < m
                   && char(lowerAscii(char16_t(static_cast<unsigned char>(value[i + j]))))
                       == needle.at(j))
                ++j;
            if (j == m)
                return true;
        }
    }
    return false;
}
