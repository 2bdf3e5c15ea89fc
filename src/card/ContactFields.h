#pragma once

#include "card/TextList.h"

#include <QByteArray>
#include <QLatin1StringView>
#include <QString>

#include <array>

struct ContactFields;

/// The values of a card's properties outside the 27 fields, in the order of its lines,
/// each with its property's name in capitals (the tag of its rows).
struct OtherProperties
{
    TextList tags;
    TextList values;

    bool isEmpty() const { return values.isEmpty(); }
    bool operator==(const OtherProperties &) const = default;
};

/// Values that a later line of the same card wrote over in the text fields of the 27,
/// in line order, each with its field (an index into declaredContactFields()). They are
/// no part of the record but stay findable. Only a non-empty value that differs from
/// the one written over it is kept. A card may write one field a million times: the
/// values are kept as compactly as a list field's.
struct OverwrittenValues
{
    TextList texts;
    QByteArray fields; // the field of each text, one byte each
    quint32 fieldMask = 0; // bit i set when field i has a text here

    bool isEmpty() const { return texts.isEmpty(); }
    bool holds(std::size_t field) const { return (fieldMask >> field) & 1u; }
    /// Keeps text as written over in the text field at member.
    void add(QString ContactFields::*member, QString &&text);

    bool operator==(const OverwrittenValues &) const = default;
};

/// The 27 value fields that one card gives, in their declared order, the values of its
/// other properties when the parse was asked for them, and the values its lines wrote
/// over (a value the search's filter ruled out is not kept).
struct ContactFields
{
    QString FirstName;
    QString LastName;
    QString Nickname;
    QString Organization;
    QString Birthday;
    QString Title;
    QString Role;
    TextList Emails;
    TextList Urls;
    TextList BusinessPhones;
    TextList HomePhones;
    QString Notes;
    QString BusinessAddress1;
    QString BusinessAddress2;
    QString BusinessCity;
    QString BusinessState;
    QString BusinessCountry;
    QString BusinessPostal;
    QString HomeAddress1;
    QString HomeAddress2;
    QString HomeCity;
    QString HomeState;
    QString HomeCountry;
    QString HomePostal;
    QString HomeFax;
    QString Mobile;
    QString Pager;
    OtherProperties Others;
    OverwrittenValues Overwritten;

    /// The same record: the 27 fields and the other properties; the values written over
    /// are left out, as no part of it.
    bool operator==(const ContactFields &other) const;
};

/// One field of ContactFields: its name and where it lives. Exactly one of
/// text and list is set.
struct ContactFieldInfo
{
    QLatin1StringView name;
    QString ContactFields::*text = nullptr;
    TextList ContactFields::*list = nullptr;

    bool isList() const { return list != nullptr; }
};

inline constexpr std::size_t kContactFieldCount = 27;
static_assert(kContactFieldCount <= 32, "OverwrittenValues::fieldMask has a bit per field");

/// The fields in their declared order (the order of the record's properties).
const std::array<ContactFieldInfo, kContactFieldCount> &declaredContactFields();
