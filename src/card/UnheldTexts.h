#pragma once

#include "card/PropertyLine.h"

#include <QByteArrayView>
#include <QString>

#include <functional>

struct OtherProperties;

// The texts of a line of the 27 fields' properties that no field holds, and the text
// parameters of every line, read when a search takes in every property. A hostile line
// may hold millions of parts: they never give more than a few rows a line.
namespace cardreader {

class Charsets;

/// Appends under tag the components of an N or ADR value that no field holds: N's
/// additional names, prefixes, suffixes and any component after them; ADR's PO box and
/// any component after the country, or every component of an ADR of fewer than three,
/// which writes no field. Each is read as a field reads its part; empty ones are left
/// out. Past the sixteenth, the rest follow as one text, as written.
void addUnheldComponents(Prop prop, QString value, const QString &tag, OtherProperties &others);

/// True when a parameter's value is text that a person searches for (LABEL, SORT-AS, GEO,
/// TZ, an X- parameter, ...), false for one that tells how the line is read or sorted
/// (TYPE, ENCODING, CHARSET, VALUE, PREF, PID, ALTID, LANGUAGE, ...).
bool isTextParameter(QByteArrayView name);

/// True when a name part has a parameter that isTextParameter names.
bool hasTextParameter(QByteArrayView namePart);

/// Appends under tag the values of the text parameters of a line, in their order: the
/// quotes taken out, the ^-escapes of parameter values and the text escapes undone, a
/// line break made a blank; empty ones are left out. Past the sixteenth, the rest follow
/// as one text, joined by ";". mayContain, when given, is asked with the UTF-8 bytes of a
/// value that reads as written (see CardParser::ValueFilter::mayContain); false leaves it
/// out.
void addParameterTexts(QByteArrayView namePart, const QByteArray &charset, Charsets &charsets,
                       bool unicode, const QString &tag, OtherProperties &others,
                       const std::function<bool(QByteArrayView)> &mayContain = {});

} // namespace cardreader
