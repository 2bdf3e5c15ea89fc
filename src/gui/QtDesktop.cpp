#include "gui/QtDesktop.h"

#include "app/DesktopOpen.h"
#include "base/NativePath.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <QWindow>

namespace {

// How long a box waits for its window to be placed, in milliseconds.
constexpr int kPlacementWait = 2000;

} // namespace

QWidget *QtDesktop::owner()
{
    // A box is centred on its window where Qt believes the window to be. Until the
    // window manager has placed and shown a new window, that is the screen's corner: a
    // box asked for at start-up, say about a file named on the command line, waits a
    // moment for the window to show. Once shown, a window minimised later is not waited
    // for.
    QWindow *const handle = m_window && m_window->isVisible() ? m_window->windowHandle() : nullptr;
    if (handle && !m_placed) {
        QDeadlineTimer deadline(kPlacementWait);
        while (m_window && !handle->isExposed() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(5);
        }
        m_placed = true;
    }
    return m_window;
}

MessageAnswer QtDesktop::message(const QString &text, const QString &title, MessageButtons buttons,
                                 MessageIcon icon)
{
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    switch (icon) {
    case MessageIcon::None:
        break;
    case MessageIcon::Information:
        boxIcon = QMessageBox::Information;
        break;
    case MessageIcon::Warning:
        boxIcon = QMessageBox::Warning;
        break;
    case MessageIcon::Question:
        boxIcon = QMessageBox::Question;
        break;
    }
    // The texts use bare CRs as line breaks; Qt's boxes break lines at LF.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    QMessageBox box(boxIcon, title, shown,
                    buttons == MessageButtons::Ok ? QMessageBox::Ok
                                                  : QMessageBox::Yes | QMessageBox::No,
                    owner());
    if (buttons == MessageButtons::YesNoDefaultNo)
        box.setDefaultButton(QMessageBox::No);
    // Texts carry paths, values and the system's error texts: laid out as rich text,
    // an <img> among them would make the box read a local file.
    box.setTextFormat(Qt::PlainText);
    const int answer = box.exec();
    if (buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

QString QtDesktop::inputBox(const QString &prompt, const QString &title,
                            const QString &defaultAnswer)
{
    QString shown = prompt;
    shown.replace(u'\r', u'\n');
    // QInputDialog::getText offers no text format, so the dialog is built here with
    // its prompt label set to plain text before the prompt goes in.
    QPointer<QInputDialog> dialog = new QInputDialog(owner());
    dialog->setWindowTitle(title);
    dialog->setLabelText(QString());
    if (auto *label = dialog->findChild<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    dialog->setLabelText(shown);
    dialog->setTextValue(defaultAnswer);
    const bool accepted = dialog->exec() == QDialog::Accepted;
    // The window may have gone, and the dialog with it, while the dialog was open.
    if (!dialog)
        return {};
    const QString answer = accepted ? dialog->textValue() : QString();
    delete dialog;
    return answer;
}

// The dialogs' addresses keep the bytes of names that are not UTF-8, which their paths
// would not.
OpenFilesResult QtDesktop::openFileNames(const QString &title, const QString &filter)
{
    OpenFilesResult result;
    const QList<QUrl> chosen = QFileDialog::getOpenFileUrls(owner(), title, QUrl(), filter, nullptr,
                                                            {}, {QStringLiteral("file")});
    for (const QUrl &url : chosen)
        result.files.append(localFilePath(url));
    return result;
}

SaveFileResult QtDesktop::saveFileName(const QString &title, const QString &filter,
                                       const QString &start)
{
    // The caller asks about replacing a file, once it knows the file's full name.
    SaveFileResult result;
    result.path = QFileDialog::getSaveFileName(owner(), title, start, filter, &result.filter,
                                               QFileDialog::DontConfirmOverwrite);
    return result;
}

QString QtDesktop::browseForFolder(const QString &prompt, const QString &startFolder)
{
    const QUrl start = startFolder.isEmpty() ? QUrl() : fileUrl(startFolder);
    return localFilePath(QFileDialog::getExistingDirectoryUrl(
        owner(), prompt, start, QFileDialog::ShowDirsOnly, {QStringLiteral("file")}));
}

bool QtDesktop::clearClipboard()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->clear();
    return true;
}

bool QtDesktop::setClipboardText(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return false;
    clipboard->setText(text);
    return true;
}

bool QtDesktop::startProgram(const QString &program, const QStringList &arguments)
{
    return QProcess::startDetached(program, arguments);
}

bool QtDesktop::runOpener(const QString &program, const QStringList &arguments)
{
    // xdg-open and gio open hand the address on and exit at once, with a failure when no
    // application takes it. One still running after a moment is running the application
    // itself (xdg-open on a desktop it does not know): it is left to run, as opened.
    constexpr int kOpenerWaitMs = 2000;
    auto *process = new QProcess;
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    process->start(program, arguments);
    if (!process->waitForStarted()) {
        delete process;
        return false;
    }
    if (!process->waitForFinished(kOpenerWaitMs))
        return true;
    return process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
}

bool QtDesktop::openUrl(const QUrl &url)
{
    // The handlers are our own list, as the message after a failure names them.
    return OpenWithDesktop(*this, url);
}

QString QtDesktop::findProgram(const QString &name)
{
    return QStandardPaths::findExecutable(name);
}

namespace {

QString runQuietly(const QString &program, const QStringList &arguments)
{
    if (QStandardPaths::findExecutable(program).isEmpty())
        return {};
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

} // namespace

QString QtDesktop::defaultApplicationEntry(const QString &mimeType)
{
    QString id = runQuietly(QStringLiteral("xdg-mime"),
                            {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (id.isEmpty()) {
        // "Default application for “text/plain”: org.gnome.TextEditor.desktop"
        const QString answer
            = runQuietly(QStringLiteral("gio"), {QStringLiteral("mime"), mimeType});
        const QString firstLine = answer.section(u'\n', 0, 0);
        if (firstLine.contains(u':'))
            id = firstLine.section(u':', -1).trimmed();
    }
    if (id.isEmpty() || !id.endsWith(QStringLiteral(".desktop")))
        return {};
    return QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id);
}

int QtDesktop::randomBelow(int bound)
{
    return bound > 0 ? int(QRandomGenerator::global()->bounded(bound)) : 0;
}
