#include "gui/Form1.h"

#include "app/WindowTexts.h"
#include "base/ErrorReport.h"
#include "filelist/FileListModel.h"
#include "results/EditorLaunch.h"
#include "results/OutputSequences.h"
#include "results/ResultsProxyModel.h"

#include <QCoreApplication>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

OutputWindow Form1::outputWindow()
{
    return {.desktop = m_desktop,
            .title = m_applicationTitle,
            .results = *m_shownResults,
            // As the table shows them, also while it works out another filter or order.
            .rows = m_shownProxy->outputRows(),
            .pointer = [this](bool busy) { setMousePointer(busy ? PointerBusy : PointerDefault); },
            .closing = [this] { return m_closing; },
            .events = [] { QCoreApplication::processEvents(); },
            // Neither the files searched nor those listed for the next search are replaced.
            .inputs =
                [this] {
                    FileList inputs = m_searchedFiles;
                    inputs.append(m_fileList->files());
                    return inputs;
                },
            .settings = &m_settings};
}

void Form1::PushButton8_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton8_Click"_s));
    runCopyResults(outputWindow(), guard, {.copy = 100, .report = 102});
}

void Form1::PushButton4_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton4_Click"_s));
    runSaveResultsText(
        outputWindow(), guard,
        {.empty = 104, .dialog = 106, .replace = 108, .busy = 110, .write = 112, .idle = 122});
}

void Form1::SaveCardsButton_Click()
{
    Guard guard(m_desktop, formLocation(u"SaveCardsButton_Click"_s));
    OutputWindow window = outputWindow();
    // Of the duplicates, the cards ticked are saved.
    if (showsDuplicates())
        window.rows = duplicateRowsToSave();
    runSaveMatchingCards(window, guard,
                         {.empty = 100,
                          .dialog = 102,
                          .replace = 104,
                          .busy = 106,
                          .write = 108,
                          .idle = 110,
                          .report = 112});
}

QString Form1::exportedWorkbook() const
{
    return workbookIn(m_exportDir.get());
}

void Form1::PushButton13_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton13_Click"_s));
    runSaveResultsWorkbook(outputWindow(), guard, m_exportDir,
                           {.find = 102,
                            .busy = 104,
                            .rows = 106,
                            .write = 108,
                            .start = 110,
                            .shortened = 112,
                            .idle = 176});
}

void Form1::PushButton3_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton3_Click"_s));
    qsizetype row = -1;
    guard.step(100, [&] {
        const QList<qsizetype> selected = selectedSourceRows();
        row = rowToOpen(*m_shownResults, selected.isEmpty() ? -1 : selected.first(),
                        m_shownProxy->outputRows());
    });
    if (row >= 0)
        openRowInEditor(u"PushButton3_Click"_s, row);
}

void Form1::openRowInEditor(const QString &procedure, qsizetype row)
{
    Guard guard(m_desktop, formLocation(procedure));
    runOpenRow(outputWindow(), guard, row, {.find = 101, .open = 102});
}

void Form1::PushButton11_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton11_Click"_s));
    runOpenAllFiles(outputWindow(), guard,
                    {.empty = 100,
                     .find = 101,
                     .noEditor = 103,
                     .files = 104,
                     .ask = 106,
                     .busy = 102,
                     .open = 130,
                     .idle = 138,
                     .refused = 140});
}
