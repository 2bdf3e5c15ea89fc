#pragma once

#include <QString>
#include <QStringList>

/// The paths a multi-select open dialog's choice adds: one file as handed over;
/// several joined from their folder and name and normalised.
QStringList dialogSelectionPaths(const QStringList &chosen);

/// True when a text is empty or holds spaces only (a tab is not blank): a blank
/// list-file line is skipped, a blank search text refused.
bool isBlank(const QString &line);

/// The entries a search-text list file adds: its non-blank lines, as read.
/// Throws Failure when the file cannot be read.
QStringList listFileEntries(const QString &path);
