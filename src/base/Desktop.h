#pragma once

#include <QString>
#include <QStringList>

class QUrl;

/// YesNoDefaultNo: Yes and No with No as the default, for a question whose Yes loses
/// something.
enum class MessageButtons { Ok, YesNo, YesNoDefaultNo };
enum class MessageIcon { None, Information, Warning, Question };
enum class MessageAnswer { Ok, Yes, No };

/// What a multi-select open dialog handed back: the chosen files' full paths, or
/// the word that the choice did not fit the dialog.
struct OpenFilesResult
{
    QStringList files;
    bool tooMany = false;
};

/// What a save dialog handed back: the chosen path, empty when cancelled, and the filter
/// chosen with it.
struct SaveFileResult
{
    QString path;
    QString filter;
};

/// Everything that reaches outside the process: boxes, dialogs, the clipboard,
/// starting programs, opening addresses and the random draw. The window talks to
/// the desktop only through this, so tests can answer from a script.
class Desktop
{
public:
    virtual ~Desktop() = default;

    virtual MessageAnswer message(const QString &text, const QString &title, MessageButtons buttons,
                                  MessageIcon icon)
        = 0;
    /// The answer typed; empty when the box is cancelled.
    virtual QString inputBox(const QString &prompt, const QString &title,
                             const QString &defaultAnswer)
        = 0;
    virtual OpenFilesResult openFileNames(const QString &title, const QString &filter) = 0;
    /// Opens in the folder of start with its file name suggested.
    virtual SaveFileResult saveFileName(const QString &title, const QString &filter,
                                        const QString &start)
        = 0;
    /// The chosen folder; empty when cancelled.
    virtual QString browseForFolder(const QString &prompt, const QString &startFolder) = 0;

    virtual bool clearClipboard() = 0;
    virtual bool setClipboardText(const QString &text) = 0;

    /// Starts a program with its arguments, never through a shell.
    virtual bool startProgram(const QString &program, const QStringList &arguments) = 0;
    /// Runs a handler that hands an address on to an application (xdg-open, gio open):
    /// false when it does not start or reports that no application took the address.
    /// This default only starts it.
    virtual bool runOpener(const QString &program, const QStringList &arguments)
    {
        return startProgram(program, arguments);
    }
    /// Opens a folder or a web address with the desktop's handler: the first of
    /// desktopOpeners() that is on PATH and opens it. False when none did.
    virtual bool openUrl(const QUrl &url) = 0;
    /// The full path of a program found on PATH, or empty.
    virtual QString findProgram(const QString &name) = 0;
    /// The .desktop file of the user's default application for a MIME type, or empty.
    virtual QString defaultApplicationEntry(const QString &mimeType) = 0;

    /// A random whole number from 0 to bound - 1.
    virtual int randomBelow(int bound) = 0;
};
