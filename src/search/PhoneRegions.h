#pragma once

#include <QList>
#include <QString>
#include <QStringView>

/// A region whose telephone numbers libphonenumber reads.
struct PhoneRegion
{
    QString code; ///< two capital letters
    QString name; ///< the territory's English name, or the code where Qt knows none
};

/// Every region libphonenumber reads numbers of, sorted by name.
QList<PhoneRegion> phoneRegions();

/// True for the two capital letters of a region libphonenumber reads numbers of.
bool isPhoneRegion(QStringView code);

/// The name of the region with this code, or the code where Qt knows none.
QString phoneRegionName(const QString &code);
