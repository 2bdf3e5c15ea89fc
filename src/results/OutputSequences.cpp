#include "results/OutputSequences.h"

#include "base/Desktop.h"
#include "base/ErrorReport.h"
#include "base/EventPump.h"
#include "base/Failure.h"
#include "base/FileList.h"
#include "base/SettingsStore.h"
#include "results/CardExport.h"
#include "results/EditorLaunch.h"
#include "results/OutputTarget.h"
#include "results/ResultsModel.h"
#include "results/ResultsText.h"
#include "results/WorkbookExport.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

// Opening more editors than this at once asks first.
constexpr qsizetype kEditorsWithoutQuestion = 20;

void say(const OutputWindow &window, const QString &text)
{
    window.desktop.message(text, window.title, MessageButtons::Ok, MessageIcon::None);
}

void showBusy(const OutputWindow &window, bool busy)
{
    if (window.pointer)
        window.pointer(busy);
}

bool closing(const OutputWindow &window)
{
    return window.closing && window.closing();
}

EventPump eventsOf(const OutputWindow &window)
{
    return EventPump(window.events);
}

/// True when path may be written: it is new, or the user agrees to replace it, and it
/// is neither an input nor a device or FIFO (a message says so).
bool mayReplace(const OutputWindow &window, const QString &path)
{
    const FileList inputs = window.inputs ? window.inputs() : FileList();
    // Looking at a million inputs takes a while: the window's events run meanwhile.
    EventPump pump = eventsOf(window);
    if (const QString problem = outputTargetProblem(path, inputs, &pump); !problem.isEmpty()) {
        say(window, problem);
        return false;
    }
    // A save dialog leaves the question to us, so it is asked once. A folder is no file
    // to replace: its save fails and is reported.
    const QFileInfo target(path);
    return !target.exists() || target.isDir()
        || window.desktop.message(target.fileName()
                                      + u" already exists.\r\rDo you want to replace it?"_s,
                                  window.title, MessageButtons::YesNoDefaultNo, MessageIcon::None)
        == MessageAnswer::Yes;
}

/// A kind of file that a save dialog chooses.
struct SaveKind
{
    QString title;
    QString filter;
    QString name; ///< suggested
    QString folderKey; ///< the setting that keeps the folder last saved to
};

SaveKind resultsTextKind()
{
    return {u"Save List"_s, u"Text Files (*.txt);;All Files (*)"_s, u"Results.txt"_s,
            u"ResultsTextFolder"_s};
}

SaveKind matchingCardsKind()
{
    return {u"Save Matching Cards"_s, u"vCard Files (*.vcf)"_s, u"Matching Cards.vcf"_s,
            u"MatchingCardsFolder"_s};
}

/// The folder last saved to for the kind, while it is there; else the user's documents
/// folder, else the home folder. Never the working folder, which is wherever the window
/// happened to be started.
QString startFolder(const OutputWindow &window, const SaveKind &kind)
{
    if (window.settings) {
        const QString last = window.settings->ReadSetting(kind.folderKey, QString());
        if (!last.isEmpty() && QFileInfo(last).isDir())
            return last;
    }
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

/// ".txt" for "Text Files (*.txt)": its first pattern's; empty for "All Files (*)".
QString filterExtension(const QString &filter)
{
    const QString pattern = filter.section(u'(', -1).section(u')', 0, 0).section(u' ', 0, 0);
    const QString extension = pattern.startsWith(u"*."_s) ? pattern.sliced(1) : QString();
    return extension.size() > 1 && !extension.contains(u'*') && !extension.contains(u'?')
        ? extension
        : QString();
}

/// Asks where to save; empty when cancelled. A name without an extension gets that of
/// the filter chosen, unless something of that name is there already: the user chose it.
/// The folder is kept for the next save of the kind.
QString chooseSavePath(const OutputWindow &window, const SaveKind &kind)
{
    const SaveFileResult chosen = window.desktop.saveFileName(
        kind.title, kind.filter, QDir(startFolder(window, kind)).filePath(kind.name));
    if (chosen.path.isEmpty())
        return {};
    QString path = chosen.path;
    const QFileInfo typed(path);
    if (!typed.fileName().contains(u'.') && !typed.exists() && !typed.isSymLink())
        path += filterExtension(chosen.filter);
    if (window.settings)
        window.settings->WriteSetting(kind.folderKey, QFileInfo(path).absolutePath());
    return path;
}

bool SaveResultsAsExcelFileIsExcelInstalled(const OutputWindow &window)
{
    if (!spreadsheetProgram(window.desktop).isEmpty())
        return true;
    say(window,
        u"Excel is not installed on this computer. You need to have it installed to use this "
        "software without error."_s);
    return false;
}

} // namespace

