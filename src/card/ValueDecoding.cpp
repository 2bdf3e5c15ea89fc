#include "card/ValueDecoding.h"

#include "card/AsciiText.h"
#include "card/Charsets.h"
#include "card/PropertyLine.h"
#include "card/Utf8Text.h"

namespace cardreader {

QByteArray decodeQuotedPrintable(QByteArrayView in)
{
    QByteArray out(in.size(), Qt::Uninitialized);
    char *o = out.data();
    const char *p = in.data();
    const char *const end = p + in.size();
    while (p < end) {
        const char c = *p;
        if (c == '=' && end - p > 2) {
            const int hi = hexDigitValue(p[1]);
            const int lo = hexDigitValue(p[2]);
            if (hi >= 0 && lo >= 0) {
                *o++ = char(hi * 16 + lo);
                p += 3;
                continue;
            }
        }
        *o++ = c;
        ++p;
    }
    out.truncate(o - out.data());
    return out;
}

bool encodedValueBytes(QByteArrayView raw, const Params &params, QByteArray &out)
{
    if (params.quotedPrintable) {
        out = decodeQuotedPrintable(raw);
        return true;
    }
    if (!params.base64)
        return false;
    // Folded base64 keeps the blanks that indented its lines.
    QByteArray packed;
    packed.reserve(raw.size());
    for (const char c : raw) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            packed.append(c);
    }
    auto decoded = QByteArray::fromBase64Encoding(
        std::move(packed), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    out = std::move(*decoded);
    return true;
}

bool isBinaryValue(QByteArrayView baseName, const Params &params, QByteArrayView raw)
{
    if (isBinaryProperty(baseName)) {
        const QByteArrayView trimmed = trimmedBlanks(raw);
        return params.base64 || (trimmed.size() >= 5 && equalsNoCase(trimmed.first(5), "DATA:"));
    }
    if (!params.base64 || !params.charset.isEmpty())
        return false;
    QByteArray bytes;
    return encodedValueBytes(raw, params, bytes) && indexOfByte(bytes, '\0') >= 0;
}

void foldLineBreaks(QString &text)
{
    if (!text.contains(u'\r') && !text.contains(u'\n'))
        return;
    QChar *const begin = text.data();
    QChar *o = begin;
    const QChar *p = begin;
    const QChar *const end = p + text.size();
    while (p < end) {
        const QChar c = *p++;
        if (c == u'\r') {
            if (p < end && *p == u'\n')
                ++p;
            *o++ = u' ';
        } else {
            *o++ = c == u'\n' ? QChar(u' ') : c;
        }
    }
    text.truncate(o - begin);
}

void foldLineBreakBytes(QByteArray &bytes)
{
    if (indexOfByte(bytes, '\r') < 0 && indexOfByte(bytes, '\n') < 0)
        return;
    char *o = bytes.data();
    const char *p = bytes.constData();
    const char *const end = p + bytes.size();
    while (p < end) {
        const char c = *p++;
        if (c == '\r' && p < end && *p == '\n')
            ++p;
        *o++ = (c == '\r' || c == '\n') ? ' ' : c;
    }
    bytes.truncate(o - bytes.constData());
}

QString trimSpaces(QString s)
{
    if (s.isEmpty())
        return s;
    const QStringView trimmed = trimmedSpaces(s);
    const qsizetype begin = trimmed.data() - s.constData();
    if (begin + trimmed.size() < s.size())
        s.truncate(begin + trimmed.size());
    if (begin > 0)
        s.remove(0, begin);
    return s;
}

QStringView trimmedSpaces(QStringView s)
{
    while (!s.isEmpty() && s.front() == u' ')
        s = s.sliced(1);
    while (!s.isEmpty() && s.back() == u' ')
        s.chop(1);
    return s;
}

QString clean(QString s)
{
    if (s.contains(u'\r'))
        s.remove(u'\r');
    return s;
}

QString unescape(QString s)
{
    const qsizetype first = s.indexOf(u'\\');
    if (first < 0)
        return s;
    QChar *const begin = s.data();
    QChar *o = begin + first;
    const QChar *p = o;
    const QChar *const end = begin + s.size();
    while (p < end) {
        if (*p == u'\\' && p + 1 < end) {
            const QChar next = p[1];
            if (next == u',' || next == u';' || next == u':' || next == u'\\') {
                *o++ = next;
                p += 2;
                continue;
            }
            if (next == u'n' || next == u'N') {
                *o++ = u' ';
                p += 2;
                continue;
            }
        }
        *o++ = *p++;
    }
    s.truncate(o - begin);
    return s;
}

namespace {

bool holdsEscapeOrCr(QStringView s)
{
    for (const QChar c : s) {
        if (c == u'\\' || c == u'\r')
            return true;
    }
    return false;
}

} // namespace

QString cleanValue(QString s)
{
    if (holdsEscapeOrCr(s))
        return clean(trimSpaces(unescape(std::move(s))));
    return trimSpaces(std::move(s));
}

QString cleanValue(QStringView s)
{
    if (holdsEscapeOrCr(s))
        return clean(trimSpaces(unescape(s.toString())));
    return trimmedSpaces(s).toString();
}

QString cleanUntrimmed(QString s)
{
    if (holdsEscapeOrCr(s))
        return clean(unescape(std::move(s)));
    return s;
}

Components splitStructured(QStringView s)
{
    Components result;
    qsizetype start = 0;
    const auto add = [&](qsizetype end) {
        if (result.count < Components::kMaxParts)
            result.parts[result.count] = s.sliced(start, end - start);
        ++result.count;
    };
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c == u'\\') {
            ++i;
        } else if (c == u';') {
            add(i);
            start = i + 1;
        }
    }
    start = qMin(start, s.size());
    add(s.size());
    return result;
}

bool hasInvalidQuotedPrintable(QByteArrayView value)
{
    for (qsizetype at = indexOfByte(value, '='); at >= 0;) {
        if (value.size() - at < 3 || hexDigitValue(value[at + 1]) < 0
            || hexDigitValue(value[at + 2]) < 0)
            return true;
        const qsizetype next = indexOfByte(value.sliced(at + 3), '=');
        at = next < 0 ? -1 : at + 3 + next;
    }
    return false;
}

QString decodeValue(Charsets &charsets, QByteArrayView raw, const Params &params,
                    bool *invalidBase64)
{
    bool foreign = false;
    QByteArray bytes;
    const bool encoded = encodedValueBytes(raw, params, bytes);
    if (invalidBase64)
        *invalidBase64 = !encoded && params.base64 && !params.quotedPrintable;
    QString text = encoded ? charsets.decode(bytes, params.charset, true, foreign)
                           : charsets.decode(raw, params.charset, false, foreign);
    if (encoded || foreign)
        foldLineBreaks(text);
    return text;
}

} // namespace cardreader
