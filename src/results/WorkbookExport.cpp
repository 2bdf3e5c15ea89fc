#include "results/WorkbookExport.h"

#include "base/EventPump.h"
#include "base/Failure.h"
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

bool isXmlChar(char16_t c)
{
    return c >= 0x20 ? c != 0xFFFE && c != 0xFFFF : c == u'\t' || c == u'\n' || c == u'\r';
}

// The cell as UTF-8 that the sheet's XML can hold, at most kMaxCellText characters
// long. A NUL becomes U+FFFD too, so the C string the writer takes is never cut.
QByteArray cellText(const QString &cell, bool &shortened)
{
    QString text = cell;
    const qsizetype size = cell.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = cell.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < size
            && QChar::isLowSurrogate(cell.at(i + 1).unicode()))
            ++i;
        else if (QChar::isSurrogate(c) || !isXmlChar(c))
            text[i] = QChar::ReplacementCharacter;
    }
    shortened = size > kMaxCellText;
    if (shortened) {
        // Every high surrogate left is paired: one at the end would lose its partner.
        text.truncate(text.at(kMaxCellText - 1).isHighSurrogate() ? kMaxCellText - 1
                                                                  : kMaxCellText);
    }
    return text.toUtf8();
}

} // namespace

QList<QStringList> workbookRows(const ResultsModel &results, EventPump *pump,
                                const OutputRows &shown)
{
    QList<QStringList> rows;
    if (shown.count(results) == 0)
        return rows;
    const int columns = results.shownColumnCount();
    QStringList captions;
    for (int k = 1; k <= columns; ++k) {
        if (!results.cell(shown.at(0), k).isEmpty())
            captions.append(ResultsModel::columnCaption(k));
    }
    rows.append(captions);
    for (qsizetype i = 0; (tick(pump), i < shown.count(results)); ++i) {
        const qsizetype r = shown.at(i);
        QStringList cells;
        for (int k = 1; k <= columns; ++k) {
            const QString &cell = results.cell(r, k);
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

WorkbookWritten writeWorkbook(const QList<QStringList> &rows, const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    lxw_workbook *workbook = workbook_new(file.constData());
    if (!workbook)
        throw Failure(path + u": the workbook could not be created"_s);
    lxw_worksheet *sheet = workbook_add_worksheet(workbook, nullptr);
    WorkbookWritten result;
    qsizetype written = 0;
    for (const QStringList &row : rows) {
        if (written == kMaxRows) {
            result.problem = u"The workbook holds %1 rows at most; %2 result rows were left out"_s
                                 .arg(kMaxRows)
                                 .arg(rows.size() - written);
            break;
        }
        for (qsizetype c = 0; c < row.size(); ++c) {
            bool shortened = false;
            const QByteArray text = cellText(row.at(c), shortened);
            if (shortened)
                ++result.shortened;
            const lxw_error error = worksheet_write_string(sheet, lxw_row_t(written), lxw_col_t(c),
                                                           text.constData(), nullptr);
            if (error != LXW_NO_ERROR && result.problem.isEmpty())
                result.problem = QString::fromUtf8(lxw_strerror(error));
        }
        ++written;
    }
    const QList<double> widths = fittedColumnWidths(rows.first(qMin(rows.size(), kMaxRows)));
    for (qsizetype c = 0; c < widths.size(); ++c)
        worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), widths.at(c), nullptr);
    const lxw_error closed = workbook_close(workbook);
    if (closed != LXW_NO_ERROR)
        throw Failure(path + u": "_s + QString::fromUtf8(lxw_strerror(closed)));
    return result;
}

QString shortenedValuesText(qsizetype shortened)
{
    return shortened == 1 ? u"1 value was longer than a cell holds (32,767 characters) and was "
                            "shortened in the workbook."_s
                          : u"%1 values were longer than a cell holds (32,767 characters) and "
                            "were shortened in the workbook."_s.arg(shortened);
}
