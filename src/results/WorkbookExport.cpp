#include "results/WorkbookExport.h"

#include "app/EventPump.h"
#include "app/Failure.h"
#include "results/ResultsModel.h"

#include <QFile>

#include <xlsxwriter.h>

using namespace Qt::StringLiterals;

namespace {

// Limits of the workbook format.
constexpr qsizetype kMaxRows = 1048576;
constexpr qsizetype kMaxCellText = 32767;
constexpr double kMaxColumnWidth = 255.0;

void tick(EventPump *pump)
{
    if (pump)
        pump->tick();
}

} // namespace

QList<QStringList> workbookRows(const ResultsModel &results, EventPump *pump)
{
    QList<QStringList> rows;
    if (results.count() == 0)
        return rows;
    QStringList captions;
    for (int k = 1; k <= ResultsModel::kColumnCount; ++k) {
        if (!results.cell(0, k).isEmpty())
            captions.append(ResultsModel::columnCaption(k));
    }
    rows.append(captions);
    for (qsizetype r = 0; (tick(pump), r < results.count()); ++r) {
        QStringList cells;
        for (int k = 1; k <= ResultsModel::kColumnCount; ++k) {
            QString cell = results.cell(r, k);
            if (k >= 2)
                cell.remove(u'=');
            if (!cell.isEmpty())
                cells.append(cell);
        }
        rows.append(cells);
    }
    return rows;
}

QList<double> fittedColumnWidths(const QList<QStringList> &rows)
{
    QList<double> widths;
    for (const QStringList &row : rows) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (widths.size() <= c)
                widths.append(0.0);
            // The longest line of a cell decides; a little room for the cell's margins.
            qsizetype longest = 0;
            for (const QStringView line : QStringView(row.at(c)).tokenize(u'\n'))
                longest = qMax(longest, line.size());
            widths[c] = qMin(kMaxColumnWidth, qMax(widths[c], double(longest) + 1.0));
        }
    }
    return widths;
}

void writeWorkbook(const QList<QStringList> &rows, const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    lxw_workbook *workbook = workbook_new(file.constData());
    if (!workbook)
        throw Failure(path + u": the workbook could not be created"_s);
    lxw_worksheet *sheet = workbook_add_worksheet(workbook, nullptr);
    QString problem;
    qsizetype written = 0;
    for (const QStringList &row : rows) {
        if (written == kMaxRows) {
            problem = u"The workbook holds %1 rows at most; %2 result rows were left out"_s
                          .arg(kMaxRows)
                          .arg(rows.size() - written);
            break;
        }
        for (qsizetype c = 0; c < row.size(); ++c) {
            const QByteArray text = row.at(c).left(kMaxCellText).toUtf8();
            const lxw_error error = worksheet_write_string(sheet, lxw_row_t(written), lxw_col_t(c),
                                                           text.constData(), nullptr);
            if (error != LXW_NO_ERROR && problem.isEmpty())
                problem = QString::fromUtf8(lxw_strerror(error));
        }
        ++written;
    }
    const QList<double> widths = fittedColumnWidths(rows.first(qMin(rows.size(), kMaxRows)));
    for (qsizetype c = 0; c < widths.size(); ++c)
        worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), widths.at(c), nullptr);
    const lxw_error closed = workbook_close(workbook);
    if (closed != LXW_NO_ERROR)
        throw Failure(path + u": "_s + QString::fromUtf8(lxw_strerror(closed)));
    if (!problem.isEmpty())
        throw Failure(problem);
}
