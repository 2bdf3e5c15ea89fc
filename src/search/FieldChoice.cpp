#include "search/FieldChoice.h"

#include "search/FieldMatching.h"

using namespace Qt::StringLiterals;

namespace {

quint32 fieldBits(std::initializer_list<QLatin1StringView> names)
{
    quint32 bits = 0;
    const auto &fields = searchedContactFields();
    for (const QLatin1StringView name : names) {
        for (std::size_t f = 0; f < fields.size(); ++f) {
            if (fields[f].name == name)
                bits |= quint32(1) << f;
        }
    }
    return bits;
}

/// The field whose name this is, in any letter case; -1 for none.
int fieldNamed(QStringView name)
{
    const auto &fields = searchedContactFields();
    for (std::size_t f = 0; f < fields.size(); ++f) {
        if (name.compare(fields[f].name, Qt::CaseInsensitive) == 0)
            return int(f);
    }
    return -1;
}

const FieldGroup *groupNamed(QStringView name)
{
    for (const FieldGroup &group : fieldGroups()) {
        if (name.compare(group.name, Qt::CaseInsensitive) == 0)
            return &group;
    }
    return nullptr;
}

/// Instant messaging addresses: the vCard 4 property and those address books write.
bool isMessagingTag(QStringView tag)
{
    static const QStringList names{
        u"IMPP"_s,          u"X-AIM"_s,       u"X-ICQ"_s,   u"X-JABBER"_s,
        u"X-MSN"_s,         u"X-YAHOO"_s,     u"X-SKYPE"_s, u"X-SKYPE-USERNAME"_s,
        u"X-GOOGLE-TALK"_s, u"X-GTALK"_s,     u"X-QQ"_s,    u"X-GADUGADU"_s,
        u"X-GROUPWISE"_s,   u"X-SIP"_s,       u"X-MS-IMADDRESS"_s,
        u"X-KADDRESSBOOK-X-IMADDRESS"_s};
    return names.contains(tag) || tag.startsWith(u"X-MESSAGING/"_s);
}

} // namespace

const QList<FieldGroup> &fieldGroups()
{
    static const QList<FieldGroup> groups{
        {u"names"_s, u"Names"_s, fieldBits({"FirstName"_L1, "LastName"_L1, "Nickname"_L1})},
        {u"phones"_s, u"Phones"_s,
         fieldBits({"BusinessPhones"_L1, "HomePhones"_L1, "HomeFax"_L1, "Mobile"_L1,
                    "Pager"_L1})},
        {u"emails"_s, u"E-mails"_s, fieldBits({"Emails"_L1})},
        {u"addresses"_s, u"Addresses"_s,
         fieldBits({"BusinessAddress1"_L1, "BusinessAddress2"_L1, "BusinessCity"_L1,
                    "BusinessState"_L1, "BusinessCountry"_L1, "BusinessPostal"_L1,
                    "HomeAddress1"_L1, "HomeAddress2"_L1, "HomeCity"_L1, "HomeState"_L1,
                    "HomeCountry"_L1, "HomePostal"_L1})},
        {u"organisation"_s, u"Organisation"_s,
         fieldBits({"Organization"_L1, "Title"_L1, "Role"_L1})},
        {u"notes"_s, u"Notes"_s, fieldBits({"Notes"_L1})},
        {u"internet"_s, u"Internet"_s, fieldBits({"Urls"_L1}), true},
    };
    return groups;
}

FieldChoice FieldChoice::fromNames(const QStringList &names, QStringList *unknown)
{
    FieldChoice choice;
    for (const QString &name : names) {
        choice.m_all = false;
        if (const FieldGroup *group = groupNamed(name)) {
            choice.m_fields |= group->fields;
            choice.m_messaging = choice.m_messaging || group->messaging;
        } else if (const int field = fieldNamed(name); field >= 0) {
            choice.m_fields |= quint32(1) << field;
        } else if (isPropertyName(name)) {
            choice.m_properties.append(name.toUpper());
        } else if (unknown) {
            unknown->append(name);
        }
    }
    return choice;
}

bool FieldChoice::holdsOther(QStringView tag) const
{
    return m_all || (m_messaging && isMessagingTag(tag)) || m_properties.contains(tag);
}

bool isFieldOrGroupName(QStringView name)
{
    return groupNamed(name) || fieldNamed(name) >= 0;
}

bool isPropertyName(QStringView name)
{
    if (name.isEmpty())
        return false;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        const bool ok = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z')
            || (u >= u'0' && u <= u'9') || u == u'-' || u == u'_' || u == u'/';
        if (!ok)
            return false;
    }
    return true;
}

QStringList fieldChoiceNames()
{
    QStringList names;
    for (const FieldGroup &group : fieldGroups())
        names.append(group.name);
    for (std::size_t f = 0; f < kContactFieldCount; ++f)
        names.append(searchedFieldTag(f));
    return names;
}

QStringList splitFieldNames(const QStringList &values)
{
    QStringList names;
    for (const QString &value : values) {
        for (const QString &piece : value.split(u','))
            names.append(piece.trimmed());
    }
    return names;
}
