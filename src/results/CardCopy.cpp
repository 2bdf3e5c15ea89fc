#include "results/CardCopy.h"

#include "card/ByteSearch.h"
#include "card/CardParser.h"

#include <QCryptographicHash>

#include <algorithm>

namespace cardcopy {

namespace {

using Kind = CardParser::Line::Kind;

constexpr QByteArrayView kLineEnd("\r\n");
constexpr QByteArrayView kBeginLine("BEGIN:VCARD\r\n");
constexpr QByteArrayView kEndLine("END:VCARD\r\n");

/// The bytes after the last line end end in "=": a quoted-printable value's soft line
/// break would join the next line to it.
bool endsWithSoftBreak(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && (bytes.back() == '\r' || bytes.back() == '\n'))
        bytes.chop(1);
    return !bytes.isEmpty() && bytes.back() == '=';
}

} // namespace

/// Equal for two cards whose fields are equal.
Digest fieldsDigest(const ContactFields &fields)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const auto addNumber = [&hash](qint64 number) {
        hash.addData(QByteArrayView(reinterpret_cast<const char *>(&number), sizeof number));
    };
    const auto addText = [&](QStringView text) {
        addNumber(text.size());
        hash.addData(QByteArrayView(reinterpret_cast<const char *>(text.utf16()),
                                    text.size() * qsizetype(sizeof(char16_t))));
    };
    for (const ContactFieldInfo &field : declaredContactFields()) {
        if (!field.isList()) {
            addText(fields.*field.text);
            continue;
        }
        const TextList &values = fields.*field.list;
        addNumber(values.size());
        for (qsizetype i = 0; i < values.size(); ++i)
            addText(values.at(i));
    }
    // The values written over are found by a search too.
    const OverwrittenValues &overwritten = fields.Overwritten;
    addNumber(overwritten.texts.size());
    for (qsizetype i = 0; i < overwritten.texts.size(); ++i) {
        addNumber(overwritten.fields.at(i));
        addText(overwritten.texts.at(i));
    }
    // Eight bytes of the hash tell equal fields apart as well, at a quarter of the memory
    // per card.
    Digest digest;
    const QByteArrayView result = hash.resultView();
    std::copy_n(result.data(), digest.size(), digest.begin());
    return digest;
}

/// True when the card's bytes after the first context line, read as a file of their
/// own, give one card with these fields, also after the other context line, which then
/// stands in their front.
bool readsAlike(QByteArray &card, const Digest &digest)
{
    static const ByteSearch quotedPrintable("quoted-printable", true);
    const QByteArrayView bytes = QByteArrayView(card).sliced(kContexts[0].size());
    // Only a byte above 127, as it stands or quoted-printable, can be read in a legacy
    // charset.
    const bool legacyMatters = hasNonAscii(bytes) || quotedPrintable.indexIn(bytes) >= 0;
    for (int k = 0; k < (legacyMatters ? 2 : 1); ++k) {
        if (k > 0)
            std::copy(kContexts[k].begin(), kContexts[k].end(), card.data());
        qsizetype count = 0;
        bool same = false;
        CardParser::parse(CardBytes{card, CardEncoding::Legacy}, [&](ContactFields &&fields) {
            same = ++count == 1 && fieldsDigest(fields) == digest;
        });
        if (count != 1 || !same)
            return false;
    }
    return true;
}

void Places::sort()
{
    const auto byBegin = [](const Place &a, const Place &b) { return a.begin < b.begin; };
    if (!std::is_sorted(list.begin(), list.end(), byBegin))
        std::stable_sort(list.begin(), list.end(), byBegin);
    const auto nests = [this](std::size_t i) {
        return i + 1 < list.size() && list[i + 1].begin < list[i].end;
    };
    std::size_t i = 0;
    while (i < list.size() && !nests(i))
        ++i;
    if (i == list.size())
        return;
    after.resize(list.size());
    for (i = 0; i < list.size(); ++i) {
        const qsizetype end = list[i].end;
        after[i] = !nests(i)
            ? qint32(i + 1)
            : qint32(
                std::partition_point(list.begin() + qsizetype(i) + 1, list.end(),
                                     [end](const Place &place) { return place.begin < end; })
                - list.begin());
    }
}

qsizetype Places::endOf(qsizetype begin) const
{
    return std::lower_bound(list.begin(), list.end(), begin,
                            [](const Place &place, qsizetype b) { return place.begin < b; })
        ->end;
}

