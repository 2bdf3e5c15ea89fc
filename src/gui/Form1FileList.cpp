#include "gui/Form1.h"

#include "app/DesktopOpen.h"
#include "app/WindowTexts.h"
#include "base/Desktop.h"
#include "base/ErrorReport.h"
#include "base/FileExists.h"
#include "base/NativePath.h"
#include "base/SettingsStore.h"
#include "filelist/AddFiles.h"
#include "filelist/AddFolder.h"
#include "filelist/FileListModel.h"
#include "filelist/FolderAdd.h"
#include "filelist/PathIntake.h"
#include "filelist/PathRules.h"
#include "gui/Form1Parts.h"
#include "gui/TextProgressBar.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QScopeGuard>
#include <QTableView>
#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// How often a folder scan lets the window's events run.
constexpr qint64 kTurnIntervalMs = 20;

} // namespace

void Form1::PushButton9_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton9_Click"_s));
    guard.step(100, [&] {
        if (!isBusy())
            m_fileList->clear();
    });
}

void Form1::removeSelectedFile()
{
    if (isBusy() || m_fileList->count() == 0)
        return;
    const QModelIndex current = ListView1->currentIndex();
    if (current.isValid())
        m_fileList->removeAt(current.row() + 1);
}

void Form1::ListView1_KeyDown(int key)
{
    if (key != Qt::Key_Delete || isBusy() || m_fileList->count() == 0)
        return;
    // Every selected entry goes, run by run from the end, so that the positions of the
    // runs still to remove stay as they were.
    const QItemSelection selected = ListView1->selectionModel()->selection();
    QList<std::pair<int, int>> runs;
    for (const QItemSelectionRange &range : selected)
        runs.append({range.top(), range.bottom()});
    std::sort(runs.begin(), runs.end());
    QList<std::pair<int, int>> merged;
    for (const auto &[top, bottom] : std::as_const(runs)) {
        if (!merged.isEmpty() && top <= merged.last().second + 1)
            merged.last().second = qMax(merged.last().second, bottom);
        else
            merged.append({top, bottom});
    }
    for (auto run = merged.crbegin(); run != merged.crend(); ++run)
        m_fileList->removeRange(run->first + 1, run->second - run->first + 1);
}

void Form1::ListView1_DblClick()
{
    removeSelectedFile();
}

void Form1::ListView1_MouseDown(const QPoint &position)
{
    m_listMouseDown = true;
    const QModelIndex pressed = ListView1->indexAt(position);
    if (!pressed.isValid())
        return;
    // A click on an entry makes it the dragged entry; the list itself selects, so that
    // Ctrl and Shift add to the selection.
    ListView1->selectionModel()->setCurrentIndex(pressed, QItemSelectionModel::NoUpdate);
    m_draggedItem = pressed;
    ListView1->viewport()->setCursor(m_dragCursor);
}

void Form1::ListView1_MouseMove(const QPoint &position)
{
    if (!isBusy())
        setMousePointer(PointerDefault);
    if (!m_listMouseDown)
        return;
    const QModelIndex hover = ListView1->indexAt(position);
    if (!hover.isValid() || !m_draggedItem.isValid() || hover.row() == m_draggedItem.row())
        return;
    const int hovered = hover.row() + 1;
    if (m_fileList->text(hovered) == m_fileList->text(m_draggedItem.row() + 1))
        return;
    m_fileList->exchange(m_draggedItem.row() + 1, hovered);
    ListView1->setCurrentIndex(hover);
    m_draggedItem = hover;
    // Scroll on when the pointer is in the first or last visible row.
    const QModelIndex top = ListView1->indexAt(QPoint(1, 1));
    const QModelIndex bottom = ListView1->indexAt(QPoint(1, ListView1->viewport()->height() - 2));
    if (top.isValid() && hover.row() == top.row() && hovered >= 2)
        ListView1->scrollTo(m_fileList->index(hover.row() - 1));
    else if (hover.row() == (bottom.isValid() ? bottom.row() : m_fileList->count() - 1)
             && hovered < m_fileList->count())
        ListView1->scrollTo(m_fileList->index(hover.row() + 1));
}

void Form1::ListView1_MouseUp()
{
    m_listMouseDown = false;
    m_draggedItem = QPersistentModelIndex();
    ListView1->viewport()->setCursor(Qt::ArrowCursor);
}

void Form1::PushButton1_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton1_Click"_s));
    OpenFilesResult chosen;
    guard.step(112, [&] {
        chosen = m_desktop.openFileNames(u"Add File(s) - Hold Ctrl to select multiple files"_s,
                                         u"VCF Files (*.vcf);;All Files (*)"_s);
    });
    if (chosen.tooMany) {
        showMessage(u"You've selected too many files to add.\r\rPlease try adding via the "
                    "\"Add All\" button."_s);
        return;
    }
    if (chosen.files.isEmpty())
        return;
    guard.step(140, [&] { m_fileList->append(dialogSelectionPaths(chosen.files)); });
}

namespace {

/// The name a progress text gives a folder path: its last part, or the path for the root.
QString folderName(const QString &path)
{
    const QString name = QFileInfo(path.endsWith(kSeparator) ? path.chopped(1) : path).fileName();
    return name.isEmpty() ? path : name;
}

} // namespace

