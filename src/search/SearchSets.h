#pragma once

#include <QString>
#include <QStringList>

class SettingsStore;

/// The stored form of the search set list: "::" before every entry.
QString findSetsText(const QStringList &sets);
/// The entries of a stored form: split at every "::" from left to right, empty
/// pieces dropped (so an entry that held "::" comes back as several).
QStringList findSetsFromText(const QString &stored);

/// Writes the list to "FindSets".
void StoreFindSets(SettingsStore &settings, const QStringList &sets);
/// The list stored as "FindSets" (empty when absent).
QStringList LoadFindSets(const SettingsStore &settings);
