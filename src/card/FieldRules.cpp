#include "card/FieldRules.h"

#include "card/AsciiText.h"
#include "card/ValueDecoding.h"

#include <utility>

namespace cardreader {

namespace {

/// Writes value into a text field; the value it writes over stays findable.
void write(ContactFields &f, QString ContactFields::*field, QString &&value)
{
    QString &current = f.*field;
    if (!current.isEmpty() && current != value)
        f.Overwritten.add(field, std::exchange(current, std::move(value)));
    else
        current = std::move(value);
}

using Field = QString ContactFields::*;

/// The fields of an address, by its type: work or home.
struct AddressFields
{
    Field address1, address2, city, state, postal, country;
};

AddressFields addressFields(QByteArrayView namePart)
{
    if (containsNoCase(namePart, "WORK"))
        return {&ContactFields::BusinessAddress1, &ContactFields::BusinessAddress2,
                &ContactFields::BusinessCity,     &ContactFields::BusinessState,
                &ContactFields::BusinessPostal,   &ContactFields::BusinessCountry};
    return {&ContactFields::HomeAddress1, &ContactFields::HomeAddress2,
            &ContactFields::HomeCity,     &ContactFields::HomeState,
            &ContactFields::HomePostal,   &ContactFields::HomeCountry};
}

/// Writes a phone number where its type puts it: FAX before CELL before PAGER before WORK,
/// wherever each stands in the name and parameters.
void writePhone(ContactFields &f, QByteArrayView namePart, QString &&number)
{
    // One pass over the bytes for the four words.
    bool fax = false, cell = false, pager = false, work = false;
    const char *const data = namePart.data();
    const qsizetype n = namePart.size();
    for (qsizetype i = 0; i < n; ++i) {
        const auto startsHere = [&](const char *word, qsizetype length) {
            return n - i >= length && equalsNoCaseN(data + i, word, length);
        };
        switch (upperAscii(data[i])) {
        case 'F':
            fax = fax || startsHere("FAX", 3);
            break;
        case 'C':
            cell = cell || startsHere("CELL", 4);
            break;
        case 'P':
            pager = pager || startsHere("PAGER", 5);
            break;
        case 'W':
            work = work || startsHere("WORK", 4);
            break;
        default:
            break;
        }
    }
    if (fax)
        write(f, &ContactFields::HomeFax, std::move(number));
    else if (cell)
        write(f, &ContactFields::Mobile, std::move(number));
    else if (pager)
        write(f, &ContactFields::Pager, std::move(number));
    else if (work)
        f.BusinessPhones.append(std::move(number));
    else
        f.HomePhones.append(std::move(number));
}

} // namespace

void applyRuledOutProperty(Prop prop, QByteArrayView namePart, QByteArrayView text,
                           ContactFields &f)
{
    switch (prop) {
    case Prop::FN:
        return write(f, &ContactFields::FirstName, QString());
    case Prop::ORG:
        return write(f, &ContactFields::Organization, QString());
    case Prop::BDAY:
        return write(f, &ContactFields::Birthday, QString());
    case Prop::NICKNAME:
        return write(f, &ContactFields::Nickname, QString());
    case Prop::TITLE:
        return write(f, &ContactFields::Title, QString());
    case Prop::ROLE:
        return write(f, &ContactFields::Role, QString());
    case Prop::EMAIL:
        return f.Emails.append(QString());
    case Prop::URL:
        return f.Urls.append(QString());
    case Prop::NOTE:
        return write(f, &ContactFields::Notes, QString());
    case Prop::TEL:
        return writePhone(f, namePart, QString());
    case Prop::N:
    case Prop::ADR: {
        // The shape alone counts: how many parts, and whether the second is empty. The
        // text holds no escape, and blanks around it are no separator.
        qsizetype count = 1;
        bool secondEmpty = true;
        qsizetype partStart = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] != ';')
                continue;
            if (count == 2)
                secondEmpty = i == partStart;
            ++count;
            partStart = i + 1;
        }
        if (prop == Prop::N) {
            write(f, &ContactFields::LastName, QString());
            if (count >= 2)
                write(f, &ContactFields::FirstName, QString());
            return;
        }
        const AddressFields fields = addressFields(namePart);
        if (count >= 3) {
            write(f, fields.address1, QString());
            if (!secondEmpty)
                write(f, fields.address2, QString());
        }
        if (count >= 4)
            write(f, fields.city, QString());
        if (count >= 5)
            write(f, fields.state, QString());
        if (count >= 6)
            write(f, fields.postal, QString());
        if (count >= 7)
            write(f, fields.country, QString());
        return;
    }
    case Prop::None:
    case Prop::Begin:
    case Prop::End:
        return;
    }
}

