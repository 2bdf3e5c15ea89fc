#include "gui/Form1.h"

#include "base/Desktop.h"
#include "base/ErrorReport.h"
#include "base/Failure.h"
#include "base/NativePath.h"
#include "gui/ReadingReportDialog.h"
#include "results/EditorLaunch.h"
#include "results/OutputTarget.h"

#include <QLocale>
#include <QPushButton>
#include <QSaveFile>

#include <optional>

using namespace Qt::StringLiterals;

void Form1::updateReportButton()
{
    // Always there, so that the layout never moves: enabled once a search has a report.
    m_reportButton->setEnabled(m_report != nullptr);
    const qsizetype problems = m_report ? m_report->filesWithProblems() : 0;
    m_reportButton->setText(problems == 0 ? u"Reading report"_s
                            : problems == 1
                                ? u"1 file with problems"_s
                                : u"%1 files with problems"_s.arg(QLocale().toString(problems)));
}

void Form1::showReadingReport()
{
    if (!m_report)
        return;
    // A row opens its file at the line concerned, as "Open Selected File" opens a row's.
    const auto open = [this](const QString &path, qint64 line) {
        Guard guard(m_desktop, formLocation(u"OpenReportFile"_s));
        std::optional<TextEditor> editor;
        QString defaultEntry;
        if (!guard.step(100, [&] { editor = findTextEditor(m_desktop, &defaultEntry); }))
            return;
        guard.step(102, [&] {
            if (!editor)
                showMessage(noEditorText(defaultEntry));
            else if (!OpenFileInEditor(m_desktop, *editor, path, line))
                showMessage(editorRefusalText({path}));
        });
    };
    const auto save = [this](const QByteArray &json) {
        Guard guard(m_desktop, formLocation(u"SaveReport"_s));
        guard.step(100, [&] {
            const SaveFileResult chosen = m_desktop.saveFileName(
                u"Save Reading Report"_s, u"JSON files (*.json);;All files (*)"_s,
                u"reading-report.json"_s);
            if (chosen.path.isEmpty())
                return;
            if (const QString problem = outputTargetProblem(chosen.path, m_searchedFiles);
                !problem.isEmpty())
                throw Failure(problem);
            QSaveFile file(chosen.path);
            if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size()
                || !file.commit())
                throw Failure(displayFileName(chosen.path) + u": "_s + file.errorString());
        });
    };
    if (m_reportDialog)
        m_reportDialog->close();
    auto *dialog = new ReadingReportDialog(*m_report, open, save, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_reportDialog = dialog;
    dialog->show();
}
