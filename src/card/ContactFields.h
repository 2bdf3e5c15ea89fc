#pragma once

#include "card/TextList.h"

#include <QLatin1StringView>
#include <QString>

#include <array>

/// The values of a card's properties outside the 27 fields, in the order of its lines,
/// each with its property's name in capitals (the tag of its rows).
struct OtherProperties
{
    TextList tags;
    TextList values;

    bool isEmpty() const { return values.isEmpty(); }
    bool operator==(const OtherProperties &) const = default;
};

/// The 27 value fields that one card gives, in their declared order, and the values of
/// its other properties when the parse was asked for them.
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

    bool operator==(const ContactFields &) const = default;
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

/// The fields in their declared order (the order of the record's properties).
const std::array<ContactFieldInfo, kContactFieldCount> &declaredContactFields();
