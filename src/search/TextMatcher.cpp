#include "search/TextMatcher.h"

#include "card/CardBytes.h"
#include "card/Windows1252.h"

#include <cstring>

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
            m_fileUsable = false;
            return;
        }
        for (const char c : needle) {
            if (std::strchr(" \t\\,;:=", c))
                m_fileUsable = false;
        }
        m_needles.append(needle);
    }
    m_usable = !m_needles.isEmpty();
    m_fileUsable = m_fileUsable && m_usable;
}

bool RawValueFilter::containsNeedle(QByteArrayView text) const
{
    for (const QByteArray &needle : m_needles) {
        if (!m_ignoreCase) {
            if (text.indexOf(needle) >= 0)
                return true;
            continue;
        }
        // Candidates are found by memchr for the first letter in either case.
        const qsizetype m = needle.size();
        const char first = needle.at(0);
        const char firstUpper = (first >= 'a' && first <= 'z') ? char(first - 32) : first;
        if (text.size() < m)
            continue;
        const char *const data = text.data();
        const char *const last = data + (text.size() - m); // the last possible start
        const auto find = [&](const char *from, char c) {
            const void *hit = std::memchr(from, c, std::size_t(last - from + 1));
            return hit ? static_cast<const char *>(hit) : nullptr;
        };
        const char *lower = find(data, first);
        const char *upper = firstUpper == first ? nullptr : find(data, firstUpper);
        while (lower || upper) {
            const char *at = (lower && (!upper || lower < upper)) ? lower : upper;
            qsizetype j = 1;
            while (j < m
                   && char(lowerAscii(char16_t(static_cast<unsigned char>(at[j]))))
                       == needle.at(j))
                ++j;
            if (j == m)
                return true;
            const char *next = at < last ? at + 1 : nullptr;
            if (at == lower)
                lower = next ? find(next, first) : nullptr;
            else
                upper = next ? find(next, firstUpper) : nullptr;
        }
    }
    return false;
}

namespace {

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

/// The position after the line end at p: CR* LF, or a lone CR.
const char *afterLineEnd(const char *p, const char *end)
{
    const char *next = p;
    while (next < end && *next == '\r')
        ++next;
    return (next < end && *next == '\n') ? next + 1 : p + 1;
}

/// Charsets whose ASCII bytes stay the same ASCII text and whose other bytes give no
/// character that folds onto an ASCII letter.
bool isPlainCharset(QByteArrayView name)
{
    const QByteArray lower = name.toByteArray().trimmed().toLower();
    return isUtf8CompatibleCharset(name) || isWindows1252Name(name) || lower == "iso-8859-1"
        || lower == "latin1";
}

} // namespace

bool RawValueFilter::fileMayContain(QByteArrayView bytes) const
{
    if (!m_fileUsable)
        return true;
    // Most files that can match hold the text as it stands.
    if (containsNeedle(bytes))
        return true;
    // Otherwise the text is looked for with folds and soft line breaks joined, once
    // with "=XX" read as its byte (quoted-printable lines) and once as written
    // (every other line).
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    QByteArray buffer(bytes.size(), Qt::Uninitialized);
    char *out = buffer.data();
    // The text as written differs only where "=XX" was read: it is made at the first
    // one, from what the buffer holds by then.
    QByteArray literal;
    char *outLiteral = nullptr;
    const auto put = [&](char c) {
        *out++ = c;
        if (outLiteral)
            *outLiteral++ = c;
    };
    bool nonAscii = false;
    while (p < end) {
        const char c = *p;
        nonAscii |= (static_cast<unsigned char>(c) & 0x80) != 0;
        if (isLineEnd(c)) {
            // A blank or tab after a line end is a fold.
            const char *next = afterLineEnd(p, end);
            if (next < end && (*next == ' ' || *next == '\t')) {
                p = next + 1;
                continue;
            }
            put('\n');
            p = next;
            continue;
        }
        if (c == '=' && p - bytes.data() >= 7 && qstrnicmp(p - 7, 7, "CHARSET", 7) == 0) {
            // A charset that could turn bytes into other ASCII text rules the filter out.
            const char *start = p + 1;
            if (start < end && *start == '"')
                ++start;
            const char *stop = start;
            while (stop < end && !std::strchr(";:,\" \t\r\n", *stop))
                ++stop;
            if (!isPlainCharset(QByteArrayView(start, stop - start)))
                return true;
        }
        if (c == '=' && end - p >= 2) {
            if (isLineEnd(p[1])) { // a soft line break: the next line continues this one
                p = afterLineEnd(p + 1, end);
                continue;
            }
            if (end - p >= 3) {
                const int hi = hexDigitValue(p[1]);
                const int lo = hexDigitValue(p[2]);
                if (hi >= 0 && lo >= 0) {
                    if (!outLiteral) {
                        literal.resize(bytes.size());
                        const std::size_t made = std::size_t(out - buffer.constData());
                        std::memcpy(literal.data(), buffer.constData(), made);
                        outLiteral = literal.data() + made;
                    }
                    *out++ = char(hi * 16 + lo);
                    std::memcpy(outLiteral, p, 3);
                    outLiteral += 3;
                    p += 3;
                    continue;
                }
            }
        }
        put(c);
        ++p;
    }
    if (outLiteral
        && containsNeedle(QByteArrayView(literal.constData(), outLiteral - literal.constData())))
        return true;
    const QByteArrayView joined(buffer.constData(), out - buffer.constData());
    if (containsNeedle(joined))
        return true;
    // The Kelvin sign (E2 84 AA) and the long s (C5 BF) fold onto k and s.
    if (m_ignoreCase && nonAscii) {
        for (qsizetype i = 0; i + 1 < joined.size(); ++i) {
            const auto b = static_cast<unsigned char>(joined[i]);
            const auto next = static_cast<unsigned char>(joined[i + 1]);
            if ((b == 0xE2 && next == 0x84 && i + 2 < joined.size()
                 && static_cast<unsigned char>(joined[i + 2]) == 0xAA)
                || (b == 0xC5 && next == 0xBF))
                return true;
        }
    }
    return false;
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
