#include "search/SearchSets.h"

#include "app/SettingsStore.h"

using namespace Qt::StringLiterals;

QString findSetsText(const QStringList &sets)
{
    QString stored;
    for (const QString &entry : sets)
        stored += u"::"_s + entry;
    return stored;
}

QStringList findSetsFromText(const QString &stored)
{
    return stored.split(u"::"_s, Qt::SkipEmptyParts);
}

void StoreFindSets(SettingsStore &settings, const QStringList &sets)
{
    settings.WriteSetting(u"FindSets"_s, findSetsText(sets));
}

QStringList LoadFindSets(const SettingsStore &settings)
{
    return findSetsFromText(settings.ReadSetting(u"FindSets"_s, QString()));
}
