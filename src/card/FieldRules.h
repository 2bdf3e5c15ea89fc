#pragma once

#include "card/ContactFields.h"
#include "card/PropertyLine.h"

#include <QByteArrayView>
#include <QString>

// What each property writes into the fields of its card, and the card's contact name.
namespace cardreader {

/// Applies one recognised property line to the fields of its card. A value ruled out
/// by the search's filter writes empty text to the fields it would write; a structured
/// one comes with its text all the same, for its shape.
void applyProperty(Prop prop, QByteArrayView namePart, QString value, bool wasQuotedPrintable,
                   bool ruledOut, ContactFields &f);

/// applyProperty for a value the search's filter ruled out, from the UTF-8 bytes of its
/// text, which hold no escape (only N's and ADR's shape is read from them).
void applyRuledOutProperty(Prop prop, QByteArrayView namePart, QByteArrayView text,
                           ContactFields &f);

/// The contact name of a card, read from its values as they come: FN as decoded, else
/// the given and family names of N (those present), else ORG's components joined by ", ",
/// else the first EMAIL, else the first TEL. Each is taken from its first non-empty line,
/// as a person writes it: escapes undone, no empty component, no separator of a
/// structured value.
class ContactName
{
public:
    /// True when a value of prop may still decide the name.
    bool wants(Prop prop) const;
    /// Takes the decoded text of a line that the name wants, read as the fields read it.
    void take(Prop prop, const QString &text);
    QString text() const;

private:
    QString m_fn;
    QString m_n;
    bool m_haveN = false;
    QString m_org; // as decoded: joined when it names the card
    QString m_email;
    QString m_tel;
};

/// The fields of a card being read, with what its identity needs.
struct CardState
{
    ContactFields fields;
    ContactName name;
    qsizetype begin = 0;
};

} // namespace cardreader
