#include "card/PropertyLine.h"

#include "card/AsciiText.h"

#include <QString>

namespace cardreader {

Prop propFromBaseName(QByteArrayView name)
{
    switch (name.size()) {
    case 1:
        return equalsNoCase(name, "N") ? Prop::N : Prop::None;
    case 2:
        return equalsNoCase(name, "FN") ? Prop::FN : Prop::None;
    case 3:
        if (equalsNoCase(name, "ORG"))
            return Prop::ORG;
        if (equalsNoCase(name, "URL"))
            return Prop::URL;
        if (equalsNoCase(name, "ADR"))
            return Prop::ADR;
        if (equalsNoCase(name, "TEL"))
            return Prop::TEL;
        if (equalsNoCase(name, "END"))
            return Prop::End;
        return Prop::None;
    case 4:
        if (equalsNoCase(name, "BDAY"))
            return Prop::BDAY;
        if (equalsNoCase(name, "ROLE"))
            return Prop::ROLE;
        if (equalsNoCase(name, "NOTE"))
            return Prop::NOTE;
        return Prop::None;
    case 5:
        if (equalsNoCase(name, "TITLE"))
            return Prop::TITLE;
        if (equalsNoCase(name, "EMAIL"))
            return Prop::EMAIL;
        if (equalsNoCase(name, "BEGIN"))
            return Prop::Begin;
        return Prop::None;
    case 8:
        return equalsNoCase(name, "NICKNAME") ? Prop::NICKNAME : Prop::None;
    default:
        return Prop::None;
    }
}

qsizetype valueColon(QByteArrayView line)
{
    const qsizetype first = indexOfByte(line, ':');
    if (first < 0)
        return -1;
    if (indexOfByte(line.first(first), '"') < 0)
        return first;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"')
            quoted = !quoted;
        else if (c == ':' && !quoted)
            return i;
    }
    return first;
}

bool isQuotedPrintableLine(QByteArrayView line)
{
    const qsizetype colon = valueColon(line);
    return colon >= 0 && containsNoCase(line.first(colon), "QUOTED-PRINTABLE");
}

Params parseParams(QByteArrayView namePart)
{
    Params params;
    forEachParameter(namePart, [&params](QByteArrayView param) {
        // Only CHARSET, ENCODING, QUOTED-PRINTABLE and BASE64 change the decoding; most
        // parameters are types.
        const char first = param.isEmpty() ? '\0' : upperAscii(param.front());
        if (first != 'C' && first != 'E' && first != 'Q' && first != 'B')
            return;
        const qsizetype eq = indexOfByte(param, '=');
        if (eq < 0) {
            if (equalsNoCase(param, "QUOTED-PRINTABLE"))
                params.quotedPrintable = true;
            else if (equalsNoCase(param, "BASE64"))
                params.base64 = true;
            return;
        }
        const QByteArrayView key = trimmedSpaces(param.first(eq));
        QByteArrayView value = trimmedSpaces(param.sliced(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.sliced(1, value.size() - 2);
        if (equalsNoCase(key, "CHARSET")) {
            // Most lines name UTF-8 so: its name is shared, not copied for each line.
            static const QByteArray utf8("UTF-8");
            params.charset = value == QByteArrayView(utf8) ? utf8 : value.toByteArray();
        }
        else if (equalsNoCase(key, "ENCODING") && equalsNoCase(value, "QUOTED-PRINTABLE"))
            params.quotedPrintable = true;
        else if (equalsNoCase(key, "ENCODING")
                 && (equalsNoCase(value, "B") || equalsNoCase(value, "BASE64")))
            params.base64 = true;
    });
    return params;
}

QStringList typeParameters(QByteArrayView namePart)
{
    QStringList types;
    const qsizetype semicolon = indexOfByte(namePart, ';');
    if (semicolon < 0)
        return types;
    const QList<QByteArray> list = namePart.sliced(semicolon + 1).toByteArray().split(';');
    for (const QByteArray &param : list) {
        const QByteArrayView p = trimmedSpaces(param);
        const qsizetype eq = indexOfByte(p, '=');
        if (eq < 0) {
            if (!p.isEmpty() && !equalsNoCase(p, "QUOTED-PRINTABLE"))
                types.append(QString::fromUtf8(p));
        } else if (equalsNoCase(trimmedSpaces(p.first(eq)), "TYPE")) {
            const QList<QByteArray> values = p.sliced(eq + 1).toByteArray().split(',');
            for (const QByteArray &type : values)
                types.append(QString::fromUtf8(trimmedSpaces(type)).remove(u'"'));
        }
    }
    return types;
}

QByteArrayView propertyBaseName(QByteArrayView namePart)
{
    QByteArrayView base = namePart;
    if (const qsizetype semicolon = indexOfByte(base, ';'); semicolon >= 0)
        base = base.first(semicolon);
    base = trimmedSpaces(base);
    if (const qsizetype dot = lastIndexOfByte(base, '.'); dot >= 0)
        base = trimmedSpaces(base.sliced(dot + 1));
    return base;
}

bool isBinaryProperty(QByteArrayView baseName)
{
    return equalsNoCase(baseName, "PHOTO") || equalsNoCase(baseName, "LOGO")
        || equalsNoCase(baseName, "SOUND") || equalsNoCase(baseName, "KEY");
}

QString propertyTag(QByteArrayView baseName)
{
    return QString::fromLatin1(baseName).toUpper();
}

namespace {

/// splitPropertyLine for the usual line, in one pass over its name: false when a quote
/// comes before the value's colon, where the general rules read on.
bool splitPlainPropertyLine(QByteArrayView line, PropertyLine &out, bool &known)
{
    const char *const data = line.data();
    const qsizetype n = line.size();
    qsizetype dot = -1;
    qsizetype i = 0;
    for (; i < n; ++i) {
        const char c = data[i];
        if (c == ':' || c == ';' || c == '"')
            break;
        if (c == '.')
            dot = i;
    }
    if (i < n && data[i] == '"')
        return false;
    const qsizetype nameEnd = i;
    qsizetype colon = i;
    if (i < n && data[i] == ';') {
        const qsizetype rest = indexOfByte(line.sliced(i), ':');
        if (rest < 0) {
            colon = n; // no value: the general rules tell
        } else {
            colon = i + rest;
            if (indexOfByte(line.sliced(i, rest), '"') >= 0)
                return false;
        }
    }
    if (colon >= n) {
        known = false;
        return true; // no colon: no property
    }
    const QByteArrayView namePart = line.first(colon);
    if (trimmedSpaces(namePart).isEmpty()) {
        known = false;
        return true;
    }
    const QByteArrayView base = trimmedSpaces(dot >= 0 ? line.sliced(dot + 1, nameEnd - dot - 1)
                                                       : line.first(nameEnd));
    out.prop = propFromBaseName(base);
    out.namePart = namePart;
    out.value = line.sliced(colon + 1);
    known = out.prop != Prop::None;
    return true;
}

} // namespace

bool splitPropertyLine(QByteArrayView line, PropertyLine &out)
{
    if (bool known = false; splitPlainPropertyLine(line, out, known))
        return known;
    const qsizetype colon = valueColon(line);
    if (colon < 0)
        return false;
    const QByteArrayView namePart = line.first(colon);
    if (trimmedSpaces(namePart).isEmpty())
        return false;
    out.prop = propFromBaseName(propertyBaseName(namePart));
    out.namePart = namePart;
    out.value = line.sliced(colon + 1);
    return out.prop != Prop::None;
}

} // namespace cardreader
