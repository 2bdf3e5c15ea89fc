#pragma once

#include <QStringList>

#include <cstdio>

/// Prints every card of every file as one JSON object per line, in file order.
/// A file that exists but cannot be read is named on err with the reason and
/// skipped. Returns the exit status: 0, or 2 when a file could not be read.
int runDump(const QStringList &paths, std::FILE *out, std::FILE *err);