void applyProperty(Prop prop, QByteArrayView namePart, QString value, bool wasQuotedPrintable,
                   bool ruledOut, ContactFields &f)
{
    switch (prop) {
    case Prop::FN:
        write(f, &ContactFields::FirstName, cleanValue(std::move(value)));
        return;
    case Prop::ORG:
        write(f, &ContactFields::Organization, cleanValue(std::move(value)));
        return;
    case Prop::BDAY:
        write(f, &ContactFields::Birthday, cleanValue(std::move(value)));
        return;
    case Prop::NICKNAME:
        write(f, &ContactFields::Nickname, cleanValue(std::move(value)));
        return;
    case Prop::TITLE:
        write(f, &ContactFields::Title, cleanValue(std::move(value)));
        return;
    case Prop::ROLE:
        write(f, &ContactFields::Role, cleanValue(std::move(value)));
        return;
    case Prop::EMAIL:
        f.Emails.append(cleanValue(std::move(value)));
        return;
    case Prop::URL:
        f.Urls.append(cleanUntrimmed(std::move(value)));
        return;
    case Prop::NOTE: {
        QString note = unescape(std::move(value));
        // The old hand-made quoted-printable rule, for values that were not decoded.
        if (!wasQuotedPrintable && note.contains(u'='))
            note.replace(QStringLiteral("=0D=0A="), QStringLiteral(" "));
        write(f, &ContactFields::Notes, trimSpaces(clean(std::move(note))));
        return;
    }
    case Prop::N: {
        const QString trimmed = trimSpaces(std::move(value));
        const Components parts = splitStructured(trimmed);
        const auto part = [&](int i) {
            return ruledOut ? QString() : cleanValue(parts.parts[i]);
        };
        write(f, &ContactFields::LastName, part(0));
        if (parts.count >= 2)
            write(f, &ContactFields::FirstName, part(1));
        return;
    }
    case Prop::ADR: {
        const auto [address1, address2, city, state, postal, country] = addressFields(namePart);
        const QString trimmed = trimSpaces(std::move(value));
        const Components parts = splitStructured(trimmed);
        const auto part
            = [&](int i) { return ruledOut ? QString() : cleanUntrimmed(parts.part(i)); };
        const auto line = [wasQuotedPrintable](QString s) {
            if (!wasQuotedPrintable && s.contains(u'='))
                s.replace(QStringLiteral("=0D"), QStringLiteral(" "));
            return s;
        };
        const int count = parts.count;
        if (count >= 3) {
            QString extended = part(1);
            // A ruled-out value has no line break or escape that could empty a part.
            if (ruledOut ? !parts.parts[1].isEmpty() : !extended.isEmpty()) {
                write(f, address1, line(std::move(extended)));
                write(f, address2, line(part(2)));
            } else {
                write(f, address1, line(part(2)));
            }
        }
        if (count >= 4)
            write(f, city, part(3));
        if (count >= 5)
            write(f, state, part(4));
        if (count >= 6)
            write(f, postal, part(5));
        if (count >= 7)
            write(f, country, part(6));
        return;
    }
    case Prop::TEL: {
        writePhone(f, namePart, cleanUntrimmed(std::move(value)));
        return;
    }
    case Prop::None:
    case Prop::Begin:
    case Prop::End:
        return;
    }
}

