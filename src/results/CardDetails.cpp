#include "results/CardDetails.h"

#include "card/CardBlocks.h"
#include "card/CardFile.h"
#include "card/CardParser.h"
#include "card/CharsetDetection.h"
#include "card/Utf8Text.h"
#include "card/Windows1252.h"
#include "search/FieldMatching.h"

using namespace Qt::StringLiterals;

namespace {

// A card is shown up to this many bytes, lines, properties and characters of a value,
// so that a hostile card of a gigabyte cannot stall the window.
// Bytes: as many as a card's digest covers, so that all that is shown is checked.
constexpr qsizetype kShownBytes = kCardDigestBytes;
constexpr qsizetype kShownLines = 5000;
constexpr qsizetype kShownProperties = 2000;
constexpr qsizetype kShownValue = 2000;

QString shortened(QString text)
{
    if (text.size() > kShownValue) {
        qsizetype cut = kShownValue - 1;
        if (text.at(cut - 1).isHighSurrogate())
            --cut;
        text.truncate(cut);
        text.append(u'…');
    }
    return text;
}

/// A line's bytes as text: UTF-8 when they are, else Windows-1252, the reading of most
/// legacy files.
QString lineText(QByteArrayView bytes)
{
    return shortened(isValidUtf8(bytes) ? QString::fromUtf8(bytes) : decodeWindows1252(bytes));
}

/// The index of the property that gave the row's value, or -1.
qsizetype matchedProperty(const QList<CardParser::Property> &properties, const ResultRow &row)
{
    const FieldTag tag = fieldOfTag(row.Tag);
    if (tag.field < 0) {
        // Another property's row: its first line of that name with the row's value, as its
        // value or as a text the line adds beside its fields, else its first line of that
        // name.
        qsizetype named = -1;
        for (qsizetype i = 0; i < properties.size(); ++i) {
            const CardParser::Property &property = properties.at(i);
            if (property.name != row.Tag)
                continue;
            if (property.value == row.Value)
                return i;
            const TextList &added = property.fields.Others.values;
            for (qsizetype a = 0; a < added.size(); ++a) {
                if (added.at(a) == row.Value)
                    return i;
            }
            if (named < 0)
                named = i;
        }
        return named;
    }
    const ContactFieldInfo &field = searchedContactFields()[std::size_t(tag.field)];
    const quint64 element = tag.position == 0 ? 0 : tag.position - 1;
    if (field.isList()) {
        // The list's elements come one per line, in order.
        quint64 seen = 0;
        for (qsizetype i = 0; i < properties.size(); ++i) {
            if ((properties.at(i).fields.*field.list).isEmpty())
                continue;
            if (seen++ == element)
                return i;
        }
        return -1;
    }
    // A text field holds the last line's value that wrote it: the last line that wrote
    // the row's value, else the last that wrote the field at all.
    qsizetype wrote = -1;
    for (qsizetype i = properties.size() - 1; i >= 0; --i) {
        const QString &value = properties.at(i).fields.*field.text;
        if (value.isEmpty())
            continue;
        if (value == row.Value)
            return i;
        if (wrote < 0)
            wrote = i;
    }
    return wrote;
}

} // namespace

