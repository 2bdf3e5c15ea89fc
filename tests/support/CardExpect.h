#pragma once

#include "card/CardFile.h"
#include "card/CardParser.h"
#include "card/ContactFields.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

/// Builds the fields a test expects from a map of field name to value (a QString
/// for a text field, a QStringList for a list field); fields not named are empty.
/// An unknown name yields a field named "?unknown" in the difference below.
inline ContactFields expectedFields(const QVariantMap &values, QStringList *unknown = nullptr)
{
    ContactFields fields;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        bool found = false;
        for (const ContactFieldInfo &info : declaredContactFields()) {
            if (info.name != it.key())
                continue;
            found = true;
            if (info.isList())
                fields.*info.list = it.value().toStringList();
            else
                fields.*info.text = it.value().toString();
        }
        if (!found && unknown)
            unknown->append(it.key());
    }
    return fields;
}

/// One line per field that differs: name, actual and expected value.
inline QString fieldDifferences(const ContactFields &actual, const ContactFields &expected)
{
    QStringList lines;
    for (const ContactFieldInfo &info : declaredContactFields()) {
        QString a;
        QString e;
        if (info.isList()) {
            a = (actual.*info.list).join(QLatin1Char('|'));
            e = (expected.*info.list).join(QLatin1Char('|'));
        } else {
            a = actual.*info.text;
            e = expected.*info.text;
        }
        if (a != e || (info.isList() && actual.*info.list != expected.*info.list))
            lines.append(QStringLiteral("  %1: actual [%2], expected [%3]").arg(info.name, a, e));
    }
    return QLatin1Char('\n') + lines.join(QLatin1Char('\n'));
}

/// The cards of a file as its path reads; Failure when it exists but cannot be read.
inline QList<ContactFields> readCards(const QString &path)
{
    return CardParser::parseAll(readCardFile(path));
}

/// A vCard 3.0 card around lines written with LF, each line ending in eol: most
/// exporters write CR LF.
inline QByteArray wrapCard(const QByteArray &lines, const QByteArray &eol = "\r\n")
{
    QByteArray body = lines;
    body.replace("\n", eol);
    return "BEGIN:VCARD" + eol + "VERSION:3.0" + eol + body + "END:VCARD" + eol;
}
