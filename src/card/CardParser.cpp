#include "card/CardParser.h"

#include "card/AsciiText.h"
#include "card/CardBytes.h"
#include "card/CardShapes.h"
#include "card/Charsets.h"
#include "card/FieldRules.h"
#include "card/LogicalLines.h"
#include "card/PropertyLine.h"
#include "card/UnheldTexts.h"
#include "card/Utf8Text.h"
#include "card/ValueDecoding.h"
#include "card/Windows1252.h"

#include <QStringDecoder>

#include <optional>

using namespace cardreader;

qsizetype CardParser::parse(const CardBytes &text, const Sink &sink, const ValueFilter *filter,
                            const std::atomic<bool> *cancel, ParseOptions options)
{
    return parse(
        text, [&sink](ContactFields &&card, const Identity &) { sink(std::move(card)); }, filter,
        cancel, options);
}

qsizetype CardParser::parse(const CardBytes &text, const PlacedSink &sink,
                            const ValueFilter *filter, const std::atomic<bool> *cancel,
                            ParseOptions options)
{
    return parseRange(text, 0, text.bytes.size(), sink, filter, nullptr, cancel, options);
}

qint64 CardParser::countLineEnds(QByteArrayView bytes)
{
    return cardreader::countLineEnds(bytes);
}

QByteArray CardParser::joinedLines(QByteArrayView bytes)
{
    return cardreader::joinedLines(bytes);
}

QList<ContactFields> CardParser::parseAll(const CardBytes &text)
{
    QList<ContactFields> cards;
    parse(text, [&](ContactFields &&card) { cards.append(std::move(card)); });
    return cards;
}

QList<ContactFields> CardParser::parseBytes(QByteArray raw)
{
    return parseAll(prepareCardBytes(std::move(raw)));
}

namespace {

/// CardParser::properties; an escaped agent's card is read only when agents is true, as
/// the parser reads it at the first level only.
QList<CardParser::Property> propertiesOf(const CardBytes &text, qsizetype begin, qsizetype end,
                                         qsizetype limit, bool agents,
                                         const LegacyCharsetSource *wholeFile)
{
    using Property = CardParser::Property;
    QList<Property> found;
    const QByteArrayView bytes = QByteArrayView(text.bytes).sliced(begin, end - begin);
    Charsets charsets(text.bytes, text.isUnicode(), wholeFile);
    int depth = 0;
    bool first = true;
    int ownDepth = 0; // 1 for a card, 0 for lines outside every card
    forEachLogicalLine(
        bytes,
        [&](QByteArrayView line, qsizetype start, qsizetype lineEnd, bool joined) -> qsizetype {
            if (found.size() >= limit)
                return bytes.size();
            const qsizetype colon = valueColon(line);
            if (colon < 0 || trimmedSpaces(line.first(colon)).isEmpty())
                return -1;
            const QByteArrayView namePart = line.first(colon);
            const QByteArrayView rawValue = line.sliced(colon + 1);
            const QByteArrayView base = propertyBaseName(namePart);
            const Prop prop = propFromBaseName(base);
            const PropertyLine shape{prop, namePart, rawValue};
            if (!joined && gluedBeginAt(line, shape) >= 0) {
                first = false;
                return -1; // one card ends and the next begins
            }
            if (!joined && agentBeginAt(line, shape) >= 0) {
                first = false;
                ++depth;
                return -1;
            }
            if (agents && isEscapedAgent(shape)) {
                if (first) {
                    // The agent's card itself: its lines stand in this one line.
                    const CardBytes card{unescapedCard(trimmedBlanks(rawValue)), text.encoding};
                    found = propertiesOf(card, 0, card.bytes.size(), limit, false, nullptr);
                    for (Property &property : found) {
                        property.begin = begin + start;
                        property.end = begin + lineEnd;
                    }
                    return bytes.size();
                }
                if (depth == ownDepth)
                    return -1; // a card nested in this one
            }
            const bool boundary = (prop == Prop::Begin || prop == Prop::End)
                && equalsNoCase(trimmedBlanks(rawValue), "VCARD");
            if (first) {
                first = false;
                ownDepth = boundary && prop == Prop::Begin ? 1 : 0;
            }
            if (boundary) {
                depth += prop == Prop::Begin ? 1 : -1;
                return -1;
            }
            if (depth != ownDepth)
                return -1;
            Property property;
            property.name = propertyTag(base);
            property.begin = begin + start;
            property.end = begin + lineEnd;
            Params params = parseParams(namePart);
            const bool binary = isBinaryValue(base, params, rawValue);
            // Binary data is shown as written.
            if (binary)
                params.base64 = false;
            property.types = typeParameters(namePart);
            QString decoded = decodeValue(charsets, rawValue, params);
            // The texts that give rows beside the fields when a search takes in every
            // property, so that such a row marks its own line.
            if (!binary && !equalsNoCase(base, "VERSION")) {
                addUnheldComponents(prop, decoded, property.name, property.fields.Others);
                addParameterTexts(namePart, params.charset, charsets, text.isUnicode(),
                                  property.name, property.fields.Others);
            }
            if (prop == Prop::N || prop == Prop::ADR || prop == Prop::ORG) {
                const QString trimmed = trimSpaces(decoded);
                const Components parts = splitStructured(trimmed);
                QStringList shown;
                for (int i = 0; i < qMin(parts.count, Components::kMaxParts); ++i) {
                    QString part = clean(trimSpaces(unescape(parts.part(i))));
                    if (!part.isEmpty())
                        shown.append(part);
                }
                property.value = shown.join(u"; ");
            } else {
                property.value = clean(trimSpaces(unescape(decoded)));
            }
            if (prop != Prop::None && prop != Prop::Begin && prop != Prop::End)
                applyProperty(prop, namePart, std::move(decoded), params.quotedPrintable, false,
                              property.fields);
            found.append(std::move(property));
            return -1;
        },
        nullptr);
    return found;
}

} // namespace

