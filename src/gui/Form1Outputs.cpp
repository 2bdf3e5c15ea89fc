#include "gui/Form1.h"

#include "app/WindowTexts.h"
#include "base/Desktop.h"
#include "base/ErrorReport.h"
#include "base/EventPump.h"
#include "base/Failure.h"
#include "filelist/FileListModel.h"
#include "results/CardExport.h"
#include "results/EditorLaunch.h"
#include "results/OutputTarget.h"
#include "results/ResultsModel.h"
#include "results/ResultsText.h"
#include "results/WorkbookExport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

EventPump windowEvents()
{
    return EventPump([] { QCoreApplication::processEvents(); });
}

// Opening more editors than this at once asks first.
constexpr qsizetype kEditorsWithoutQuestion = 20;

} // namespace

void Form1::PushButton8_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton8_Click"_s));
    bool copied = false;
    // A failed copy has been reported: nothing claims that it was done.
    if (!guard.step(100,
                    [&] {
                        EventPump pump = windowEvents();
                        copied = CopyResultsToClipboard(m_desktop, *m_results, &pump);
                    })
        || m_closing)
        return;
    guard.step(102, [&] {
        showMessage(copied ? u"Results have been copied to the clipboard.\r\rClick a text area "
                             "where you normally type and press Ctrl+V to paste the clipboard."_s
                           : u"No rows are ticked."_s);
    });
}

bool Form1::mayReplace(const QString &path)
{
    // Neither the files searched nor those listed for the next search are replaced.
    FileList inputs = m_searchedFiles;
    inputs.append(m_fileList->paths());
    if (const QString problem = outputTargetProblem(path, inputs); !problem.isEmpty()) {
        showMessage(problem);
        return false;
    }
    // A save dialog leaves the question to us, so it is asked once. A folder is no file
    // to replace: its save fails and is reported.
    const QFileInfo target(path);
    return !target.exists() || target.isDir()
        || m_desktop.message(target.fileName()
                                 + u" already exists.\r\rDo you want to replace it?"_s,
                             m_applicationTitle, MessageButtons::YesNo, MessageIcon::None)
        == MessageAnswer::Yes;
}

void Form1::PushButton4_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton4_Click"_s));
    QString path;
    guard.step(106, [&] {
        path = m_desktop.saveFileName(u"Save List"_s, u"Text Files (*.txt);;All Files (*)"_s);
    });
    if (path.isEmpty())
        return;
    bool write = false;
    guard.step(108, [&] { write = mayReplace(path); });
    if (!write)
        return;
    guard.step(110, [&] { setMousePointer(PointerBusy); });
    guard.step(112, [&] {
        EventPump pump = windowEvents();
        const QString text = resultsFileText(*m_results, &pump);
        if (!m_closing)
            WriteTextFile(text, path);
    });
    guard.step(122, [&] { setMousePointer(PointerDefault); });
}

void Form1::SaveCardsButton_Click()
{
    Guard guard(m_desktop, formLocation(u"SaveCardsButton_Click"_s));
    if (m_results->count() == 0) {
        guard.step(100, [&] { showMessage(u"Nothing to save."_s); });
        return;
    }
    QString path;
    guard.step(102, [&] {
        path = m_desktop.saveFileName(u"Save Matching Cards"_s, u"vCard Files (*.vcf)"_s);
    });
    if (path.isEmpty())
        return;
    bool write = false;
    guard.step(104, [&] { write = mayReplace(path); });
    if (!write)
        return;
    guard.step(106, [&] { setMousePointer(PointerBusy); });
    std::optional<SavedCards> saved;
    guard.step(108, [&] {
        EventPump pump = windowEvents();
        saved = SaveMatchingCards(matchingCardsOf(*m_results), path, &pump);
    });
    guard.step(110, [&] { setMousePointer(PointerDefault); });
    if (saved && !m_closing)
        guard.step(112, [&] { showMessage(savedCardsText(*saved, QFileInfo(path).fileName())); });
}

bool Form1::SaveResultsAsExcelFileIsExcelInstalled()
{
    if (!spreadsheetProgram(m_desktop).isEmpty())
        return true;
    showMessage(
        u"Excel is not installed on this computer. You need to have it installed to use this "
        "software without error."_s);
    return false;
}

QString Form1::exportedWorkbook() const
{
    return m_exportDir ? m_exportDir->filePath(u"Results.xlsx"_s) : QString();
}

