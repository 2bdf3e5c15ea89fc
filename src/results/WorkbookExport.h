#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class EventPump;
class ResultsModel;

/// The rows of the sheet for the results table: row 1 the captions of the columns
/// the first result row fills, then one row per result; empty cells take no
/// column, so later cells move left; "=" is removed from Tag and Value.
QList<QStringList> workbookRows(const ResultsModel &results, EventPump *pump = nullptr);

/// The width, in characters, that fits the longest text of each sheet column.
QList<double> fittedColumnWidths(const QList<QStringList> &rows);

/// Writes the rows as text cells of the first sheet of a new workbook, columns fitted.
/// Throws Failure when the file cannot be written or a limit of the format was hit
/// (the rows up to the limit are written).
void writeWorkbook(const QList<QStringList> &rows, const QString &path);
