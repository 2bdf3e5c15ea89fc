#include "gui/Form1.h"

#include "app/DesktopOpen.h"
#include "app/WindowTexts.h"
#include "base/Desktop.h"
#include "base/ErrorReport.h"
#include "base/SettingsStore.h"
#include "card/FileExists.h"
#include "card/NativePath.h"
#include "filelist/AddFiles.h"
#include "filelist/AddFolder.h"
#include "filelist/FileListModel.h"
#include "filelist/PathRules.h"
#include "gui/Form1Parts.h"
#include "gui/TextProgressBar.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QElapsedTimer>
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
    QString reading = folderName(folder);
    qsizetype found = 0;
    // Files go into the list in batches: a batch per folder would cost the list view
    // more than the listing when a million files come in thousands of folders.
    QStringList pending;
    const auto insertPending = [&] {
        if (!m_closing)
            m_fileList->append(pending);
        pending.clear();
    };
    ProgressBar1->setText(scanningText(reading, found));
    // Events run at once, so that the window shows the scan, and then about every 20 ms:
    // a repaint for every folder would cost more than its listing. The list is whole
    // whenever another handler may run.
    QElapsedTimer clock;
    clock.start();
    qint64 nextTurn = 0;
    FolderScanHooks hooks;
    hooks.processEvents = [&] {
        if (clock.elapsed() < nextTurn)
            return;
        insertPending();
        QCoreApplication::processEvents();
        nextTurn = clock.elapsed() + kTurnIntervalMs;
    };
    hooks.cancelled = [this] { return m_closing; };
    hooks.report = [this](const QString &location, int failedStep, const QString &description) {
        ShowApplicationError(m_desktop, location, failedStep, description);
    };
    hooks.readingFolder = [&](const QString &path) {
        reading = folderName(path);
        ProgressBar1->setText(scanningText(reading, found));
    };
    hooks.filesListed = [&](const QStringList &files) {
        if (m_closing)
            return;
        found += files.size();
        ProgressBar1->setText(scanningText(reading, found));
        pending += files;
    };
    guard.step(step, [&] { scanFolderFiles(folder, extension, hooks); });
    guard.step(step + 16, insertPending);
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
                                       m_settings.ReadSetting(u"Extension"_s, u"vcf"_s));
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
    QString extension = m_settings.ReadSetting(u"Extension"_s, u"vcf"_s);
    if (extension.isEmpty())
        extension = u"vcf"_s;
    QStringList missing;
    // Files named one after another go into the list together.
    QStringList files;
    const auto appendFiles = [&] {
        if (!files.isEmpty())
            guard.step(140, [&] { m_fileList->append(files); });
        files.clear();
    };
    bool scanned = false;
    for (const QString &path : paths) {
        if (m_closing)
            return;
        if (FolderExists(path)) {
            appendFiles();
            guard.step(112, [&] { setMousePointer(PointerBusy); });
            addFolderTree(path.endsWith(kSeparator) && path.size() > 1 ? path.chopped(1) : path,
                          extension, guard, 116);
            scanned = true;
        } else if (FileExists(path)) {
            files.append(path);
        } else {
            missing.append(path);
        }
    }
    if (m_closing)
        return;
    appendFiles();
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
    for (const QString &path : std::as_const(paths)) {
        if (m_closing)
            return;
        if (FolderExists(path)) {
            const QString folder
                = path.endsWith(kSeparator) && path.size() > 1 ? path.chopped(1) : path;
            addFolderTree(folder, u"*"_s, guard, 100);
        } else {
            guard.step(100, [&] { m_fileList->append(path); });
        }
    }
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