void runCopyResults(const OutputWindow &window, Guard &guard, const CopySteps &steps)
{
    qsizetype copied = 0;
    // A failed copy has been reported: nothing claims that it was done.
    if (!guard.step(steps.copy,
                    [&] {
                        EventPump pump = eventsOf(window);
                        copied = CopyResultsToClipboard(window.desktop, window.results, &pump,
                                                        window.rows);
                    })
        || closing(window))
        return;
    guard.step(steps.report, [&] {
        const QString note = window.rows.note();
        if (copied > 0) {
            QString text = u"Results have been copied to the clipboard.\r\rClick a text area "
                           "where you normally type and press Ctrl+V to paste the clipboard."_s;
            if (!note.isEmpty())
                text += (copied == 1
                             ? u"\r\r1 row copied%1."_s.arg(note)
                             : u"\r\r%1 rows copied%2."_s.arg(QString::number(copied), note));
            say(window, text);
        } else {
            // Rows ticked but hidden by the filter are not copied: the message says why.
            say(window,
                window.rows.filtered()
                    ? u"No rows are ticked.\r\rOnly the rows shown are copied%1."_s.arg(note)
                    : u"No rows are ticked."_s);
        }
    });
}

namespace {

/// The file a save writes: "Nothing to save." without rows, else asked for and, when it
/// exists, allowed to be replaced. Empty when nothing is to be written.
template<typename Steps>
QString saveTarget(const OutputWindow &window, Guard &guard, const Steps &steps,
                   const OutputRows &rows, const SaveKind &kind)
{
    if (rows.count(window.results) == 0) {
        guard.step(steps.empty, [&] { say(window, u"Nothing to save."_s); });
        return {};
    }
    QString path;
    guard.step(steps.dialog, [&] { path = chooseSavePath(window, kind); });
    if (path.isEmpty())
        return {};
    bool write = false;
    guard.step(steps.replace, [&] { write = mayReplace(window, path); });
    return write ? path : QString();
}

} // namespace

void runSaveResultsText(const OutputWindow &window, Guard &guard, const SaveTextSteps &steps)
{
    const QString path = saveTarget(window, guard, steps, window.rows, resultsTextKind());
    if (path.isEmpty())
        return;
    guard.step(steps.busy, [&] { showBusy(window, true); });
    guard.step(steps.write, [&] {
        EventPump pump = eventsOf(window);
        const QString text = resultsFileText(window.results, &pump, window.rows);
        // The table may have been cleared meanwhile: an empty file would say nothing.
        if (!closing(window) && !text.isEmpty())
            WriteTextFile(text, path, &pump);
    });
    guard.step(steps.idle, [&] { showBusy(window, false); });
}

void runSaveMatchingCards(const OutputWindow &window, Guard &guard, const SaveCardsSteps &steps)
{
    // The cards in the order of their files, which are read once each.
    const OutputRows cardRows = window.rows.inFoundOrder();
    const QString path = saveTarget(window, guard, steps, cardRows, matchingCardsKind());
    if (path.isEmpty())
        return;
    guard.step(steps.busy, [&] { showBusy(window, true); });
    std::optional<SavedCards> saved;
    guard.step(steps.write, [&] {
        EventPump pump = eventsOf(window);
        // A file of no card would tell nothing: none is written, and an old one stays.
        saved = SaveMatchingCards(matchingCardsOf(window.results, cardRows), path, &pump,
                                  WhenNoCard::WriteNothing);
    });
    guard.step(steps.idle, [&] { showBusy(window, false); });
    if (saved && !closing(window))
        guard.step(steps.report, [&] {
            say(window, savedCardsText(*saved, QFileInfo(path).fileName(), cardRows.note()));
        });
}

QString workbookIn(const QTemporaryDir *folder)
{
    return folder ? folder->filePath(u"Results.xlsx"_s) : QString();
}

