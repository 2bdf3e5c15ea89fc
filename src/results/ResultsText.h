#pragma once

#include "results/ResultRow.h"

#include <QString>

class ResultsModel;

/// The caption line of the results text file, its columns chosen by the non-empty
/// cells of the first row: each caption followed by a TAB, then CR LF.
QString resultsCaptionLine(const ResultRow &first);
/// One row of the results text file: every non-empty cell followed by a TAB, then
/// CR LF; empty cells are left out.
QString resultsRowLine(const ResultRow &row);
/// The whole results text file; empty for an empty table.
QString resultsFileText(const ResultsModel &results);

/// The ticked rows as column-aligned text: each cell padded to its column's widest
/// cell over all rows, cells joined by TAB, trailing blanks removed, CR LF after
/// every line.
QString clipboardText(const ResultsModel &results);

/// Writes the text as UTF-8 without a byte-order mark, replacing the file only when
/// the whole text was written. Throws Failure when it cannot be written.
void WriteTextFile(const QString &text, const QString &path);
