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
    /// With several texts, only cards that hold every one give rows.
    bool everyText = false;
    /// The rows, cards and files of each text go to the errors' stream after the rows.
    bool counts = false;
    /// A match must start and end at word boundaries.
    bool wholeWords = false;
    /// The names of the fields, groups and properties searched; empty for every value.
    QStringList fields;
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
    /// The groups of duplicate contacts are printed instead of the rows: among the
    /// cards that have a row, or among every card when no text is given.
    bool duplicates = false;
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
/// With several texts the results text has the column "Search text".
/// With duplicates the same holds for the groups found, whose cards are then those
/// written.
int runSearch(const SearchCommandOptions &options, std::FILE *out, std::FILE *err);
