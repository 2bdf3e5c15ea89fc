#include "card/CardSkipping.h"

#include "card/AsciiText.h"
#include "card/LogicalLines.h"

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
    // also once its lines are joined.
    if (lines.isNull())
        lines = CardParser::joinedLines(card);
    qsizetype found = 0;
    for (qsizetype at = 0; found <= 2;) {
        const qsizetype next = vcardSearch().indexIn(QByteArrayView(lines).sliced(at));
        if (next < 0)
            break;
        ++found;
        at += next + 5;
    }
    return found == 2 ? end : -1;
}

} // namespace cardreader

using namespace cardreader;

namespace {

/// True when the joined lines may name base64 on some line: they hold BASE64, or an
/// ENCODING followed by a B. Between the two, blanks, "=" and a quote are passed over,
/// as the parser passes over blanks and a quote there, and the joining may have dropped
/// the "=" before a line end that a fold continues.
bool mayNameBase64(QByteArrayView joined)
{
    static const ByteSearch base64("base64", true);
    static const ByteSearch encoding("encoding", true);
    if (base64.indexIn(joined) >= 0)
        return true;
    const qsizetype n = joined.size();
    for (qsizetype at = 0;;) {
        const qsizetype hit = encoding.indexIn(joined.sliced(at));
        if (hit < 0)
            return false;
        at += hit + 8;
        qsizetype p = at;
        while (p < n
               && (joined[p] == ' ' || joined[p] == '\t' || joined[p] == '=' || joined[p] == '"'))
            ++p;
        if (p < n && (joined[p] == 'b' || joined[p] == 'B'))
            return true;
    }
}

} // namespace

bool CardParser::holdsBase64Text(QByteArrayView bytes, QByteArrayView joined)
{
    if (!mayNameBase64(joined))
        return false;
    // Photos in base64 are common: only a line read as text counts.
    bool found = false;
    forEachLogicalLine(
        bytes,
        [&](QByteArrayView line, qsizetype, qsizetype, bool) -> qsizetype {
            const qsizetype colon = valueColon(line);
            if (colon < 0)
                return -1;
            const QByteArrayView namePart = line.first(colon);
            if (indexOfByte(namePart, ';') < 0)
                return -1;
            const Params params = parseParams(namePart);
            if (!params.base64 || params.quotedPrintable
                || isBinaryProperty(propertyBaseName(namePart)))
                return -1;
            found = true;
            return bytes.size();
        },
        nullptr);
    return found;
}

QList<qsizetype> CardParser::cutPoints(QByteArrayView bytes, int parts)
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