void Form1::PushButton13_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton13_Click"_s));
    if (m_results->count() == 0)
        return;
    bool installed = false;
    guard.step(102, [&] { installed = SaveResultsAsExcelFileIsExcelInstalled(); });
    if (!installed) {
        showMessage(
            u"Excel is not installed on this computer. You need to have it installed to use "
            "this feature."_s);
        return;
    }
    guard.step(104, [&] { setMousePointer(PointerBusy); });
    QList<QStringList> rows;
    guard.step(106, [&] {
        EventPump pump = windowEvents();
        rows = workbookRows(*m_results, &pump);
    });
    if (m_closing)
        return;
    // A new private folder for each export; the last one's file goes with it.
    WorkbookWritten written;
    guard.step(108, [&] {
        m_exportDir = std::make_unique<QTemporaryDir>();
        if (!m_exportDir->isValid())
            throw Failure(u"No temporary folder for the workbook: "_s + m_exportDir->errorString());
        written = writeWorkbook(rows, exportedWorkbook());
        if (!written.problem.isEmpty())
            throw Failure(written.problem);
    });
    guard.step(110, [&] {
        // "-n" opens the file as a template: a new, untitled, unsaved document.
        if (m_exportDir && QFileInfo::exists(exportedWorkbook()))
            m_desktop.startProgram(spreadsheetProgram(m_desktop),
                                   {u"--calc"_s, u"-n"_s, exportedWorkbook()});
    });
    if (written.shortened > 0)
        guard.step(112, [&] { showMessage(shortenedValuesText(written.shortened)); });
    guard.step(176, [&] { setMousePointer(PointerDefault); });
}

void Form1::PushButton3_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton3_Click"_s));
    qsizetype row = -1;
    guard.step(100, [&] {
        const QList<qsizetype> selected = selectedSourceRows();
        row = rowToOpen(*m_results, selected.isEmpty() ? -1 : selected.first());
    });
    if (row >= 0)
        openRowInEditor(u"PushButton3_Click"_s, row);
}

void Form1::openRowInEditor(const QString &procedure, qsizetype row)
{
    Guard guard(m_desktop, formLocation(procedure));
    std::optional<TextEditor> editor;
    QString defaultEntry;
    if (!guard.step(101, [&] { editor = findTextEditor(m_desktop, &defaultEntry); }))
        return;
    guard.step(102, [&] {
        if (!editor) {
            showMessage(noEditorText(defaultEntry));
            return;
        }
        const ResultRow found = m_results->row(row);
        if (!OpenFileInEditor(m_desktop, *editor, found.File, found.Card.line))
            showMessage(editorRefusalText({found.File}));
    });
}

void Form1::PushButton11_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton11_Click"_s));
    if (m_results->count() == 0) {
        guard.step(100, [&] { showMessage(u"Nothing to open."_s); });
        return;
    }
    // One editor for every file, found before anything is asked or started.
    std::optional<TextEditor> editor;
    QString defaultEntry;
    if (!guard.step(101, [&] { editor = findTextEditor(m_desktop, &defaultEntry); }))
        return;
    if (!editor) {
        guard.step(103, [&] { showMessage(noEditorText(defaultEntry)); });
        return;
    }
    QStringList files;
    guard.step(104, [&] { files = distinctResultFiles(*m_results); });
    if (files.size() > kEditorsWithoutQuestion) {
        MessageAnswer answer = MessageAnswer::No;
        guard.step(106, [&] {
            answer = m_desktop.message(
                u"You are about to open %1 files, each in its own editor window.\r\rDo you want to "
                "open them all?"_s.arg(files.size()),
                m_applicationTitle, MessageButtons::YesNo, MessageIcon::None);
        });
        if (answer != MessageAnswer::Yes)
            return;
    }
    guard.step(102, [&] { setMousePointer(PointerBusy); });
    EventPump pump = windowEvents();
    QStringList refused;
    for (const QString &file : std::as_const(files)) {
        pump.tick();
        // "Clear List" may have emptied the table meanwhile.
        if (m_closing || m_results->count() == 0)
            break;
        guard.step(130, [&] {
            if (!OpenFileInEditor(m_desktop, *editor, file))
                refused.append(file);
        });
    }
    guard.step(138, [&] { setMousePointer(PointerDefault); });
    if (!refused.isEmpty() && !m_closing)
        guard.step(140, [&] { showMessage(editorRefusalText(refused)); });
}
