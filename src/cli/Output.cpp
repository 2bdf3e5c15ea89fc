#include "cli/Output.h"

#include <cerrno>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

bool Output::write(QByteArrayView bytes)
{
    if (m_error != 0)
        return false;
    if (bytes.isEmpty())
        return true;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, std::size_t(bytes.size()), m_file)
        != std::size_t(bytes.size()))
        m_error = errno != 0 ? errno : EIO;
    return m_error == 0;
}

bool Output::writeText(QStringView text)
{
    // Almost no text holds such a byte: one pass without a branch tells.
    const char16_t *chars = text.utf16();
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i)
        any |= (chars[i] & 0xFF80) == 0xDC80;
    if (!any)
        return write(text.toUtf8());
    OutputBytes bytes;
    appendOutputBytes(bytes, text);
    return write(bytes.view());
}

void appendOutputBytes(OutputBytes &out, QStringView text)
{
    const auto escaped = [](QChar c) { return (c.unicode() & 0xFF80) == 0xDC80; };
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!escaped(text.at(i)))
            continue;
        // A lone U+DC80 to U+DCFF stands for a byte; in a valid pair it is a character.
        if (i > 0 && text.at(i - 1).isHighSurrogate())
            continue;
        out.append(text.sliced(from, i - from).toUtf8());
        const char byte = char(text.at(i).unicode() & 0xFF);
        out.append(QByteArrayView(&byte, 1));
        from = i + 1;
    }
    out.append(from == 0 ? text.toUtf8() : text.sliced(from).toUtf8());
}

void appendFlatCellBytes(OutputBytes &out, QStringView cell)
{
    // Most cells are ASCII and the rest mostly valid UTF-16: they are encoded here, a
    // control character made a space. From a lone surrogate on, the cell is flattened and
    // converted as writeText converts.
    const char16_t *chars = cell.utf16();
    const qsizetype n = cell.size();
    char *o = out.room(3 * n);
    qsizetype i = 0;
#if defined(__SSE2__)
    // Printable ASCII eight characters at a time.
    const __m128i space = _mm_set1_epi16(0x20);
    const __m128i del = _mm_set1_epi16(0x7F);
    for (; n - i >= 8; i += 8, o += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(chars + i));
        // Signed: a character from U+8000 on is below the space too.
        if (_mm_movemask_epi8(_mm_or_si128(_mm_cmplt_epi16(v, space), _mm_cmpgt_epi16(v, del)))
            != 0)
            break;
        _mm_storel_epi64(reinterpret_cast<__m128i *>(o), _mm_packus_epi16(v, v));
    }
#endif
    for (; i < n; ++i) {
        const char16_t c = chars[i];
        if (c < 0x80) {
            *o++ = c < 0x20 ? ' ' : char(c);
        } else if (c < 0x800) {
            *o++ = char(0xC0 | (c >> 6));
            *o++ = char(0x80 | (c & 0x3F));
        } else if (c < 0xD800 || c > 0xDFFF) {
            *o++ = char(0xE0 | (c >> 12));
            *o++ = char(0x80 | ((c >> 6) & 0x3F));
            *o++ = char(0x80 | (c & 0x3F));
        } else if (c < 0xDC00 && i + 1 < n && chars[i + 1] >= 0xDC00 && chars[i + 1] <= 0xDFFF) {
            const char32_t u = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (chars[i + 1] - 0xDC00);
            *o++ = char(0xF0 | (u >> 18));
            *o++ = char(0x80 | ((u >> 12) & 0x3F));
            *o++ = char(0x80 | ((u >> 6) & 0x3F));
            *o++ = char(0x80 | (u & 0x3F));
            ++i;
        } else {
            break;
        }
    }
    out.done(o);
    if (i == n)
        return;
    QString rest = cell.sliced(i).toString();
    for (QChar &c : rest) {
        if (c.unicode() < 0x20)
            c = u' ';
    }
    appendOutputBytes(out, rest);
}

bool Output::finish()
{
    if (m_error == 0) {
        errno = 0;
        if (std::fflush(m_file) != 0 || std::ferror(m_file))
            m_error = errno != 0 ? errno : EIO;
    }
    return m_error == 0;
}

QString Output::errorText() const
{
    return QString::fromLocal8Bit(std::strerror(m_error));
}

QString terminalText(QStringView text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            shown += QStringLiteral("\\x")
                + QString::number(c.unicode(), 16).toUpper().rightJustified(2, u'0');
        else
            shown += c;
    }
    return shown;
}
