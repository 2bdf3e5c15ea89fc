#pragma once

#include <QStringList>

#include <cstdio>

/// Prints every card of every file as one JSON object per line, in file order, each
/// as soon as it is parsed (of a file too large to be read whole, which is read a block
/// at a time, as soon as its block is). A path that does not exist, or a file that cannot be read,
/// is named on err with the reason and skipped. Returns the exit status: 0, or 2 when a
/// file could not be read or the output could not be written.
int runDump(const QStringList &paths, std::FILE *out, std::FILE *err);
