#include "cli/SearchCommand.h"

#include "base/Failure.h"
#include "base/NativePath.h"
#include "cli/DuplicatesOutput.h"
#include "cli/JsonText.h"
#include "cli/Output.h"
#include "filelist/FolderAdd.h"
#include "filelist/PathIntake.h"
#include "results/CardExport.h"
#include "results/OutputTarget.h"
#include "results/ResultCounts.h"
#include "results/ResultsModel.h"
#include "results/ResultsText.h"
#include "search/SearchReport.h"
#include "search/SearchRun.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

// Rows are turned into bytes at most about this many characters at a time.
constexpr qsizetype kPiece = qsizetype(1) << 16;
// A report of every file keeps this many bytes of its entries in memory at most.
constexpr qsizetype kReportSpoolBytes = qsizetype(4) << 20;

void printError(std::FILE *err, const QString &text)
{
    std::fprintf(err, "quillory-search: %s\n", terminalText(text).toUtf8().constData());
}

/// Why the cards may not be written to path: outputTargetProblem's reasons for the files
/// searched, and the path being where the tool's own output or errors go.
QString exportTargetProblem(const QString &path, const FileList &searched, std::FILE *out,
                            std::FILE *err)
{
    if (QString problem = outputTargetProblem(path, searched); !problem.isEmpty())
        return problem;
    if (isOpenFile(path, ::fileno(out)) || isOpenFile(path, ::fileno(err)))
        return displayFileName(path)
            + u": this is where the results or errors of quillory-search go; choose another "
              "file."_s;
    return {};
}

/// Appends one row as a JSON line; writeIfLong may write what is made so far.
void appendJsonRow(QString &text, const ResultRow &row, const std::function<void()> &writeIfLong)
{
    text.append(u"{\"file\": "_s);
    appendJsonString(text, row.File, writeIfLong);
    text.append(u", \"card\": "_s + QString::number(row.Card.number) + u", \"line\": "_s
                + QString::number(row.Card.line) + u", \"contact\": "_s);
    appendJsonString(text, row.Contact, writeIfLong);
    text.append(u", \"text\": "_s);
    appendJsonString(text, row.Text, writeIfLong);
    text.append(u", \"tag\": "_s);
    appendJsonString(text, row.Tag, writeIfLong);
    text.append(u", \"value\": "_s);
    appendJsonString(text, row.Value, writeIfLong);
    text.append(u"}\n"_s);
}

/// The counts of each search text as tab-separated lines: a caption line, then one line
/// per text in the order given.
QString countsText(const ResultCounts &counts)
{
    QString text = u"text\trows\tcards\tfiles\n"_s;
    for (const ResultCounts::PerText &one : counts.perText()) {
        text += terminalText(one.text) + u'\t' + QString::number(one.rows) + u'\t'
            + QString::number(one.cards) + u'\t' + QString::number(one.files) + u'\n';
    }
    return text;
}

/// The console as a search's listener: rows streamed as the results file or as JSON
/// lines, the cards with rows noted when they are to be written out, and the rows
/// counted for each text when asked.
class ConsoleListener final : public CommandListener
{
public:
    ConsoleListener(Output &out, bool json, int columns, MatchingCards *cards, ResultCounts *counts,
                    std::function<void(const QString &)> reportFailure, SearchReport *report)
        : CommandListener(std::move(reportFailure), report), m_out(out), m_json(json),
          m_columns(columns), m_cards(cards), m_counts(counts)
    {}

    // Rows are gathered into pieces of about kPiece characters, each written as soon as
    // it is full.
    bool rows(QList<ResultRow> &&rows) override
    {
        const auto write = [this](const QString &piece) { m_out.writeText(piece); };
        const std::function<void()> writeIfLong = [this] {
            if (m_text.size() >= kPiece)
                flush();
        };
        if (report())
            report()->addRows(rows.size());
        for (const ResultRow &row : rows) {
            if (m_cards)
                m_cards->add(row);
            if (m_counts)
                m_counts->add(row);
            if (m_json) {
                ++m_rows;
                appendJsonRow(m_text, row, writeIfLong);
                continue;
            }
            if (m_rows++ == 0)
                appendOutputBytes(m_bytes, resultsCaptionLine(row, m_columns));
            if (row.Value.size() < kPiece) {
                appendRowBytes(row);
                continue;
            }
            // A long value goes out in pieces, not as one more copy of it.
            flush();
            writeResultsRowLine(row, m_columns, kPiece, write);
        }
        if (m_text.size() >= kPiece || m_bytes.size() >= kPiece)
            flush();
        // Once the output cannot be written, searching on would only hide that.
        return !m_out.failed();
    }