namespace {

/// A structured text as a person writes it: split at every separator that is not
/// escaped, each value with its escapes undone and its outer spaces taken off, the empty
/// ones left out, the rest joined by joiner. whole, when given, is the text as a string:
/// a text that is one plain value already is then shared, not copied.
QString joinedValues(QStringView text, QChar separator, QStringView joiner,
                     const QString *whole = nullptr)
{
    QString joined;
    const auto add = [&](QStringView part, bool escaped) {
        QString unescaped;
        if (escaped) {
            unescaped = clean(unescape(part.toString()));
            part = unescaped;
        }
        part = trimmedSpaces(part);
        if (part.isEmpty())
            return;
        if (joined.isEmpty())
            joined.reserve(text.size() + 8);
        else
            joined.append(joiner);
        joined.append(part);
    };
    // One pass: most names are one value without escapes, and short.
    qsizetype start = 0;
    bool escaped = false; // the value from start on holds a backslash or a CR
    bool split = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\\') {
            escaped = true;
            ++i;
        } else if (c == u'\r') {
            escaped = true;
        } else if (c == separator) {
            add(text.sliced(start, i - start), escaped);
            start = i + 1;
            escaped = false;
            split = true;
        }
    }
    if (!split && !escaped) {
        const QStringView value = trimmedSpaces(text);
        return whole && value.size() == whole->size() ? *whole : value.toString();
    }
    add(text.sliced(qMin(start, text.size())), escaped);
    return joined;
}

} // namespace

bool ContactName::wants(Prop prop) const
{
    // A value is wanted only while nothing before it in the order of text() names the
    // card: once FN has, no other line is decoded for the name.
    switch (prop) {
    case Prop::FN:
        return m_fn.isEmpty();
    case Prop::N:
        return m_fn.isEmpty() && !m_haveN;
    case Prop::ORG:
        return m_fn.isEmpty() && !m_haveN && m_org.isEmpty();
    case Prop::EMAIL:
        return m_fn.isEmpty() && !m_haveN && m_org.isEmpty() && m_email.isEmpty();
    case Prop::TEL:
        return m_fn.isEmpty() && !m_haveN && m_org.isEmpty() && m_email.isEmpty()
            && m_tel.isEmpty();
    default:
        return false;
    }
}

void ContactName::take(Prop prop, const QString &text)
{
    switch (prop) {
    case Prop::FN:
        m_fn = cleanValue(text);
        return;
    case Prop::N: {
        const QString trimmed = trimSpaces(text);
        const Components parts = splitStructured(trimmed);
        // A name of several values (given names "Ann,Mary") reads as they are written.
        const auto part = [&](int i) { return joinedValues(parts.parts[i], u',', u" "); };
        const QString family = part(0);
        const QString given = parts.count >= 2 ? part(1) : QString();
        m_n = given.isEmpty() || family.isEmpty() ? QString(given + family)
                                                  : QString(given + u' ' + family);
        m_haveN = !m_n.isEmpty();
        return;
    }
    case Prop::ORG: {
        // Kept as it is: most cards are named by FN or N, and ORG is joined only when the
        // name comes to it. A value of separators and blanks alone names nothing.
        bool named = false;
        if (text.contains(QChar(u'\\'))) {
            named = !joinedValues(text, u';', u", ", &text).isEmpty();
        } else {
            for (qsizetype i = 0; i < text.size() && !named; ++i) {
                const QChar c = text.at(i);
                named = c != u';' && c != u' ' && c != u'\r';
            }
        }
        if (named)
            m_org = text;
        return;
    }
    case Prop::EMAIL:
        m_email = cleanValue(text);
        return;
    case Prop::TEL:
        // Untrimmed, as the fields hold it: trimming would copy a value of any length.
        m_tel = cleanUntrimmed(text);
        return;
    default:
        return;
    }
}

QString ContactName::text() const
{
    if (!m_fn.isEmpty())
        return m_fn;
    if (!m_n.isEmpty())
        return m_n;
    if (!m_org.isEmpty()) // the organisation and its units: "Acme Widgets, Sales"
        return joinedValues(m_org, u';', u", ", &m_org);
    return !m_email.isEmpty() ? m_email : m_tel;
}

} // namespace cardreader
