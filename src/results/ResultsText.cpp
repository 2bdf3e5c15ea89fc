#include "results/ResultsText.h"

#include "base/Desktop.h"
#include "base/EventPump.h"
#include "base/Failure.h"
#include "results/OutputTarget.h"
#include "results/ResultsModel.h"

#include <QSaveFile>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// TAB, CR and LF, which would break the layout, and the other control characters (NUL,
// ESC, ...), which would reach a terminal as commands.
bool breaksLayout(QChar c)
{
    return c.unicode() < 0x20;
}

} // namespace

// Each control character becomes one space, so a value or a file name can neither end
// its row's line nor move the cells after it to another column, nor drive the terminal
// that shows it.
void appendFlatCell(QString &text, QStringView cell)
{
    const qsizetype start = text.size();
    text.append(cell);
    // Few cells hold a control character: one pass without a branch (which the compiler
    // runs many characters at a time) tells whether there is anything to replace.
    const char16_t *chars = cell.utf16();
    char16_t lowest = 0xFFFF;
    for (qsizetype i = 0; i < cell.size(); ++i)
        lowest = qMin(lowest, chars[i]);
    if (lowest < 0x20)
        std::replace_if(text.begin() + start, text.end(), breaksLayout, QChar(u' '));
}

QString resultsCaptionLine(const ResultRow &first, int columns, const ResultsModel *results)
{
    QString line;
    for (int k = 1; k <= columns; ++k) {
        if (!resultCell(first, k).isEmpty())
            line += (results ? results->caption(k) : ResultsModel::columnCaption(k)) + u'\t';
    }
    return line + u"\r\n"_s;
}

namespace {

/// The length of the line appendResultsRowLine writes for row.
qsizetype resultsRowLineSize(const ResultRow &row, int columns)
{
    qsizetype size = 2; // CR LF
    for (int k = 1; k <= columns; ++k) {
        if (const qsizetype cell = resultCell(row, k).size(); cell > 0)
            size += cell + 1; // and its TAB
    }
    return size;
}

} // namespace

void appendResultsRowLine(QString &text, const ResultRow &row, int columns)
{
    for (int k = 1; k <= columns; ++k) {
        const QString &cell = resultCell(row, k);
        if (!cell.isEmpty()) {
            appendFlatCell(text, cell);
            text.append(u'\t');
        }
    }
    text.append(u"\r\n");
}

void writeResultsRowLine(const ResultRow &row, int columns, qsizetype piece,
                         const std::function<void(const QString &)> &write)
{
    QString text;
    for (int k = 1; k <= columns; ++k) {
        const QStringView cell = resultCell(row, k);
        for (qsizetype at = 0; at < cell.size();) {
            qsizetype end = qMin(cell.size(), at + piece);
            // Both halves of a surrogate pair go into the same piece: either alone would
            // be written as "?".
            if (end < cell.size() && cell[end].isLowSurrogate() && cell[end - 1].isHighSurrogate())
                ++end;
            appendFlatCell(text, cell.sliced(at, end - at));
            if (text.size() >= piece)
                write(std::exchange(text, {}));
            at = end;
        }
        if (!cell.isEmpty())
            text.append(u'\t');
    }
    text.append(u"\r\n");
    write(text);
}

namespace {

void tick(EventPump *pump)
{
    if (pump)
        pump->tick();
}

} // namespace

QString resultsFileText(const ResultsModel &results, EventPump *pump, const OutputRows &rows)
{
    if (rows.count(results) == 0)
        return {};
    const int columns = results.shownColumnCount();
    QString text = resultsCaptionLine(results.row(rows.at(0)), columns, &results);
    // The room for every line is made at once: a text of hundreds of megabytes grown as
    // it is written would be moved whole in one turn of events.
    qsizetype size = text.size();
    for (qsizetype i = 0; (tick(pump), i < rows.count(results)); ++i)
        size += resultsRowLineSize(results.row(rows.at(i)), columns);
    text.reserve(size);
    // The table is read afresh after every turn of events: it may have been cleared.
    for (qsizetype i = 0; (tick(pump), i < rows.count(results)); ++i)
        appendResultsRowLine(text, results.row(rows.at(i)), columns);
    return text;
}

namespace {

// A longer cell is copied whole but does not widen its column: one long note would
// otherwise pad every copied row to its length.
constexpr qsizetype kWidestPaddedCell = 256;

} // namespace

