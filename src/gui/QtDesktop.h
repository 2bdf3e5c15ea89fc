#pragma once

#include "base/Desktop.h"

#include <QPointer>

class QWidget;

/// The desktop as Qt offers it: message boxes, dialogs, the clipboard, processes.
class QtDesktop final : public Desktop
{
public:
    /// Dialogs and boxes are centred on the window, once it is set.
    void setWindow(QWidget *window)
    {
        m_window = window;
        m_placed = false;
    }

    MessageAnswer message(const QString &text, const QString &title, MessageButtons buttons,
                          MessageIcon icon) override;
    QString inputBox(const QString &prompt, const QString &title,
                     const QString &defaultAnswer) override;
    OpenFilesResult openFileNames(const QString &title, const QString &filter) override;
    SaveFileResult saveFileName(const QString &title, const QString &filter,
                                const QString &start) override;
    QString browseForFolder(const QString &prompt, const QString &startFolder) override;
    bool clearClipboard() override;
    bool setClipboardText(const QString &text) override;
    bool startProgram(const QString &program, const QStringList &arguments) override;
    bool runOpener(const QString &program, const QStringList &arguments) override;
    bool openUrl(const QUrl &url) override;
    QString findProgram(const QString &name) override;
    QString defaultApplicationEntry(const QString &mimeType) override;
    int randomBelow(int bound) override;

private:
    /// The window, once it stands where the user sees it; the parent of boxes and dialogs.
    QWidget *owner();

    QPointer<QWidget> m_window;
    bool m_placed = false; // the window has been seen on the screen
};