void runSaveResultsWorkbook(const OutputWindow &window, Guard &guard,
                            std::unique_ptr<QTemporaryDir> &folder, const WorkbookSteps &steps)
{
    if (window.rows.count(window.results) == 0)
        return;
    bool installed = false;
    guard.step(steps.find, [&] { installed = SaveResultsAsExcelFileIsExcelInstalled(window); });
    if (!installed) {
        say(window,
            u"Excel is not installed on this computer. You need to have it installed to use "
            "this feature."_s);
        return;
    }
    guard.step(steps.busy, [&] { showBusy(window, true); });
    QList<QStringList> rows;
    guard.step(steps.rows, [&] {
        EventPump pump = eventsOf(window);
        rows = workbookRows(window.results, &pump, window.rows);
    });
    if (closing(window))
        return;
    // A new private folder for each export; the last one's file goes with it.
    WorkbookWritten written;
    guard.step(steps.write, [&] {
        folder = std::make_unique<QTemporaryDir>();
        if (!folder->isValid())
            throw Failure(u"No temporary folder for the workbook: "_s + folder->errorString());
        written = writeWorkbook(rows, workbookIn(folder.get()));
        if (!written.problem.isEmpty())
            throw Failure(written.problem);
    });
    guard.step(steps.start, [&] {
        // "-n" opens the file as a template: a new, untitled, unsaved document.
        const QString workbook = workbookIn(folder.get());
        if (folder && QFileInfo::exists(workbook))
            window.desktop.startProgram(spreadsheetProgram(window.desktop),
                                        {u"--calc"_s, u"-n"_s, workbook});
    });
    if (written.shortened > 0)
        guard.step(steps.shortened, [&] { say(window, shortenedValuesText(written.shortened)); });
    guard.step(steps.idle, [&] { showBusy(window, false); });
}

void runOpenRow(const OutputWindow &window, Guard &guard, qsizetype row, const OpenRowSteps &steps)
{
    std::optional<TextEditor> editor;
    QString defaultEntry;
    if (!guard.step(steps.find, [&] { editor = findTextEditor(window.desktop, &defaultEntry); }))
        return;
    guard.step(steps.open, [&] {
        if (!editor) {
            say(window, noEditorText(defaultEntry));
            return;
        }
        const ResultRow found = window.results.row(row);
        if (!OpenFileInEditor(window.desktop, *editor, found.File, found.Card.line))
            say(window, editorRefusalText({found.File}));
    });
}

void runOpenAllFiles(const OutputWindow &window, Guard &guard, const OpenAllSteps &steps)
{
    if (window.rows.count(window.results) == 0) {
        guard.step(steps.empty, [&] { say(window, u"Nothing to open."_s); });
        return;
    }
    // One editor for every file, found before anything is asked or started.
    std::optional<TextEditor> editor;
    QString defaultEntry;
    if (!guard.step(steps.find, [&] { editor = findTextEditor(window.desktop, &defaultEntry); }))
        return;
    if (!editor) {
        guard.step(steps.noEditor, [&] { say(window, noEditorText(defaultEntry)); });
        return;
    }
    QStringList files;
    guard.step(steps.files, [&] { files = distinctResultFiles(window.results, window.rows); });
    if (files.size() > kEditorsWithoutQuestion) {
        MessageAnswer answer = MessageAnswer::No;
        guard.step(steps.ask, [&] {
            answer = window.desktop.message(
                u"You are about to open %1 files, each in its own editor window.\r\rDo you want to "
                "open them all?"_s.arg(files.size()),
                window.title, MessageButtons::YesNo, MessageIcon::None);
        });
        if (answer != MessageAnswer::Yes)
            return;
    }
    guard.step(steps.busy, [&] { showBusy(window, true); });
    EventPump pump = eventsOf(window);
    QStringList refused;
    for (const QString &file : std::as_const(files)) {
        pump.tick();
        // "Clear List" may have emptied the table meanwhile.
        if (closing(window) || window.rows.count(window.results) == 0)
            break;
        guard.step(steps.open, [&] {
            if (!OpenFileInEditor(window.desktop, *editor, file))
                refused.append(file);
        });
    }
    guard.step(steps.idle, [&] { showBusy(window, false); });
    if (!refused.isEmpty() && !closing(window))
        guard.step(steps.refused, [&] { say(window, editorRefusalText(refused)); });
}
