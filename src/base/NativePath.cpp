#include "base/NativePath.h"

#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // U+DC80 to U+DCFF hold the bytes 80 to FF

bool isEscape(char16_t u)
{
    return u >= 0xDC80 && u <= 0xDCFF;
}

/// The length of the valid UTF-8 sequence at bytes[i], or 0: overlong forms, surrogates
/// and code points past U+10FFFF are not valid.
int validSequence(QByteArrayView bytes, qsizetype i, char32_t &codePoint)
{
    const auto lead = static_cast<unsigned char>(bytes[i]);
    int length = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        codePoint = lead & 0x1F;
        least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        codePoint = lead & 0x0F;
        least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        codePoint = lead & 0x07;
        least = 0x10000;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (int k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(bytes[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < least || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

void appendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x80) {
        out.append(char(c));
    } else if (c < 0x800) {
        out.append(char(0xC0 | (c >> 6)));
        out.append(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.append(char(0xE0 | (c >> 12)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    } else {
        out.append(char(0xF0 | (c >> 18)));
        out.append(char(0x80 | ((c >> 12) & 0x3F)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    }
}

/// Calls onByte for each escaped byte of a name and onText for every other code point;
/// a surrogate pair is one code point, a lone surrogate outside the escapes U+FFFD.
template<typename Byte, typename Text> void walkName(QStringView name, Byte onByte, Text onText)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            onText(QChar::surrogateToUcs4(u, name[++i].unicode()));
        } else if (isEscape(u)) {
            onByte(static_cast<unsigned char>(u - kEscapeBase));
        } else {
            onText(QChar::isSurrogate(u) ? char32_t(QChar::ReplacementCharacter) : char32_t(u));
        }
    }
}

} // namespace

QString decodeFileName(QByteArrayView bytes)
{
    // Qt's decoder writes U+FFFD for what is not UTF-8 (without one the name was valid),
    // and drops a leading byte-order mark, which is part of a name.
    QString text;
    if (!bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes);
        if (!text.contains(QChar::ReplacementCharacter))
            return text;
        text.clear();
    }
    text.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        char32_t codePoint = 0;
        if (byte < 0x80) {
            text.append(QChar(char16_t(byte)));
            ++i;
        } else if (const int length = validSequence(bytes, i, codePoint)) {
            for (const char16_t unit : QChar::fromUcs4(codePoint))
                text.append(QChar(unit));
            i += length;
        } else {
            text.append(QChar(char16_t(kEscapeBase + byte)));
            ++i;
        }
    }
    return text;
}

QByteArray encodeFileName(QStringView path)
{
    bool surrogates = false;
    for (const QChar c : path) {
        if (c.unicode() == 0)
            return {};
        surrogates = surrogates || c.isSurrogate();
    }
    if (!surrogates)
        return path.toUtf8();
    QByteArray bytes;
    bytes.reserve(path.size() * 3);
    walkName(
        path, [&](unsigned char byte) { bytes.append(char(byte)); },
        [&](char32_t c) { appendUtf8(bytes, c); });
    return bytes;
}

bool hasUndecodableBytes(QStringView name)
{
    bool found = false;
    walkName(
        name, [&](unsigned char) { found = true; }, [](char32_t) {});
    return found;
}

QString displayFileName(QStringView name)
{
    if (!hasUndecodableBytes(name))
        return name.toString();
    QString shown;
    walkName(
        name,
        [&](unsigned char byte) { shown.append(u"\\x"_s + QString::number(byte, 16).toUpper()); },
        [&](char32_t c) {
            for (const char16_t unit : QChar::fromUcs4(c))
                shown.append(QChar(unit));
        });
    return shown;
}

QString localFilePath(const QUrl &url)
{
    if (!url.isLocalFile())
        return {};
    // A host makes a network path, which Qt's own form covers.
    if (!url.host().isEmpty())
        return url.toLocalFile();
    return decodeFileName(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

QUrl fileUrl(const QString &path)
{
    const QByteArray encoded = encodeFileName(path).toPercentEncoding("/");
    // As QUrl::fromLocalFile: a relative path has no "//", which would make it a host.
    return QUrl::fromEncoded((encoded.startsWith('/') ? "file://" : "file:") + encoded);
}