    /// Writes what is gathered.
    void flush()
    {
        m_out.writeText(m_text);
        m_text.resize(0);
        m_out.write(m_bytes.view());
        m_bytes.clear();
    }

    qint64 rowCount() const { return m_rows; }

private:
    /// Appends a results line as the results text file has it, in the bytes written.
    void appendRowBytes(const ResultRow &row)
    {
        for (int k = 1; k <= m_columns; ++k) {
            const QString &cell = resultCell(row, k);
            if (cell.isEmpty())
                continue;
            // A file's path is the same for its rows: it is converted once.
            if (k == 1) {
                if (!cell.isSharedWith(m_lastFile)) {
                    m_lastFile = cell;
                    m_lastFileBytes.clear();
                    appendFlatCellBytes(m_lastFileBytes, cell);
                }
                m_bytes.append(m_lastFileBytes.view());
            } else {
                appendFlatCellBytes(m_bytes, cell);
            }
            m_bytes.append("\t");
        }
        m_bytes.append("\r\n");
    }

    Output &m_out;
    QString m_text; // JSON lines
    OutputBytes m_bytes; // results lines
    QString m_lastFile;
    OutputBytes m_lastFileBytes;
    qint64 m_rows = 0;
    bool m_json;
    int m_columns;
    MatchingCards *m_cards;
    ResultCounts *m_counts;
};

/// Writes the report where it is asked for; false, with the reason told, when it
/// cannot be written.
bool writeReport(const SearchReport &report, const QString &path, std::FILE *err)
{
    std::FILE *file = path == u"-"_s ? err : std::fopen(encodeFileName(path).constData(), "wb");
    int error = errno;
    QString problem;
    bool written = false;
    if (file) {
        std::fflush(err);
        written = report.writeJson(
            [&](QByteArrayView piece) {
                if (std::fwrite(piece.data(), 1, std::size_t(piece.size()), file)
                    == std::size_t(piece.size()))
                    return true;
                error = errno;
                return false;
            },
            &problem);
        if (std::fflush(file) != 0 && written) {
            error = errno;
            written = false;
        }
        if (file != err && std::fclose(file) != 0 && written) {
            error = errno;
            written = false;
        }
    }
    if (!written) {
        // A report cut short is not left behind as though it were whole.
        struct stat status{};
        if (file && file != err && ::stat(encodeFileName(path).constData(), &status) == 0
            && S_ISREG(status.st_mode))
            std::remove(encodeFileName(path).constData());
        if (problem.isEmpty())
            problem = QString::fromLocal8Bit(std::strerror(error));
        printError(err, u"cannot write the report: "_s
                            + (path == u"-"_s ? u"standard error"_s : displayFileName(path))
                            + u": "_s + problem);
        return false;
    }
    return true;
}

int search(const SearchCommandOptions &options, std::FILE *out, std::FILE *err,
           SearchReport *readingReport);

} // namespace

int runSearch(const SearchCommandOptions &options, std::FILE *out, std::FILE *err)
{
    if (options.report.isEmpty())
        return search(options, out, err, nullptr);
    // A report that would overwrite a file searched, or the results, is refused first.
    if (options.report != u"-"_s) {
        if (const QString problem = exportTargetProblem(options.report, options.paths, out, err);
            !problem.isEmpty()) {
            printError(err, u"cannot write the report: "_s + problem);
            return 2;
        }
    }
    // With digests every file is listed: their entries go to a temporary file as they
    // are made rather than staying in memory.
    SearchReport report(options.hash, kReportSpoolBytes);
    const int status = search(options, out, err, &report);
    return writeReport(report, options.report, err) ? status : 2;
}