namespace {

/// Rows as column-aligned text: each cell padded to its column's widest cell of at most
/// 256 characters among the rows that rowAt names, cells joined by TAB, trailing blanks
/// removed, CR LF after every line; only the rows that take accepts are written, and
/// taken counts them. available tells how many of the rows named are still there.
template<typename RowAt, typename Available, typename Takes>
QString alignedText(const ResultsModel &results, qsizetype count, RowAt rowAt, Available available,
                    Takes takes, EventPump *pump, qsizetype *taken)
{
    const int columns = results.shownColumnCount();
    std::array<qsizetype, ResultsModel::kColumnCount> widths{};
    for (qsizetype i = 0; (tick(pump), i < qMin(count, available())); ++i) {
        for (int k = 1; k <= columns; ++k) {
            const qsizetype size = results.cell(rowAt(i), k).size();
            if (size <= kWidestPaddedCell)
                widths[k - 1] = qMax(widths[k - 1], size);
        }
    }
    QString text;
    qsizetype lines = 0;
    for (qsizetype i = 0; (tick(pump), i < qMin(count, available())); ++i) {
        const qsizetype r = rowAt(i);
        if (!takes(r))
            continue;
        ++lines;
        const qsizetype lineStart = text.size();
        for (int k = 1; k <= columns; ++k) {
            const QString &cell = results.cell(r, k);
            appendFlatCell(text, cell);
            // The last cell's padding would go with the trailing blanks.
            if (k < columns) {
                if (cell.size() < widths[k - 1])
                    text.resize(text.size() + widths[k - 1] - cell.size(), u' ');
                text.append(u'\t');
            }
        }
        qsizetype end = text.size();
        while (end > lineStart && text.at(end - 1) == u' ')
            --end;
        text.truncate(end);
        text.append(u"\r\n");
    }
    if (taken)
        *taken = lines;
    return text;
}

} // namespace

QString clipboardText(const ResultsModel &results, EventPump *pump, const OutputRows &rows,
                      qsizetype *copied)
{
    return alignedText(
        results, rows.count(results), [&rows](qsizetype i) { return rows.at(i); },
        [&] { return rows.count(results); },
        [&results](qsizetype r) { return results.isChecked(r); }, pump, copied);
}

QString clipboardText(const ResultsModel &results, const QList<qsizetype> &rows)
{
    QList<qsizetype> valid;
    for (const qsizetype r : rows) {
        if (r >= 0 && r < results.count())
            valid.append(r);
    }
    return alignedText(
        results, valid.size(), [&valid](qsizetype i) { return valid.at(i); },
        [&results] { return results.count(); }, [](qsizetype) { return true; }, nullptr, nullptr);
}

void SaveResultsText(const ResultsModel &results, const QString &path, EventPump *pump)
{
    WriteTextFile(resultsFileText(results, pump), path, pump);
}

namespace {

// A clipboard held by another program is tried again at once, this many times in all.
constexpr int kClipboardAttempts = 1000;

} // namespace

bool ClearClipboard(Desktop &desktop)
{
    for (int attempt = 1; attempt < kClipboardAttempts; ++attempt) {
        if (desktop.clearClipboard())
            return true;
    }
    return desktop.clearClipboard();
}

bool SetClipboardText(Desktop &desktop, const QString &text, int format)
{
    Q_UNUSED(format); // plain text is the only format used
    for (int attempt = 1; attempt < kClipboardAttempts; ++attempt) {
        if (desktop.setClipboardText(text))
            return true;
    }
    return desktop.setClipboardText(text);
}

qsizetype CopyResultsToClipboard(Desktop &desktop, const ResultsModel &results, EventPump *pump,
                                 const OutputRows &rows)
{
    qsizetype copied = 0;
    const QString text = clipboardText(results, pump, rows, &copied);
    if (copied == 0)
        return 0;
    ClearClipboard(desktop);
    SetClipboardText(desktop, text, 0);
    return copied;
}

namespace {

// The text is converted and written this many characters at a time: a few milliseconds'
// work, and a text of a million rows is never held twice over.
constexpr qsizetype kWritePiece = qsizetype(1) << 20;

} // namespace

namespace {

/// Writes text to path as UTF-8 through a QSaveFile, which replaces the file only once
/// the disk holds all of it.
void writeAndCommit(const QString &text, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Failure(path + u": "_s + file.errorString());
    for (qsizetype at = 0; at < text.size();) {
        qsizetype length = qMin(kWritePiece, text.size() - at);
        // A pair of surrogates stays in one piece.
        if (at + length < text.size() && text.at(at + length - 1).isHighSurrogate())
            ++length;
        const QByteArray bytes = QStringView(text).sliced(at, length).toUtf8();
        if (file.write(bytes) != bytes.size()) {
            const QString reason = file.errorString();
            file.cancelWriting();
            throw Failure(path + u": "_s + reason);
        }
        at += length;
    }
    if (!file.commit())
        throw Failure(path + u": "_s + file.errorString());
}

} // namespace

void WriteTextFile(const QString &text, const QString &path, EventPump *pump)
{
    // QSaveFile would put a regular file in the place of a device or a FIFO.
    if (const QString problem = outputKindProblem(path); !problem.isEmpty())
        throw Failure(problem);
    if (!pump)
        return writeAndCommit(text, path);
    // Writing hundreds of megabytes waits for the disk (the system holds back a writer
    // that is far ahead of it, and the commit waits for all of it): with events to run,
    // the file is written on a thread of its own while they run.
    std::exception_ptr failure;
    std::atomic<bool> done = false;
    {
        const std::jthread writer([&] {
            try {
                writeAndCommit(text, path);
            } catch (...) {
                failure = std::current_exception();
            }
            done = true;
        });
        while (!done) {
            pump->tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}
