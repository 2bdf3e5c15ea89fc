#include "cli/Output.h"

#include <cerrno>
#include <cstring>

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
    const auto escaped = [](QChar c) { return (c.unicode() & 0xFF80) == 0xDC80; };
    // Almost no text holds such a byte: one pass without a branch tells.
    const char16_t *chars = text.utf16();
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i)
        any |= (chars[i] & 0xFF80) == 0xDC80;
    if (!any)
        return write(text.toUtf8());
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!escaped(text.at(i)))
            continue;
        // A lone U+DC80 to U+DCFF stands for a byte; in a valid pair it is a character.
        if (i > 0 && text.at(i - 1).isHighSurrogate())
            continue;
        write(text.sliced(from, i - from).toUtf8());
        const char byte = char(text.at(i).unicode() & 0xFF);
        write(QByteArrayView(&byte, 1));
        from = i + 1;
    }
    return write(text.sliced(from).toUtf8());
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
