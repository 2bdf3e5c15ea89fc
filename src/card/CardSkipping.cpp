#include "card/CardSkipping.h"

#include "card/AsciiText.h"
#include "card/LogicalLines.h"
#include "card/PropertyLine.h"

#include <cstring>

namespace cardreader {

const ByteSearch &endLineSearch()
{
    static const ByteSearch search("end:vcard", true);
    return search;
}

qsizetype plainEndLineEnd(QByteArrayView data, qsizetype start)
{
    const qsizetype n = data.size();
    if (start == 0 || !isLineEndByte(data[start - 1]))
        return -1;
    qsizetype before = start - 1;
    while (before >= 0 && isLineEndByte(data[before]))
        --before;
    if (before >= 0 && data[before] == '=')
        return -1;
    qsizetype end = start + 9;
    while (end < n && (data[end] == ' ' || data[end] == '\t'))
        ++end;
    if (end == n)
        return end;
    if (!isLineEndByte(data[end]))
        return -1;
    end = afterLineEnd(data, end);
    if (end < n && (data[end] == ' ' || data[end] == '\t'))
        return -1;
    return end;
}

CardSkipper::CardSkipper(QByteArrayView data, const CardParser::ValueFilter &filter)
    : m_data(data), m_filter(filter), m_vcards(data, vcardSearch())
{}

const ByteSearch &CardSkipper::vcardSearch()
{
    static const ByteSearch search("vcard", true);
    return search;
}

qsizetype CardSkipper::skippedEnd(qsizetype offset, qsizetype lineSize,
                                  const std::function<QByteArray()> &legacyCharset)
{
    // The first VCARD text after the BEGIN line must be the END line's own: any other
    // (a BEGIN or END line, or a value that looks like one) ends the skip at once.
    const qsizetype from = offset + lineSize;
    const qsizetype vcard = m_vcards.from(from);
    if (vcard == m_data.size() || vcard - 4 < from
        || !equalsNoCaseN(m_data.data() + vcard - 4, "END:", 4))
        return -1;
    const qsizetype hit = vcard - 4;
    if (hit != m_endLineAt) {
        m_endLineAt = hit;
        m_endLineEnd = plainEndLineEnd(m_data, hit);
    }
    const qsizetype end = m_endLineEnd;
    if (end < 0)
        return -1;
    const QByteArrayView card = m_data.sliced(offset, end - offset);
    QByteArray lines;
    if (m_filter.cardMayContain(card, legacyCharset, lines))
        return -1;
    // Every BEGIN and END line names VCARD: the card's own two must be the only ones
    // also once its lines are joined. The END line names it once, and no other VCARD
    // stands between: when the filter has ruled out others that joining makes, only
    // the BEGIN line is left to count.
    const bool beginLineOnly = lines.isNull() && m_filter.judgesJoinedVcards();
    if (lines.isNull() && !beginLineOnly)
        lines = joinedLines(card);
    const QByteArrayView counted = beginLineOnly ? card.first(lineSize) : QByteArrayView(lines);
    qsizetype found = beginLineOnly ? 1 : 0;
    for (qsizetype at = 0; found <= 2;) {
        const qsizetype next = vcardSearch().indexIn(counted.sliced(at));
        if (next < 0)
            break;
        ++found;
        at += next + 5;
    }
    return found == 2 ? end : -1;
}

QList<qsizetype> cutPoints(QByteArrayView bytes, int parts)
{
    QList<qsizetype> cuts;
    for (int k = 1; k < parts; ++k) {
        qsizetype from = qMax(bytes.size() / parts * k, cuts.isEmpty() ? 0 : cuts.last());
        qsizetype cut = -1;
        while (cut < 0) {
            const qsizetype hit = endLineSearch().indexIn(bytes.sliced(from));
            if (hit < 0)
                return cuts;
            cut = plainEndLineEnd(bytes, from + hit);
            from += hit + 1;
        }
        if (cut >= bytes.size())
            return cuts;
        cuts.append(cut);
    }
    return cuts;
}

namespace {

/// Calls take(position) for every place in the text where a line may name base64: each
/// BASE64, and each ENCODING followed by a B, until take returns true. Between ENCODING
/// and the B, blanks, "=" and a quote are passed over, as the parser passes over blanks
/// and a quote there, and as joinedLines may have dropped the "=" before a line end.
template<typename Take> bool anyBase64Name(QByteArrayView text, Take &&take)
{
    static const ByteSearch base64("base64", true);
    static const ByteSearch encoding("encoding", true);
    const qsizetype n = text.size();
    for (qsizetype at = 0;;) {
        const qsizetype hit = base64.indexIn(text.sliced(at));
        if (hit < 0)
            break;
        if (take(at + hit))
            return true;
        at += hit + 6;
    }
    for (qsizetype at = 0;;) {
        const qsizetype hit = encoding.indexIn(text.sliced(at));
        if (hit < 0)
            return false;
        at += hit + 8;
        qsizetype p = at;
        while (p < n && (text[p] == ' ' || text[p] == '\t' || text[p] == '=' || text[p] == '"'))
            ++p;
        if (p < n && (text[p] == 'b' || text[p] == 'B') && take(at - 8))
            return true;
    }
}

/// The bytes with every fold joined (a blank line ends folding), and each line ending in
/// LF. A logical line of the parser that is not quoted-printable is a line of it; a
/// quoted-printable one may be cut at its soft line breaks.
QByteArray foldedLines(QByteArrayView bytes)
{
    QByteArray out(bytes.size(), Qt::Uninitialized);
    char *o = out.data();
    const char *const begin = bytes.data();
    const char *const end = begin + bytes.size();
    LineEnds lineEnds(bytes);
    const char *p = begin;
    bool empty = true; // the physical line that p lies in is empty so far
    while (p < end) {
        const char *lineEnd = nextLineEnd(p, end);
        std::memcpy(o, p, std::size_t(lineEnd - p));
        o += lineEnd - p;
        if (lineEnd == end)
            break;
        empty = empty && lineEnd == p;
        const char *next = begin + lineEnds.after(lineEnd - begin);
        if (!empty && next < end && (*next == ' ' || *next == '\t')) {
            p = next + 1; // a fold
            empty = false;
            continue;
        }
        *o++ = '\n';
        p = next;
        empty = true;
    }
    out.truncate(o - out.constData());
    return out;
}

} // namespace

bool holdsBase64Text(QByteArrayView bytes, QByteArrayView joined)
{
    if (!anyBase64Name(joined, [](qsizetype) { return true; }))
        return false;
    // Photos in base64 are common: only a line read as text counts. Its line of the folded
    // bytes is the parser's.
    const QByteArray folded = foldedLines(bytes);
    const QByteArrayView lines(folded);
    // The line last read: a line is read once, however many names it holds.
    qsizetype lineStart = 0;
    qsizetype lineEnd = 0;
    const auto readsBase64Text = [&](qsizetype at) {
        if (at >= lineStart && at < lineEnd)
            return false;
        lineStart = lastIndexOfByte(lines.first(at), '\n') + 1;
        const qsizetype next = indexOfByte(lines.sliced(at), '\n');
        lineEnd = next < 0 ? lines.size() : at + next;
        const QByteArrayView line = lines.sliced(lineStart, lineEnd - lineStart);
        const qsizetype colon = valueColon(line);
        if (colon < 0 || at - lineStart >= colon)
            return false; // in a value
        const QByteArrayView namePart = line.first(colon);
        const Params params = parseParams(namePart);
        return params.base64 && !params.quotedPrintable
            && !isBinaryProperty(propertyBaseName(namePart));
    };
    return anyBase64Name(lines, readsBase64Text);
}

} // namespace cardreader
