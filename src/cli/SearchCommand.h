#pragma once

#include "filelist/PathIntake.h"

#include <QString>
#include <QStringList>

#include <cstdio>

struct SearchCommandOptions
{
    QStringList texts;
    bool matchCase = false;
    bool phoneNumbers = false;
    bool ignoreAccents = false;
    /// Every text is a regular expression.
    bool regularExpression = false;
    bool allProperties = false;
    /// Two letters; empty for the locale's region.
    QString region;
    QString extension = defaultExtension();
    QStringList paths;
    /// Threads to use; 1 reads and searches on one thread.
    int threads = 1;
    /// One JSON object per row instead of the results text file.
    bool json = false;
    /// When set, every card with a row is written to this file as well.
    QString exportCards;
    /// When set, the reading report is written to this file as JSON ("-": the errors'
    /// stream), also when the search fails.
    QString report;
    /// The report holds every file with its SHA-256 digest.
    bool hash = false;
};

/// Searches the named files, and every file a named folder's tree adds, writing
/// the results text file (or JSON lines) to out, then the matching cards to their file
/// when asked. Returns 0 when a row was found, 1 when none, 2 when a file could not be
/// read (its error goes to err and the run goes on) or the cards' file not written.
int runSearch(const SearchCommandOptions &options, std::FILE *out, std::FILE *err);
