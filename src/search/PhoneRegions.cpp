#include "search/PhoneRegions.h"

#include <QLocale>

#include <algorithm>
#include <set>
#include <string>

#include <phonenumbers/phonenumberutil.h>

using i18n::phonenumbers::PhoneNumberUtil;

QString phoneRegionName(const QString &code)
{
    const QLocale::Territory territory = QLocale::codeToTerritory(code);
    return territory == QLocale::AnyTerritory ? code : QLocale::territoryToString(territory);
}

namespace {

const std::set<std::string> &supportedRegions()
{
    static const std::set<std::string> codes = [] {
        std::set<std::string> supported;
        PhoneNumberUtil::GetInstance()->GetSupportedRegions(&supported);
        return supported;
    }();
    return codes;
}

} // namespace

QList<PhoneRegion> phoneRegions()
{
    const std::set<std::string> &codes = supportedRegions();
    QList<PhoneRegion> regions;
    regions.reserve(qsizetype(codes.size()));
    for (const std::string &code : codes) {
        const QString text = QString::fromStdString(code);
        regions.append({text, phoneRegionName(text)});
    }
    std::sort(regions.begin(), regions.end(), [](const PhoneRegion &a, const PhoneRegion &b) {
        const int order = QString::localeAwareCompare(a.name, b.name);
        return order != 0 ? order < 0 : a.code < b.code;
    });
    return regions;
}

bool isPhoneRegion(QStringView code)
{
    return code.size() == 2 && supportedRegions().count(code.toString().toStdString()) > 0;
}
