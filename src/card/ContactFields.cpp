#include "card/ContactFields.h"

using namespace Qt::StringLiterals;

namespace {

constexpr ContactFieldInfo text(QLatin1StringView name, QString ContactFields::*member)
{
    return {name, member, nullptr};
}

constexpr ContactFieldInfo list(QLatin1StringView name, TextList ContactFields::*member)
{
    return {name, nullptr, member};
}

} // namespace

const std::array<ContactFieldInfo, kContactFieldCount> &declaredContactFields()
{
    static const std::array<ContactFieldInfo, kContactFieldCount> fields = {
        text("FirstName"_L1, &ContactFields::FirstName),
        text("LastName"_L1, &ContactFields::LastName),
        text("Nickname"_L1, &ContactFields::Nickname),
        text("Organization"_L1, &ContactFields::Organization),
        text("Birthday"_L1, &ContactFields::Birthday),
        text("Title"_L1, &ContactFields::Title),
        text("Role"_L1, &ContactFields::Role),
        list("Emails"_L1, &ContactFields::Emails),
        list("Urls"_L1, &ContactFields::Urls),
        list("BusinessPhones"_L1, &ContactFields::BusinessPhones),
        list("HomePhones"_L1, &ContactFields::HomePhones),
        text("Notes"_L1, &ContactFields::Notes),
        text("BusinessAddress1"_L1, &ContactFields::BusinessAddress1),
        text("BusinessAddress2"_L1, &ContactFields::BusinessAddress2),
        text("BusinessCity"_L1, &ContactFields::BusinessCity),
        text("BusinessState"_L1, &ContactFields::BusinessState),
        text("BusinessCountry"_L1, &ContactFields::BusinessCountry),
        text("BusinessPostal"_L1, &ContactFields::BusinessPostal),
        text("HomeAddress1"_L1, &ContactFields::HomeAddress1),
        text("HomeAddress2"_L1, &ContactFields::HomeAddress2),
        text("HomeCity"_L1, &ContactFields::HomeCity),
        text("HomeState"_L1, &ContactFields::HomeState),
        text("HomeCountry"_L1, &ContactFields::HomeCountry),
        text("HomePostal"_L1, &ContactFields::HomePostal),
        text("HomeFax"_L1, &ContactFields::HomeFax),
        text("Mobile"_L1, &ContactFields::Mobile),
        text("Pager"_L1, &ContactFields::Pager),
    };
    return fields;
}

bool ContactFields::operator==(const ContactFields &other) const
{
    for (const ContactFieldInfo &field : declaredContactFields()) {
        if (field.isList() ? this->*field.list != other.*field.list
                           : this->*field.text != other.*field.text)
            return false;
    }
    return Others == other.Others;
}

void OverwrittenValues::add(QString ContactFields::*member, QString &&text)
{
    const auto &declared = declaredContactFields();
    for (std::size_t i = 0; i < declared.size(); ++i) {
        if (declared[i].text == member) {
            texts.append(std::move(text));
            fields.append(char(i));
            fieldMask |= 1u << i;
            return;
        }
    }
}
