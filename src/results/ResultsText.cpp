#include "results/ResultsText.h"

#include "app/Failure.h"
#include "results/ResultsModel.h"

#include <QSaveFile>

#include <array>

using namespace Qt::StringLiterals;

namespace {

const QString &cellOf(const ResultRow &row, int k)
{
    return k == 1 ? row.File : k == 2 ? row.Tag : row.Value;
}

} // namespace

QString resultsCaptionLine(const ResultRow &first)
{
    QString line;
    for (int k = 1; k <= ResultsModel::kColumnCount; ++k) {
        if (!cellOf(first, k).isEmpty())
            line += ResultsModel::columnCaption(k) + u'\t';
    }
    return line + u"\r\n"_s;
}

QString resultsRowLine(const ResultRow &row)
{
    QString line;
    for (int k = 1; k <= ResultsModel::kColumnCount; ++k) {
        const QString &cell = cellOf(row, k);
        if (!cell.isEmpty())
            line += cell + u'\t';
    }
    return line + u"\r\n"_s;
}

QString resultsFileText(const ResultsModel &results)
{
    if (results.count() == 0)
        return {};
    QString text = resultsCaptionLine(results.row(0));
    for (qsizetype r = 0; r < results.count(); ++r)
        text += resultsRowLine(results.row(r));
    return text;
}

QString clipboardText(const ResultsModel &results)
{
    std::array<qsizetype, ResultsModel::kColumnCount> widths{};
    for (qsizetype r = 0; r < results.count(); ++r) {
        for (int k = 1; k <= ResultsModel::kColumnCount; ++k)
            widths[k - 1] = qMax(widths[k - 1], results.cell(r, k).size());
    }
    QString text;
    for (qsizetype r = 0; r < results.count(); ++r) {
        if (!results.isChecked(r))
            continue;
        QString line;
        for (int k = 1; k <= ResultsModel::kColumnCount; ++k) {
            const QString &cell = results.cell(r, k);
            line += cell + QString(widths[k - 1] - cell.size(), u' ') + u'\t';
        }
        line.chop(1);
        qsizetype end = line.size();
        while (end > 0 && line.at(end - 1) == u' ')
            --end;
        line.truncate(end);
        text += line + u"\r\n"_s;
    }
    return text;
}

void WriteTextFile(const QString &text, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Failure(path + u": "_s + file.errorString());
    const QByteArray bytes = text.toUtf8();
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw Failure(path + u": "_s + reason);
    }
    if (!file.commit())
        throw Failure(path + u": "_s + file.errorString());
}
