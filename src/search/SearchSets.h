#pragma once

#include <QString>
#include <QStringList>

class SettingsStore;

/// The stored form of the search set list: "::" before every entry, whenever that
/// text reads back as the same list. A list it would change (an entry holding "::",
/// or ending in ":" before the next entry, ...) is stored as a JSON array of strings.
QString findSetsText(const QStringList &sets);
/// The entries of a stored form. A text that is wholly a JSON array of strings gives
/// its non-empty strings; any other text is split at every "::" from left to right,
/// empty pieces dropped.
QStringList findSetsFromText(const QString &stored);

/// Writes the list to "FindSets".
void StoreFindSets(SettingsStore &settings, const QStringList &sets);
/// The list stored as "FindSets" (empty when absent).
QStringList LoadFindSets(const SettingsStore &settings);
