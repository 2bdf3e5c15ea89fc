#include "card/ReadFacts.h"

#include "card/AsciiText.h"
#include "card/ByteSearch.h"
#include "card/CardParser.h"
#include "card/Charsets.h"
#include "card/LogicalLines.h"
#include "card/PropertyLine.h"
#include "card/Utf8Text.h"
#include "card/ValueDecoding.h"

#include <algorithm>

using namespace cardreader;

void ReadFacts::addLater(const ReadFacts &later)
{
    for (std::size_t k = 0; k < kProblemKinds; ++k) {
        Tally &tally = problems[k];
        if (tally.count == 0)
            tally.first = later.problems[k].first;
        tally.count += later.problems[k].count;
    }
    cards += later.cards;
    // Each part without a card tells so; the file has none only when no part has one.
    if (cards > 0)
        problems[std::size_t(Problem::NoCard)] = {};
    if (charsetWay == CharsetWay::None) {
        charsetWay = later.charsetWay;
        charset = later.charset;
        detector = later.detector;
    }
}

void ReadFacts::placeLines(QByteArrayView text)
{
    // The places are few and asked in any order: each is counted from the start.
    for (Tally &tally : problems) {
        if (tally.count > 0 && tally.first >= 0)
            tally.first = 1
                + cardreader::countLineEnds(text.first(qMin(qsizetype(tally.first), text.size())));
    }
}

bool ReadFacts::hasProblems() const
{
    if (notRead != NotRead::No || changedWhileRead)
        return true;
    for (const Tally &tally : problems) {
        if (tally.count > 0)
            return true;
    }
    return false;
}

bool ReadFacts::isNoteworthy() const
{
    return hasProblems() || (charsetWay != CharsetWay::Utf8 && charsetWay != CharsetWay::None);
}

void decideCharset(const CardBytes &text, ReadFacts &facts)
{
    using Way = ReadFacts::CharsetWay;
    switch (text.encoding) {
    case CardEncoding::Legacy:
        break;
    case CardEncoding::Utf8Bom:
        facts.charsetWay = Way::Mark;
        facts.charset = "UTF-8";
        return;
    case CardEncoding::Utf16LE:
    case CardEncoding::Utf16BE:
        facts.charsetWay = text.markBytes > 0 ? Way::Mark : Way::Utf16Zeros;
        facts.charset = text.encoding == CardEncoding::Utf16LE ? "UTF-16LE" : "UTF-16BE";
        return;
    case CardEncoding::Utf32LE:
    case CardEncoding::Utf32BE:
        facts.charsetWay = Way::Mark;
        facts.charset = text.encoding == CardEncoding::Utf32LE ? "UTF-32LE" : "UTF-32BE";
        return;
    }
    if (facts.charsetWay == Way::None) {
        cardreader::Charsets charsets(text.bytes, false);
        facts.charset = charsets.legacyCharset();
        facts.charsetWay = charsets.legacyWay();
        facts.detector = charsets.detectorAnswer();
    }
    if (facts.charsetWay == Way::Utf8)
        facts.charset.clear();
    else if (facts.charset.isEmpty())
        facts.charset = "windows-1252";
}

namespace {

/// Rules out every value and card: a parse with it decodes only what a card's contact
/// name needs, and hands out no row.
class NothingFilter final : public CardParser::ValueFilter
{
public:
    bool mayContain(QByteArrayView) const override { return false; }
    bool cardMayContain(QByteArrayView, const std::function<QByteArray()> &,
                        QByteArray &) const override
    {
        return false;
    }
};

bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

/// Where the line of a BEGIN or END line whose name starts at start and whose VCARD
/// ends at end stops, when the line stands on its own as a plain one: it starts a line
/// that continues no soft line break, holds only blanks after VCARD, and no fold
/// continues it. -1 otherwise.
qsizetype plainBoundaryEnd(QByteArrayView data, qsizetype start, qsizetype end)
{
    if (start > 0) {
        if (!isLineEnd(data[start - 1]))
            return -1;
        qsizetype before = start - 1;
        while (before >= 0 && isLineEnd(data[before]))
            --before;
        if (before >= 0 && data[before] == '=')
            return -1;
    }
    const qsizetype n = data.size();
    while (end < n && (data[end] == ' ' || data[end] == '\t'))
        ++end;
    if (end == n)
        return end;
    if (!isLineEnd(data[end]))
        return -1;
    end = cardreader::afterLineEnd(data, end);
    if (end < n && (data[end] == ' ' || data[end] == '\t'))
        return -1;
    return end;
}

bool isBlankText(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (c != ' ' && c != '\t' && !isLineEnd(c))
            return false;
    }
    return true;
}