namespace {

int search(const SearchCommandOptions &options, std::FILE *out, std::FILE *err,
           SearchReport *readingReport)
{
    SearchReport *const report = readingReport;
    Output output(out);
    bool failed = false;
    ConsoleListener *listener = nullptr;
    const auto reportFailure = [&](const QString &description) {
        // What was found before the failure comes first.
        if (listener)
            listener->flush();
        output.finish();
        printError(err, description);
        failed = true;
    };
    const auto reportStep
        = [&](const QString &, int, const QString &description) { reportFailure(description); };

    SearchChoices choices = SearchChoices::forTexts(options.texts);
    choices.matchCase = options.matchCase;
    choices.phoneNumbers = options.phoneNumbers;
    choices.ignoreAccents = options.ignoreAccents;
    choices.regularExpression = options.regularExpression;
    choices.everyText = options.everyText;
    choices.wholeWords = options.wholeWords;
    choices.searchIn = options.fields;
    choices.allProperties = options.allProperties;
    choices.region = options.region;

    // A target that cannot be written is refused before the search.
    if (!options.exportCards.isEmpty()) {
        if (const QString problem
            = exportTargetProblem(options.exportCards, options.paths, out, err);
            !problem.isEmpty()) {
            printError(err, u"cannot write the cards: "_s + problem);
            return 2;
        }
    }

    // Files are searched on every thread, and a large file in parts on all of them. Every
    // file was listed by a walk or seen to exist: one missing now has vanished.
    SearchRun run({options.threads, false, true, report != nullptr, report && options.hash});
    SearchCriteria criteria = criteriaFor(choices);
    criteria.duplicates = options.duplicates;
    run.setCriteria(criteria);
    // Only the place of each card with a row is kept for the export, not every row.
    std::optional<MatchingCards> cards;
    if (!options.exportCards.isEmpty())
        cards.emplace();
    // Several texts add the column of the text that found each row.
    const int columns
        = options.texts.size() > 1 ? ResultsModel::kColumnCount : ResultsModel::kColumnCount - 1;
    std::optional<ResultCounts> counts;
    if (options.counts) {
        counts.emplace();
        counts->reset(options.texts);
    }
    ConsoleListener console(output, options.json, columns, cards ? &*cards : nullptr,
                            counts ? &*counts : nullptr, reportFailure, report);
    listener = &console;
    DuplicatesListener duplicates(reportFailure, report);
    duplicates.setFiles(&run.files());
    // Files are searched from the moment each folder is listed.
    run.start();
    FolderAddSink sink;
    sink.report = reportStep;
    sink.files = [&](const QStringList &listed) { run.addFiles(listed); };
    sink.folderFiles
        = [&](std::shared_ptr<const FolderFiles> listed) { run.addFiles(std::move(listed)); };
    sink.folderUnreadable = [&](const QString &folder, int error) {
        printError(err,
                   folderStart(folder) + u": "_s + QString::fromLocal8Bit(std::strerror(error)));
        failed = true;
    };
    FolderAdd folders(std::move(sink));
    PathIntake intake;
    intake.files = [&](const QStringList &files) { run.addFiles(files); };
    // A folder is walked as named: its messages name its sub-folders so.
    intake.folder = [&](const QString &folder) { folders.scan(folder, options.extension); };
    intake.missing = [&](const QString &path) {
        printError(err, path + u": No such file or directory"_s);
        failed = true;
    };
    intake.folderStarts = false;
    takePaths(options.paths, intake);
    const bool completed
        = run.run(options.duplicates ? static_cast<SearchListener &>(duplicates) : console);
    if (report) {
        const qsizetype done = run.filesDone();
        report->finish(run.files().size(), done, !completed, run.stoppedInsideFile(),
                       done < run.files().size() ? run.files().at(done).fullPath() : QString());
    }
    console.flush();
    qsizetype groups = 0;
    if (options.duplicates) {
        const DuplicateGroups found = duplicates.finder().groups();
        groups = found.size();
        writeDuplicateGroups(found, options.json, output, cards ? &*cards : nullptr);
    }
    if (!output.finish()) {
        printError(err, u"cannot write the results: "_s + output.errorText());
        return 2;
    }
    if (counts)
        std::fputs(countsText(*counts).toUtf8().constData(), err);
    if (cards) {
#ifdef __GLIBC__
        // What the search's threads freed stays with their heaps unless handed back: the
        // export would come on top of it.
        ::malloc_trim(0);
#endif
        try {
            // Every file searched is known only now, after the folders' walks.
            if (const QString problem
                = exportTargetProblem(options.exportCards, run.files(), out, err);
                !problem.isEmpty())
                throw Failure(problem);
            const SavedCards saved = SaveMatchingCards(*cards, options.exportCards);
            for (const CardExportProblem &problem : saved.problems)
                printError(err, problem.file + u": cards not saved: "_s + problem.reason);
            // A file of cards that lacks some is no success.
            if (saved.leftOut > 0) {
                printError(err,
                           u"%1 of %2 cards left out of %3"_s.arg(
                               QString::number(saved.leftOut),
                               QString::number(saved.leftOut + saved.written),
                               displayFileName(options.exportCards)));
                failed = true;
            }
        } catch (const Failure &failure) {
            printError(err, u"cannot write the cards: "_s + failure.description());
            return 2;
        }
    }
    if (failed)
        return 2;
    return (options.duplicates ? groups : console.rowCount()) > 0 ? 0 : 1;
}

} // namespace