QList<CardParser::Property> CardParser::properties(const CardBytes &text, qsizetype begin,
                                                   qsizetype end, qsizetype limit,
                                                   const LegacyCharsetSource *wholeFile)
{
    return propertiesOf(text, begin, end, limit, true, wholeFile);
}

namespace {

/// The CHARSET that makes a property line read in any file without a byte-order mark as
/// it reads in its own file (see Charsets::decode); empty when it reads so already.
QByteArray ownCharset(const PropertyLine &property, bool unicode,
                      const std::function<QByteArray()> &legacyCharset)
{
    const Params params = parseParams(property.namePart);
    const QByteArray &charset = params.charset;
    const bool utf8 = !charset.isEmpty() && Charsets::isUtf8Name(charset);
    if (isBinaryValue(propertyBaseName(property.namePart), params, property.value))
        return {}; // read in no charset
    QByteArray decoded;
    const bool encoded = encodedValueBytes(property.value, params, decoded);
    if (unicode && !encoded) {
        // Here it is UTF-8 whatever it names; elsewhere only when it names no other
        // charset and is valid UTF-8.
        if (utf8
            || ((charset.isEmpty() || isUtf8CompatibleCharset(charset))
                && isValidUtf8(property.value)))
            return {};
        return QByteArrayLiteral("UTF-8");
    }
    if (utf8 || isValidUtf8(encoded ? QByteArrayView(decoded) : property.value))
        return {};
    if (!charset.isEmpty() && !isUtf8CompatibleCharset(charset)
        && (isWindows1252Name(charset)
            || QStringDecoder(charset.toLower().constData(), QStringConverter::Flag::Stateless)
                   .isValid()))
        return {};
    // Read in the file's legacy charset, which another file may not share.
    const QByteArray legacy = legacyCharset();
    return legacy.isEmpty() ? QByteArrayLiteral("windows-1252") : legacy;
}

} // namespace

QByteArray CardParser::escapedAgentCard(QByteArrayView bytes)
{
    QByteArray card;
    int lines = 0;
    forEachLogicalLine(
        bytes,
        [&](QByteArrayView line, qsizetype, qsizetype, bool) -> qsizetype {
            PropertyLine property;
            if (++lines == 1 && !splitPropertyLine(line, property) && isEscapedAgent(property))
                card = unescapedCard(trimmedBlanks(property.value));
            return lines > 1 ? bytes.size() : -1;
        },
        nullptr);
    if (lines != 1 || card.isNull())
        return {};
    if (!card.endsWith('\n') && !card.endsWith('\r'))
        card.append("\r\n");
    return card;
}

QByteArray CardParser::legacyCharset(QByteArrayView text)
{
    return Charsets(text, false).legacyCharset();
}

void CardParser::forEachLine(const CardBytes &text, qsizetype from, qsizetype to,
                             const std::function<QByteArray()> &legacyCharset,
                             const std::function<void(const Line &)> &take)
{
    std::optional<QByteArray> legacy;
    const std::function<QByteArray()> legacyOnce = [&] {
        if (!legacy)
            legacy = legacyCharset();
        return *legacy;
    };
    forEachLogicalLine(
        QByteArrayView(text.bytes).sliced(from, to - from),
        [&](QByteArrayView lineText, qsizetype start, qsizetype end, bool) -> qsizetype {
            Line line;
            line.text = lineText;
            line.begin = from + start;
            line.end = from + end;
            line.colon = valueColon(lineText);
            PropertyLine property;
            // Lines of other properties too: a search may read their values.
            if (splitPropertyLine(lineText, property) || !property.namePart.isEmpty()) {
                if (property.prop != Prop::Begin && property.prop != Prop::End) {
                    line.kind = Line::Kind::Property;
                    line.ownCharset = ownCharset(property, text.isUnicode(), legacyOnce);
                } else if (equalsNoCase(trimmedBlanks(property.value), "VCARD")) {
                    line.kind = property.prop == Prop::Begin ? Line::Kind::Begin : Line::Kind::End;
                }
            }
            take(line);
            return -1;
        },
        nullptr);
}
