#pragma once

#include "results/OutputRows.h"

#include <QList>
#include <QString>
#include <QStringList>

class EventPump;
class ResultsModel;

/// The rows of the sheet for the results table: row 1 the captions of the columns
/// the first result row fills, then one row per result (of those given; every row by
/// default); empty cells take no column, so later cells move left. Cells keep their
/// text as it stands.
QList<QStringList> workbookRows(const ResultsModel &results, EventPump *pump = nullptr,
                                const OutputRows &shown = {});

/// The width, in characters, that fits the longest text of each sheet column.
QList<double> fittedColumnWidths(const QList<QStringList> &rows);

/// What writeWorkbook had to change or leave out to fit the format.
struct WorkbookWritten
{
    /// Values longer than a cell holds (32,767 characters), written shortened.
    qsizetype shortened = 0;
    /// A limit of the format that left rows or cells out; empty when none was hit.
    QString problem;
};

/// Writes the rows as text cells of the first sheet of a new workbook, columns fitted,
/// so no cell becomes a formula. Characters that XML cannot hold are written as
/// U+FFFD, and a value longer than a cell holds is shortened. Throws Failure when the
/// file cannot be written; the rows up to a limit of the format are written and the
/// limit is answered in problem.
WorkbookWritten writeWorkbook(const QList<QStringList> &rows, const QString &path);

/// The message that names how many values writeWorkbook shortened.
QString shortenedValuesText(qsizetype shortened);