CardDetails describeCard(const ResultRow &row, const CardBytes &text, qsizetype from,
                         bool fileChanged, const cardreader::LegacyCharsetSource *wholeFile)
{
    CardDetails details;
    details.searchText = row.Text;
    details.title = u"Card %1, line %2"_s.arg(row.Card.number).arg(row.Card.line);
    if (!row.Contact.isEmpty())
        details.title += u": "_s + row.Contact;
    const CardPlace &card = row.Card;
    QStringList notes;
    const qsizetype length = card.end - card.begin;
    const qsizetype end = card.begin + qMin(length, kShownBytes);
    const bool there = card.begin >= from && length > 0 && end - from <= text.bytes.size();
    // The bytes shown are the row's card only when they read as they did; a row without
    // a digest is trusted where its file's stamp says it has not changed.
    const bool same = there
        && (card.digest != 0
                ? cardDigest(QByteArrayView(text.bytes).sliced(card.begin - from, end - card.begin),
                             length)
                    == card.digest
                : !fileChanged);
    if (!same) {
        details.note
            = QString::fromUtf16(kFileChangedNote) + u": the card is no longer where it was."_s;
        return details;
    }
    if (fileChanged)
        notes.append(QString::fromUtf16(kFileChangedNote) + u", but not this card."_s);
    if (end < card.end)
        notes.append(u"The card is too long to show whole: its first %1 bytes are shown."_s.arg(
            kShownBytes));
    // The parser reads the text from its start: the card's offsets are made the text's.
    const QList<CardParser::Property> properties
        = CardParser::properties(text, card.begin - from, end - from, kShownProperties,
                                 wholeFile);
    const qsizetype matched = matchedProperty(properties, row);
    for (qsizetype i = 0; i < properties.size(); ++i) {
        const CardParser::Property &property = properties.at(i);
        details.properties.append(
            {property.name, property.types.join(u", "_s), shortened(property.value), i == matched});
    }

    // The lines as they stand, each numbered in the file.
    const QByteArrayView bytes
        = QByteArrayView(text.bytes).sliced(card.begin - from, end - card.begin);
    details.firstLine = card.line;
    qsizetype matchFrom = -1;
    qsizetype matchTo = -1;
    if (matched >= 0) {
        matchFrom = properties.at(matched).begin - (card.begin - from);
        matchTo = properties.at(matched).end - (card.begin - from);
    }
    qsizetype at = 0;
    while (at < bytes.size() && details.lines.size() < kShownLines) {
        qsizetype lineEnd = at;
        while (lineEnd < bytes.size() && bytes[lineEnd] != '\r' && bytes[lineEnd] != '\n')
            ++lineEnd;
        if (at >= matchFrom && at < matchTo)
            details.matchedLines.append(details.lines.size());
        details.lines.append(lineText(bytes.sliced(at, lineEnd - at)));
        // One line end: CR* LF, or a lone CR.
        qsizetype next = lineEnd;
        while (next < bytes.size() && bytes[next] == '\r')
            ++next;
        at = next < bytes.size() && bytes[next] == '\n' ? next + 1
                                                        : qMin(lineEnd + 1, bytes.size());
    }
    if (at < bytes.size() && end == card.end)
        notes.append(u"The card is too long to show whole: its first %1 lines are shown."_s.arg(
            kShownLines));
    if (matched < 0 && properties.size() >= kShownProperties)
        notes.append(
            u"The card is too long to show whole: its first %1 properties are shown."_s.arg(
                kShownProperties));
    else if (matched < 0 && end == card.end)
        notes.append(card.digest != 0
                         ? u"The line that gave this row is not marked."_s
                         : u"The line that gave this row was not found: the file may have "
                           "changed since the search."_s);
    details.note = notes.join(u' ');
    return details;
}

CardDetails readCardDetails(const ResultRow &row, const std::atomic<bool> *cancel)
{
    const CardPlace &card = row.Card;
    CardFile file(row.File);
    if (file.isMissing()) {
        CardDetails details = describeCard(row, {});
        details.note = QString::fromUtf16(kFileChangedNote) + u": it is no longer there."_s;
        return details;
    }
    const bool changed = card.file != 0 && file.stamp() != card.file;
    const qsizetype shownEnd = card.begin + qMin(card.end - card.begin, kShownBytes);
    CardBytes text = file.readPrepared(card.begin, shownEnd, card.fileBegin, cancel);
    // Legacy text is read in the charset that the whole file decides: decided over the
    // file read once more, a block at a time.
    cardreader::LegacyCharset legacy;
    const bool legacyText
        = text.encoding == CardEncoding::Legacy && cardreader::hasNonUtf8Text(text.bytes);
    if (legacyText)
        legacy = scanLegacyCharset(file, cancel);
    if (cancel && cancel->load(std::memory_order_relaxed))
        return {};
    const cardreader::LegacyCharsetSource wholeFile = [&legacy] { return legacy; };
    return describeCard(row, text, card.begin, changed, legacyText ? &wholeFile : nullptr);
}
