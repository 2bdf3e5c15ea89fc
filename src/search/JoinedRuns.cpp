#include "search/JoinedRuns.h"

#include "card/PropertyLine.h"
#include "card/Utf8Text.h"
#include "card/Windows1252.h"

namespace joinedscan {

/// The position after the line end at p (CR* LF, or a lone CR), as the lines are split.
qsizetype afterLineEndAt(const char *data, qsizetype n, qsizetype p)
{
    qsizetype k = p;
    while (k < n && data[k] == '\r')
        ++k;
    return (k < n && data[k] == '\n') ? k + 1 : p + 1;
}

/// The bytes with folds and soft line breaks joined, as cardreader::joinedLines joins
/// them; out holds at least as many bytes. Returns the size written, and whether a line
/// was joined to another.
qsizetype joinInto(const char *in, qsizetype n, char *out, bool &joins)
{
    char *o = out;
    joins = false;
    qsizetype p = 0;
    bool afterSoftBreak = false;
    while (p < n) {
        if (afterSoftBreak && isBlank(in[p]))
            ++p;
        qsizetype lineEnd = p;
        while (lineEnd < n && !isLineEnd(in[lineEnd]))
            ++lineEnd;
        const qsizetype run = lineEnd - p;
        std::memcpy(o, in + p, std::size_t(run));
        o += run;
        if (lineEnd == n)
            break;
        const bool softBreak = run > 0 && in[lineEnd - 1] == '=';
        const qsizetype next = afterLineEndAt(in, n, lineEnd);
        afterSoftBreak = softBreak;
        if (softBreak) {
            --o;
            p = next;
            joins = true;
            continue;
        }
        if (next < n && isBlank(in[next])) {
            p = next + 1;
            joins = true;
            continue;
        }
        *o++ = '\n';
        p = next;
    }
    return o - out;
}

/// Every "=XX" read as its byte, as the filter decodes joined lines. Returns the size
/// written, and whether an escape was read.
qsizetype decodeInto(const char *in, qsizetype n, char *out, bool &escapes)
{
    char *o = out;
    escapes = false;
    for (qsizetype p = 0; p < n;) {
        if (in[p] == '=' && n - p >= 3) {
            const int hi = hexValue(in[p + 1]);
            const int lo = hexValue(in[p + 2]);
            if (hi >= 0 && lo >= 0) {
                *o++ = char(hi * 16 + lo);
                p += 3;
                escapes = true;
                continue;
            }
        }
        *o++ = in[p++];
    }
    return o - out;
}

bool isPlainCharsetName(QByteArrayView name)
{
    const QByteArrayView trimmed = name.trimmed();
    if (cardreader::equalsNoCase(trimmed, "UTF-8"))
        return true; // the usual one, told without the longer lists
    return isUtf8CompatibleCharset(trimmed) || isWindows1252Name(trimmed)
        || trimmed.compare("iso-8859-1", Qt::CaseInsensitive) == 0
        || trimmed.compare("latin1", Qt::CaseInsensitive) == 0;
}

const ByteSearch &charsetSearch()
{
    static const ByteSearch search("charset", true);
    return search;
}

const ByteSearch &encodingSearch()
{
    static const ByteSearch search("encoding", true);
    return search;
}

const ByteSearch &base64Search()
{
    static const ByteSearch search("base64", true);
    return search;
}

const ByteSearch &vcardSearch()
{
    static const ByteSearch search("vcard", true);
    return search;
}

/// The largest place at or before pos, and not before floor, where a line starts that
/// no fold or soft line break joins to the line before; floor when there is none.
qsizetype regionStart(QByteArrayView bytes, qsizetype pos, qsizetype floor)
{
    const char *data = bytes.data();
    for (qsizetype q = pos; q > floor;) {
        const auto *lf
            = static_cast<const char *>(memrchr(data + floor, '\n', std::size_t(q - floor)));
        if (!lf)
            return floor;
        const qsizetype cut = lf - data + 1;
        q = cut - 1;
        if (cut < bytes.size() && isBlank(data[cut]))
            continue;
        qsizetype last = cut - 2;
        while (last >= 0 && data[last] == '\r')
            --last;
        if (last < 0 || data[last] != '=')
            return qMax(cut, floor);
    }
    return floor;
}

/// True when the name at q stands in the parameters of a line that starts a logical line
/// and names binary data (PHOTO, LOGO, SOUND, KEY), or in a value: the filter reads no
/// base64 text there. False when that is not plain from the line's first bytes.
bool namesBinaryData(QByteArrayView bytes, qsizetype q)
{
    constexpr qsizetype kLookBack = 256;
    const char *data = bytes.data();
    qsizetype start = q;
    while (start > 0 && q - start < kLookBack && !isLineEnd(data[start - 1]))
        --start;
    if ((start > 0 && !isLineEnd(data[start - 1])) || isBlank(data[start]))
        return false;
    const QByteArrayView head(data + start, q - start);
    if (head.contains('"'))
        return false;
    if (head.contains(':'))
        return true; // in a value
    const qsizetype semicolon = head.indexOf(';');
    return semicolon > 0
        && cardreader::isBinaryProperty(cardreader::propertyBaseName(head.first(semicolon)));
}

} // namespace joinedscan
