#pragma once

#include "card/CardBytes.h"
#include "card/ContactFields.h"

#include <QList>

#include <functional>

/// Turns the prepared bytes of one card file into one ContactFields per card.
///
/// Lines end at CR LF, LF, CR CR LF or a lone CR; folded lines and quoted-printable
/// soft line breaks are joined before a line is parsed. A card runs from BEGIN:VCARD
/// to its END:VCARD; nested cards are cards of their own, in the order of their BEGIN
/// lines; a run of lines outside every card is a card when it holds a known property.
/// A file that yields no card yields one card with every field empty.
class CardParser final
{
public:
    using Sink = std::function<void(ContactFields &&)>;

    /// Calls sink once per card, in card order.
    static void parse(const CardBytes &text, const Sink &sink);

    /// All cards of the text, in card order; never empty.
    static QList<ContactFields> parseAll(const CardBytes &text);

    /// Convenience for raw file bytes: prepareCardBytes, then parseAll.
    static QList<ContactFields> parseBytes(QByteArray raw);
};
