#pragma once

#include "card/PropertyLine.h"

#include <QByteArray>
#include <QByteArrayView>

// Card boundaries written in other shapes than a BEGIN or END line of their own, which
// writers and joined files produce and other readers take as cards.
namespace cardreader {

/// For an END line whose value is "VCARDBEGIN:VCARD" (two files joined without a line end
/// between them): where the second card's BEGIN starts in the line; else -1.
qsizetype gluedBeginAt(QByteArrayView line, const PropertyLine &property);

/// For an AGENT line whose whole value is BEGIN:VCARD (the agent's card follows on the
/// next lines): where BEGIN starts in the line; else -1.
qsizetype agentBeginAt(QByteArrayView line, const PropertyLine &property);

/// True for an AGENT line whose value is a whole card written as text, its line breaks
/// escaped as "\n": "BEGIN:VCARD\nFN:Agent\nEND:VCARD".
bool isEscapedAgent(const PropertyLine &property);

/// The card text of an escaped agent's value: "\n" and "\N" become line ends, "\," "\;"
/// "\:" and "\\" the character; any other backslash stays.
QByteArray unescapedCard(QByteArrayView value);

} // namespace cardreader
