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
            if (std::strchr(" \t\r\n\\,;:=", c))
                m_fileUsable = false;
        }
        m_searches.emplace_back(needle, ignoreCase);
    }
    m_usable = !m_searches.empty();
    m_fileUsable = m_fileUsable && m_usable;
}

bool RawValueFilter::containsNeedle(QByteArrayView text) const
{
    for (const ByteSearch &search : m_searches) {
        if (search.indexIn(text) >= 0)
            return true;
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

/// True when the text before an "=" ends in the parameter name CHARSET, blanks
/// allowed in between, as the parser reads the parameters of a logical line.
bool namesCharset(QByteArrayView before)
{
    while (!before.isEmpty() && (before.back() == ' ' || before.back() == '\t'))
        before.chop(1);
    return before.size() >= 7 && qstrnicmp(before.data() + before.size() - 7, 7, "CHARSET", 7) == 0;
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
    const auto put = [&](const char *from, std::size_t length) {
        std::memcpy(out, from, length);
        out += length;
        if (outLiteral) {
            std::memcpy(outLiteral, from, length);
            outLiteral += length;
        }
    };
    while (p < end) {
        // Only line ends and "=" change the text: the bytes up to the next one are
        // taken as they are.
        const char *special = nextLineEndOrEquals(p, end);
        put(p, std::size_t(special - p));
        p = special;
        if (p == end)
            break;
        const char c = *p;
        if (isLineEnd(c)) {
            // A blank or tab after a line end is a fold.
            const char *next = afterLineEnd(p, end);
            if (next < end && (*next == ' ' || *next == '\t')) {
                p = next + 1;
                continue;
            }
            put("\n", 1);
            p = next;
            continue;
        }
        if (namesCharset(outLiteral ? QByteArrayView(literal.constData(), outLiteral)
                                    : QByteArrayView(buffer.constData(), out))) {
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
        if (end - p >= 2) {
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
        put(p, 1);
        ++p;
    }
    if (outLiteral
        && containsNeedle(QByteArrayView(literal.constData(), outLiteral - literal.constData())))
        return true;
    const QByteArrayView joined(buffer.constData(), out - buffer.constData());
    if (containsNeedle(joined))
        return true;
    // The Kelvin sign (E2 84 AA) and the long s (C5 BF) fold onto k and s.
    if (m_ignoreCase && hasNonAscii(joined)) {
        static const ByteSearch kelvin("\xE2\x84\xAA", false);
        static const ByteSearch longS("\xC5\xBF", false);
        if (kelvin.indexIn(joined) >= 0 || longS.indexIn(joined) >= 0)
            return true;
    }
    return false;
}

bool RawValueFilter::mayContain(QByteArrayView value) const
{
    if (!m_usable)
        return true;
    // Ignoring case, a character outside ASCII may fold onto an ASCII letter.
    if (m_ignoreCase && hasNonAscii(value))
        return true;
    return containsNeedle(value);
}
