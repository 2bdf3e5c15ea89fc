#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

struct SearchCommandOptions
{
    QStringList texts;
    bool matchCase = false;
    QString extension = QStringLiteral("vcf");
    QStringList paths;
    /// Threads to use; 1 reads and searches on one thread, as the window does.
    int threads = 1;
};

/// Searches the named files, and every file a named folder's tree adds, writing
/// the results text file to out. Returns 0 when a row was found, 1 when none, 2
/// when a file could not be read (its error goes to err and the run goes on).
int runSearch(const SearchCommandOptions &options, std::FILE *out, std::FILE *err);
