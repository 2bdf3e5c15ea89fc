// The module that the core loads at its first question about a phone number: it holds
// libphonenumber's answers and nothing of this program's own logic.

#include "search/PhoneLibrary.h"

#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;

namespace {

const PhoneNumberUtil &util()
{
    return *PhoneNumberUtil::GetInstance();
}

class LibraryNumber final : public PhoneLibrary::Number
{
public:
    explicit LibraryNumber(const PhoneNumber &number) : m_number(number) {}

    std::string national() const override
    {
        std::string national;
        util().GetNationalSignificantNumber(m_number, &national);
        return national;
    }
    bool isPossible() const override { return util().IsPossibleNumber(m_number); }
    std::string format(PhoneLibrary::Form form) const override
    {
        std::string formatted;
        util().Format(m_number,
                      form == PhoneLibrary::Form::E164 ? PhoneNumberUtil::E164
                                                       : PhoneNumberUtil::INTERNATIONAL,
                      &formatted);
        return formatted;
    }
    bool isSameAs(const std::string &text) const override
    {
        const PhoneNumberUtil::MatchType match = util().IsNumberMatchWithOneString(m_number, text);
        return match == PhoneNumberUtil::EXACT_MATCH || match == PhoneNumberUtil::NSN_MATCH;
    }

private:
    const PhoneNumber m_number;
};

class Library final : public PhoneLibrary
{
public:
    std::unique_ptr<Number> parse(const std::string &text, const std::string &region) const override
    {
        PhoneNumber number;
        if (util().Parse(text, region, &number) != PhoneNumberUtil::NO_PARSING_ERROR)
            return nullptr;
        return std::make_unique<LibraryNumber>(number);
    }
    std::unique_ptr<Number> make(int countryCode, std::uint64_t national) const override
    {
        PhoneNumber number;
        number.set_country_code(countryCode);
        number.set_national_number(national);
        return std::make_unique<LibraryNumber>(number);
    }
    std::string regionOf(int countryCode) const override
    {
        std::string region;
        util().GetRegionCodeForCountryCode(countryCode, &region);
        return region;
    }
    std::set<std::string> regions() const override
    {
        std::set<std::string> codes;
        util().GetSupportedRegions(&codes);
        return codes;
    }
};

} // namespace

extern "C" __attribute__((visibility("default"))) const PhoneLibrary *QUILLORY_PHONE_ENTRY()
{
    static const Library library;
    return &library;
}