/// The number of cards when the text is cards one after the other, each from a plain
/// BEGIN line to a plain END line with no other VCARD between, and nothing but blanks
/// between them; -1 when it is anything else.
qint64 plainCards(QByteArrayView data)
{
    static const ByteSearch vcard("vcard", true);
    qint64 cards = 0;
    qsizetype after = 0; // where the last card ended
    bool open = false;
    for (qsizetype at = 0;;) {
        const qsizetype hit = vcard.indexIn(data.sliced(at));
        if (hit < 0)
            break;
        const qsizetype word = at + hit;
        at = word + 5;
        const bool begin = word >= 6 && cardreader::equalsNoCaseN(data.data() + word - 6, "BEGIN:", 6);
        const bool end = !begin && word >= 4 && cardreader::equalsNoCaseN(data.data() + word - 4, "END:", 4);
        if (begin == open || (!begin && !end))
            return -1;
        const qsizetype start = word - (begin ? 6 : 4);
        const qsizetype lineEnd = plainBoundaryEnd(data, start, at);
        if (lineEnd < 0)
            return -1;
        if (begin) {
            if (!isBlankText(data.sliced(after, start - after)))
                return -1;
            ++cards;
        } else {
            after = lineEnd;
        }
        open = begin;
        at = lineEnd;
    }
    return open || cards == 0 || !isBlankText(data.sliced(after)) ? -1 : cards;
}

} // namespace

namespace {

/// False when the line that starts at start surely holds no encoded value kept as
/// written: a quoted-printable value whose every "=" two hex digits or a line end follow,
/// or binary data; true when it has to be read.
bool mayHoldBadValue(QByteArrayView bytes, qsizetype start)
{
    const qsizetype n = bytes.size();
    qsizetype end = start;
    while (end < n && !isLineEnd(bytes[end]))
        ++end;
    const QByteArrayView line = bytes.sliced(start, end - start);
    const qsizetype colon = indexOfByte(line, ':');
    if (colon < 0)
        return true;
    const QByteArrayView name = propertyBaseName(line.first(colon));
    for (const char *binary : {"PHOTO", "LOGO", "SOUND", "KEY"}) {
        if (equalsNoCase(name, binary))
            return false;
    }
    static const ByteSearch printable("printable", true);
    if (printable.indexIn(line.first(colon)) < 0)
        return true; // base64 text: rare, read
    // The value's lines, while each ends in a soft line break.
    for (qsizetype at = start + colon + 1; at < n; ++at) {
        const char c = bytes[at];
        if (isLineEnd(c)) {
            if (bytes[at - 1] != '=')
                return false;
            at = afterLineEnd(bytes, at) - 1;
            continue;
        }
        if (c != '=')
            continue;
        if (at + 1 < n && isLineEnd(bytes[at + 1]))
            continue;
        if (n - at < 3 || hexDigitValue(bytes[at + 1]) < 0 || hexDigitValue(bytes[at + 2]) < 0)
            return true;
    }
    return true; // ends with the bytes: read
}

} // namespace

void scanEncodedValues(QByteArrayView bytes, qsizetype base, ReadFacts &facts)
{
    static const ByteSearch names[] = {ByteSearch("printable", true), ByteSearch("base64", true),
                                       ByteSearch("encoding=b", true)};
    qsizetype done = 0; // lines before this are read
    QList<qsizetype> lines; // the starts of the lines that name an encoding, in order
    for (const ByteSearch &name : names) {
        for (qsizetype at = 0;;) {
            const qsizetype hit = name.indexIn(bytes.sliced(at));
            if (hit < 0)
                break;
            qsizetype start = at + hit;
            while (start > 0 && !isLineEnd(bytes[start - 1]))
                --start;
            lines.append(start);
            at += hit + 1;
        }
    }
    std::sort(lines.begin(), lines.end());
    for (const qsizetype start : std::as_const(lines)) {
        if (start < done || !mayHoldBadValue(bytes, start))
            continue;
        cardreader::forEachLogicalLine(
            bytes.sliced(start),
            [&](QByteArrayView line, qsizetype, qsizetype end, bool) -> qsizetype {
                done = start + end;
                PropertyLine property;
                splitPropertyLine(line, property);
                if (property.namePart.isEmpty())
                    return bytes.size();
                const Params params = parseParams(property.namePart);
                if (cardreader::isBinaryValue(propertyBaseName(property.namePart), params,
                                              property.value))
                    return bytes.size();
                QByteArray decoded;
                if (params.quotedPrintable && cardreader::hasInvalidQuotedPrintable(property.value))
                    facts.note(ReadFacts::Problem::InvalidQuotedPrintable, base + start);
                else if (params.base64 && !params.quotedPrintable
                         && !cardreader::encodedValueBytes(property.value, params, decoded))
                    facts.note(ReadFacts::Problem::InvalidBase64, base + start);
                return bytes.size();
            },
            nullptr);
    }
}

void scanCardFacts(const CardBytes &text, ReadFacts &facts)
{
    if (const qint64 cards = plainCards(text.bytes); cards > 0) {
        facts.cards += cards;
        scanEncodedValues(text.bytes, 0, facts);
        return;
    }
    static const NothingFilter nothing;
    ParseOptions options;
    options.facts = &facts;
    CardParser::parse(text, [](ContactFields &&) {}, &nothing, nullptr, options);
}
