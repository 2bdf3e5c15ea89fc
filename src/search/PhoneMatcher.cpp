#include "search/PhoneMatcher.h"

#include <QLocale>
#include <QVarLengthArray>

#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;
using namespace Qt::StringLiterals;

namespace {

using Digits = QVarLengthArray<char16_t, 64>;

/// The decimal digits of the text in order, any script's digits read as ASCII ones.
void appendDigits(QStringView text, Digits &out)
{
    for (const QChar c : text) {
        if (c.unicode() >= u'0' && c.unicode() <= u'9')
            out.append(c.unicode());
        else if (c.unicode() >= 0x80 && c.isDigit())
            out.append(char16_t(u'0' + c.digitValue()));
    }
}

bool isSeparator(QChar c)
{
    return c == u' ' || c == u'-' || c == u'.' || c == u'/' || c == u'(' || c == u')';
}

} // namespace

struct PhoneMatcher::Number
{
    PhoneNumber parsed;
};

PhoneMatcher::PhoneMatcher(const QString &needle, const QString &region)
{
    Digits digits;
    appendDigits(needle, digits);
    m_digits = QString(reinterpret_cast<const QChar *>(digits.constData()), digits.size());
    const PhoneNumberUtil &util = *PhoneNumberUtil::GetInstance();
    auto number = std::make_unique<Number>();
    if (util.Parse(needle.toStdString(), region.toUpper().toStdString(), &number->parsed)
        != PhoneNumberUtil::NO_PARSING_ERROR)
        return;
    std::string national;
    util.GetNationalSignificantNumber(number->parsed, &national);
    m_nationalNumber = QString::fromStdString(national);
    if (!m_nationalNumber.isEmpty())
        m_number = std::move(number);
}

PhoneMatcher::~PhoneMatcher() = default;

bool PhoneMatcher::matches(QStringView value) const
{
    Digits digits;
    appendDigits(value, digits);
    const QStringView valueDigits(digits.constData(), digits.size());
    if (valueDigits.contains(m_digits))
        return true;
    // libphonenumber is asked only when the value's digits hold the national number,
    // as they do in every form of the same number.
    if (!m_number || !valueDigits.contains(m_nationalNumber))
        return false;
    const PhoneNumberUtil::MatchType match
        = PhoneNumberUtil::GetInstance()->IsNumberMatchWithOneString(
            m_number->parsed, value.toString().toStdString());
    return match == PhoneNumberUtil::EXACT_MATCH || match == PhoneNumberUtil::NSN_MATCH;
}

bool PhoneMatcher::looksLikePhoneNumber(QStringView text)
{
    qsizetype digits = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isDigit())
            ++digits;
        else if (!isSeparator(c) && !(c == u'+' && i == 0))
            return false;
    }
    return digits >= 3;
}

QString PhoneMatcher::systemRegion()
{
    const QLocale::Territory territory = QLocale::system().territory();
    const QString code
        = territory == QLocale::AnyTerritory ? QString() : QLocale::territoryToCode(territory);
    return code.size() == 2 ? code : u"ZZ"_s;
}
