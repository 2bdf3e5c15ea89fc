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
/// Writes to "FindSets" the change of a list from before (as it was last loaded or
/// stored) to sets, made on the list stored now, which another window may have changed
/// meanwhile: the entries that sets gained are appended to it and those it lost are
/// taken out, each as often as it was added or removed, less what the other window
/// already changed alike (an entry both added is stored once). The list stored now is read
/// from the file again first. Returns the list written.
QStringList StoreFindSets(SettingsStore &settings, const QStringList &sets,
                          const QStringList &before);
/// The list stored now changed as before was changed to sets (see StoreFindSets); sets
/// itself when nothing else changed it.
QStringList mergedFindSets(const QStringList &stored, const QStringList &before,
                           const QStringList &sets);
/// The list stored as "FindSets" (empty when absent).
QStringList LoadFindSets(const SettingsStore &settings);