void Form1::addFolderTree(const QString &folder, const QString &extension, Guard &guard, int step)
{
    ++m_adding;
    const auto added = qScopeGuard([this] { --m_adding; });
    FolderAddSink sink;
    sink.list = [this](const FileList &files) { m_fileList->append(files); };
    sink.turn = [] { QCoreApplication::processEvents(); };
    sink.progress = [this](const QString &reading, qsizetype found) {
        ProgressBar1->setText(scanningText(folderName(reading), found));
    };
    sink.cancelled = [this] { return m_closing; };
    sink.report = [this](const QString &location, int failedStep, const QString &description) {
        ShowApplicationError(m_desktop, location, failedStep, description);
    };
    FolderAdd add(std::move(sink), kTurnIntervalMs);
    guard.step(step, [&] { add.scan(folder, extension); });
    guard.step(step + 16, [&] { add.finish(); });
}

void Form1::PushButton6_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton6_Click"_s));
    QString extension;
    guard.step(100, [&] {
        extension = m_desktop.inputBox(u"Enter file extension to load:\r\r(* for all files, txt "
                                       u"for all txt files, doc for all "
                                       "doc files, etc.)"_s,
                                       m_applicationTitle,
                                       m_settings.ReadSetting(u"Extension"_s, defaultExtension()));
        if (!extension.isEmpty())
            m_settings.WriteSetting(u"Extension"_s, extension);
    });
    if (extension.isEmpty())
        return;
    QString folder;
    guard.step(104, [&] {
        folder = m_desktop.browseForFolder(u"Please select folder:"_s,
                                           m_settings.ReadSetting(u"LastFolder"_s, QString()));
    });
    if (folder.isEmpty())
        return;
    guard.step(334, [&] { m_settings.WriteSetting(u"LastFolder"_s, folder); });
    guard.step(112, [&] { setMousePointer(PointerBusy); });
    addFolderTree(folder, extension, guard, 116);
    if (m_closing)
        return;
    guard.step(136, [&] {
        setMousePointer(PointerDefault);
        ProgressBar1->setText(kProgressIdle);
    });
}

namespace {

// A message names at most this many paths that do not exist.
constexpr qsizetype kMissingPathsNamed = 10;

QString notFoundText(const QStringList &missing)
{
    QStringList names;
    for (const QString &path : missing.first(qMin(missing.size(), kMissingPathsNamed)))
        names.append(displayFileName(path));
    if (missing.size() > kMissingPathsNamed)
        names.append(u"(and %1 more)"_s.arg(missing.size() - kMissingPathsNamed));
    return u"File not found:\r\r"_s + names.join(u'\r');
}

} // namespace

void Form1::openPaths(const QStringList &paths)
{
    Guard guard(m_desktop, formLocation(u"openPaths"_s));
    const QString extension
        = extensionOrDefault(m_settings.ReadSetting(u"Extension"_s, defaultExtension()));
    QStringList missing;
    bool scanned = false;
    PathIntake intake;
    intake.files
        = [&](const QStringList &files) { guard.step(140, [&] { m_fileList->append(files); }); };
    intake.folder = [&](const QString &folder) {
        guard.step(112, [&] { setMousePointer(PointerBusy); });
        addFolderTree(folder, extension, guard, 116);
        scanned = true;
    };
    intake.missing = [&](const QString &path) { missing.append(path); };
    intake.stopped = [this] { return m_closing; };
    if (!takePaths(paths, intake) || m_closing)
        return;
    if (scanned) {
        guard.step(136, [&] {
            setMousePointer(PointerDefault);
            ProgressBar1->setText(isSearching() ? ProgressBar1->text() : kProgressIdle);
        });
    }
    if (!missing.isEmpty())
        guard.step(150, [&] { showMessage(notFoundText(missing)); });
}

void Form1::ListView1_OLEDragOver(QDragMoveEvent *event)
{
    // Only a list of files can be dropped; anything else shows the no-drop pointer.
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void Form1::ListView1_OLEDragDrop(QDropEvent *event)
{
    const QMimeData *data = event->mimeData();
    if (!data->hasUrls()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    QStringList paths;
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            paths.append(localFilePath(url));
    }
    Guard guard(m_desktop, formLocation(u"ListView1_OLEDragDrop"_s));
    // Whatever is not a folder goes into the list as dropped, one path at a time.
    PathIntake intake;
    intake.files = [&](const QStringList &files) {
        for (const QString &path : files)
            guard.step(100, [&] { m_fileList->append(path); });
    };
    intake.folder = [&](const QString &folder) { addFolderTree(folder, u"*"_s, guard, 100); };
    intake.stopped = [this] { return m_closing; };
    if (!takePaths(paths, intake))
        return;
    ProgressBar1->setText(isSearching() ? ProgressBar1->text() : kProgressIdle);
}

void Form1::PushButton10_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton10_Click"_s));
    guard.step(100, [&] { LoadSampleFiles(); });
    guard.step(110, [&] { Text1->setText(u"tech"_s); });
}

void Form1::LoadSampleFiles()
{
    const QString folder = m_programFolder + u"/Samples"_s;
    for (const QString &name : ListFilesInFolder(folder, u"*.*"_s)) {
        const QString path = folder + kSeparator + name;
        if (FileExists(path) && !m_fileList->ListContainsPath(path))
            m_fileList->append(path);
    }
    const MessageAnswer answer = m_desktop.message(
        u"Would you like this software to open the folder where these sample files are stored (so "
        "that you can view them before working with them)?"_s,
        m_applicationTitle, MessageButtons::YesNo, MessageIcon::None);
    const QUrl samples = QUrl::fromLocalFile(folder + kSeparator);
    if (answer == MessageAnswer::Yes && !m_desktop.openUrl(samples))
        showMessage(notOpenedText(m_desktop, samples));
}