/// The card [begin, end) of the text, made to stand on its own in another file.
CardCopy cardBytes(const CardBytes &text, const Places &places, qsizetype begin, qsizetype end,
                   const std::function<QByteArray()> &legacyCharset)
{
    // A card written as an AGENT's escaped value is written as the card it holds.
    if (const QByteArray agent
        = CardParser::escapedAgentCard(QByteArrayView(text.bytes).sliced(begin, end - begin));
        !agent.isNull())
        return {kContexts[0].toByteArray() + agent, true};

    // The parts of the card outside the cards nested in it; a nested card's own nested
    // cards lie inside it.
    std::vector<Place> pieces;
    qsizetype at = begin;
    const std::deque<Place> &list = places.list;
    qsizetype nested
        = std::upper_bound(list.begin(), list.end(), begin,
                           [](qsizetype b, const Place &place) { return b < place.begin; })
        - list.begin();
    while (nested < qsizetype(list.size()) && list[std::size_t(nested)].begin < end) {
        pieces.push_back({qint32(at), list[std::size_t(nested)].begin});
        at = list[std::size_t(nested)].end;
        nested = places.next(nested);
    }
    pieces.push_back({qint32(at), qint32(end)});

    const QByteArrayView bytes(text.bytes);
    // Room for the most the copy can take, so that it never grows by a copy of itself: a
    // card may be as large as its file. Pages not written take no memory.
    constexpr qsizetype kMostAddedPerLine = 64; // ";CHARSET=" and a charset's name
    qsizetype most = kContexts[0].size() + kBeginLine.size() + kEndLine.size() + 2 * kLineEnd.size()
        + kMostAddedPerLine;
    for (const Place &piece : pieces) {
        const QByteArrayView part = bytes.sliced(piece.begin, piece.end - piece.begin);
        most += part.size()
            + (std::count(part.begin(), part.end(), '\n')
               + std::count(part.begin(), part.end(), '\r'))
                * kMostAddedPerLine;
    }
    QByteArray out;
    out.reserve(most);
    out.append(kContexts[0]);
    bool first = true;
    bool framed = false; // lines outside every card, framed by BEGIN and END lines of ours
    bool ended = false;
    bool charsetNamed = false;
    for (const Place &piece : pieces) {
        qsizetype copied = piece.begin;
        const auto copyTo = [&](qsizetype to) {
            out.append(bytes.sliced(copied, to - copied));
            copied = to;
        };
        CardParser::forEachLine(
            text, piece.begin, piece.end, legacyCharset, [&](const CardParser::Line &line) {
                if (first) {
                    first = false;
                    framed = line.kind != Kind::Begin;
                    if (framed) {
                        out.append(kBeginLine);
                        // A blank line, so that a line that begins with a blank does not
                        // continue the BEGIN line.
                        if (bytes[line.begin] == ' ' || bytes[line.begin] == '\t')
                            out.append(kLineEnd);
                    }
                }
                ended = line.kind == Kind::End;
                if (framed && ended) {
                    // An END line outside every card ends nothing; inside the frame it would.
                    copyTo(line.begin);
                    copied = line.end;
                    ended = false;
                    return;
                }
                if (line.ownCharset.isEmpty() || line.colon < 0)
                    return;
                copyTo(line.begin);
                const QByteArray parameter = ";CHARSET=" + line.ownCharset;
                const QByteArrayView physical = bytes.sliced(line.begin, line.end - line.begin);
                // The first physical line is the joined line's start.
                const auto lineEnd = std::find_if(physical.begin(), physical.end(),
                                                  [](char c) { return c == '\r' || c == '\n'; });
                if (line.colon < lineEnd - physical.begin()) {
                    out.append(physical.first(line.colon));
                    out.append(parameter);
                    out.append(physical.sliced(line.colon));
                } else {
                    // The colon lies in a continuation line: the line is written joined.
                    out.append(line.text.first(line.colon));
                    out.append(parameter);
                    out.append(line.text.sliced(line.colon));
                    out.append(kLineEnd);
                }
                copied = line.end;
                charsetNamed = true;
            });
        copyTo(piece.end);
        // A card nested from the middle of a line (AGENT:BEGIN:VCARD) leaves its line
        // unended: the line after the nested card must not continue it.
        if (&piece != &pieces.back() && !out.endsWith('\n') && !out.endsWith('\r'))
            out.append(kLineEnd);
    }
    if (first) {
        // The one empty card of a file that holds none.
        out.append(kBeginLine);
        framed = true;
    }
    const bool lineEndAdded = !out.endsWith('\n') && !out.endsWith('\r');
    if (lineEndAdded)
        out.append(kLineEnd);
    if (framed || !ended) {
        if (endsWithSoftBreak(out))
            out.append(kLineEnd);
        out.append(kEndLine);
    }
    return {out, pieces.size() > 1 || framed || !ended || lineEndAdded || charsetNamed};
}

} // namespace cardcopy
