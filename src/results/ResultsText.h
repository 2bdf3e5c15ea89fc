#pragma once

#include "results/OutputRows.h"
#include "search/ResultRow.h"

#include <QList>
#include <QString>

#include <functional>

class Desktop;
class EventPump;
class ResultsModel;

/// The caption line of the results text file, its columns (the first columns of the
/// table: 4, or 5 with the search text) chosen by the non-empty cells of the first row:
/// each caption (the table's own, when results is given) followed by a TAB, then CR LF.
QString resultsCaptionLine(const ResultRow &first, int columns,
                           const ResultsModel *results = nullptr);
/// Appends one row of the results text file to text: every non-empty cell of the first
/// columns followed by a TAB, then CR LF; empty cells are left out. A control character
/// inside a cell (TAB, CR, LF, NUL, ESC, ...) is written as one space, so every row is
/// one line with its cells in their columns and nothing in it drives a terminal.
void appendResultsRowLine(QString &text, const ResultRow &row, int columns);
/// The same line handed to write in pieces of about piece characters, so that a value
/// of a gigabyte is never copied whole.
void writeResultsRowLine(const ResultRow &row, int columns, qsizetype piece,
                         const std::function<void(const QString &)> &write);
/// Appends the cell with each control character as one space.
void appendFlatCell(QString &text, QStringView cell);
/// The whole results text file of the rows given (every row by default); empty when
/// there are none. The pump lets window events run between rows; rows removed
/// meanwhile are not written.
QString resultsFileText(const ResultsModel &results, EventPump *pump = nullptr,
                        const OutputRows &rows = {});

/// The ticked rows as column-aligned text: each cell padded to its column's widest
/// cell of at most 256 characters over all rows, cells joined by TAB, trailing blanks
/// removed, CR LF after every line. A control character inside a cell becomes one space.
/// Given rows, only those count, in their order; copied receives how many went.
QString clipboardText(const ResultsModel &results, EventPump *pump = nullptr,
                      const OutputRows &rows = {}, qsizetype *copied = nullptr);
/// The named rows (from 0, in the order given) in the same format, aligned among
/// themselves, ticked or not.
QString clipboardText(const ResultsModel &results, const QList<qsizetype> &rows);

/// Builds the results text file and writes it with WriteTextFile.
void SaveResultsText(const ResultsModel &results, const QString &path, EventPump *pump = nullptr);

/// Empties the clipboard, trying again at once while it is held elsewhere (1000
/// attempts at most); true when the last attempt succeeded.
bool ClearClipboard(Desktop &desktop);
/// Puts the text on the clipboard with the same retries. format 0 is plain text.
bool SetClipboardText(Desktop &desktop, const QString &text, int format = 0);
/// The ticked rows among those given as aligned text on the clipboard; how many were
/// copied. With no row ticked (an empty table included) the clipboard is left as it is
/// and the answer is 0.
qsizetype CopyResultsToClipboard(Desktop &desktop, const ResultsModel &results,
                                 EventPump *pump = nullptr, const OutputRows &rows = {});

/// Writes the text as UTF-8 without a byte-order mark, replacing the file only when
/// the whole text was written. Throws Failure when it cannot be written, or when
/// something other than a regular file stands at path (see outputKindProblem). The text
/// is converted and written piece by piece, the pump ticked between pieces.
void WriteTextFile(const QString &text, const QString &path, EventPump *pump = nullptr);
