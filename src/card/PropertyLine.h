#pragma once

#include "card/AsciiText.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

// The parts of one logical line: the property's name, its parameters and its value.
namespace cardreader {

/// The properties whose values the card reader reads, and the card boundaries.
enum class Prop : quint8 {
    None,
    FN,
    N,
    ORG,
    BDAY,
    NICKNAME,
    TITLE,
    ROLE,
    EMAIL,
    URL,
    NOTE,
    ADR,
    TEL,
    Begin,
    End,
};

/// The property a name (without group and parameters) stands for; None for any other.
Prop propFromBaseName(QByteArrayView name);

/// Position of the colon that starts the value: the first one outside a
/// double-quoted parameter value. An unbalanced quote falls back to the first colon.
qsizetype valueColon(QByteArrayView line);

/// True when the line's parameters name QUOTED-PRINTABLE.
bool isQuotedPrintableLine(QByteArrayView line);

/// The parameters that change how a value is decoded.
struct Params
{
    QByteArray charset;
    bool quotedPrintable = false;
    bool base64 = false; ///< ENCODING=b, ENCODING=BASE64 or a bare BASE64 (vCard 2.1)
};

Params parseParams(QByteArrayView namePart);

/// Calls take with each parameter of a name part (what follows its first ";"), split at
/// each ";" outside double quotes, its outer spaces taken off.
template<typename Take> void forEachParameter(QByteArrayView namePart, Take &&take)
{
    const qsizetype semicolon = indexOfByte(namePart, ';');
    if (semicolon < 0)
        return;
    QByteArrayView rest = namePart.sliced(semicolon + 1);
    // Without a quote, as most are, each parameter ends at the next ";".
    const bool quotes = indexOfByte(rest, '"') >= 0;
    while (!rest.isEmpty()) {
        qsizetype end = 0;
        if (!quotes) {
            end = indexOfByte(rest, ';');
            if (end < 0)
                end = rest.size();
        }
        bool quoted = false;
        while (quotes && end < rest.size() && (quoted || rest[end] != ';')) {
            if (rest[end] == '"')
                quoted = !quoted;
            ++end;
        }
        const QByteArrayView param = trimmedSpaces(rest.first(end));
        rest = end < rest.size() ? rest.sliced(end + 1) : QByteArrayView();
        take(param);
    }
}

/// TYPE's values and the parameters written without a value (but QUOTED-PRINTABLE), as
/// written, for showing a property.
QStringList typeParameters(QByteArrayView namePart);

/// The parts of a logical line that name a property the parser knows.
struct PropertyLine
{
    Prop prop = Prop::None;
    QByteArrayView namePart;
    QByteArrayView value;
};

/// A property's name without its parameters and its group prefix ("item1.").
QByteArrayView propertyBaseName(QByteArrayView namePart);

/// True for the properties whose values may be binary data (a picture, a sound, a key):
/// PHOTO, LOGO, SOUND and KEY, by their base name.
bool isBinaryProperty(QByteArrayView baseName);

/// A property's name as a result row's tag: its base name in capitals.
QString propertyTag(QByteArrayView baseName);

/// Splits a logical line at its value's colon; false when it names no known property.
/// For a line of another property, namePart and value are set all the same (prop None);
/// for a line that names no property at all, namePart stays empty.
bool splitPropertyLine(QByteArrayView line, PropertyLine &out);

} // namespace cardreader
