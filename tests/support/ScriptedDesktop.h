#pragma once

#include "base/Desktop.h"

#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QUrl>

/// A Desktop that answers from queues filled by the test and records every call,
/// so no test ever waits on a modal dialog or starts a real program. An empty
/// queue gives the cancel answer (Ok or No for boxes, empty text for dialogs).
class ScriptedDesktop final : public Desktop
{
public:
    struct Message
    {
        QString text;
        QString title;
        MessageButtons buttons;
        MessageIcon icon;
    };
    struct Started
    {
        QString program;
        QStringList arguments;
    };

    QQueue<MessageAnswer> answers;
    QQueue<QString> inputs;
    QQueue<OpenFilesResult> openResults;
    QQueue<QString> saveResults;
    QQueue<QString> saveFilters; ///< the filter chosen with each path; empty: the first
    QQueue<QString> folderResults;
    QQueue<int> draws;
    QStringList programsOnPath; ///< names findProgram finds, as /usr/bin/NAME
    QString textEditorEntry; ///< the .desktop file of the default text editor
    bool clipboardWorks = true;
    bool urlsOpen = true; ///< what openUrl answers
    QStringList programsNotStarting; ///< programs startProgram records but fails to start

    QList<Message> messages;
    QStringList inputPrompts;
    QStringList inputDefaults;
    QStringList dialogTitles;
    QStringList folderStarts;
    QStringList saveStarts;
    QList<Started> started;
    QList<QUrl> openedUrls;
    QString clipboard;
    int clipboardClears = 0;
    int clipboardSets = 0;

    MessageAnswer message(const QString &text, const QString &title, MessageButtons buttons,
                          MessageIcon icon) override
    {
        messages.append({text, title, buttons, icon});
        if (!answers.isEmpty())
            return answers.dequeue();
        return buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
    }

    QString inputBox(const QString &prompt, const QString &title,
                     const QString &defaultAnswer) override
    {
        inputPrompts.append(prompt);
        inputDefaults.append(defaultAnswer);
        Q_UNUSED(title);
        return inputs.isEmpty() ? QString() : inputs.dequeue();
    }

    OpenFilesResult openFileNames(const QString &title, const QString &filter) override
    {
        dialogTitles.append(title + QLatin1Char('|') + filter);
        return openResults.isEmpty() ? OpenFilesResult{} : openResults.dequeue();
    }

    SaveFileResult saveFileName(const QString &title, const QString &filter,
                                const QString &start) override
    {
        dialogTitles.append(title + QLatin1Char('|') + filter);
        saveStarts.append(start);
        SaveFileResult result;
        result.path = saveResults.isEmpty() ? QString() : saveResults.dequeue();
        result.filter = saveFilters.isEmpty() ? filter.section(QStringLiteral(";;"), 0, 0)
                                              : saveFilters.dequeue();
        return result;
    }

    QString browseForFolder(const QString &prompt, const QString &startFolder) override
    {
        Q_UNUSED(prompt);
        folderStarts.append(startFolder);
        return folderResults.isEmpty() ? QString() : folderResults.dequeue();
    }

    bool clearClipboard() override
    {
        ++clipboardClears;
        if (clipboardWorks)
            clipboard.clear();
        return clipboardWorks;
    }

    bool setClipboardText(const QString &text) override
    {
        ++clipboardSets;
        if (clipboardWorks)
            clipboard = text;
        return clipboardWorks;
    }

    bool startProgram(const QString &program, const QStringList &arguments) override
    {
        started.append({program, arguments});
        return !programsNotStarting.contains(program);
    }

    bool openUrl(const QUrl &url) override
    {
        openedUrls.append(url);
        return urlsOpen;
    }

    QString findProgram(const QString &name) override
    {
        return programsOnPath.contains(name) ? QStringLiteral("/usr/bin/") + name : QString();
    }

    QString defaultApplicationEntry(const QString &mimeType) override
    {
        return mimeType == QStringLiteral("text/plain") ? textEditorEntry : QString();
    }

    int randomBelow(int bound) override
    {
        const int draw = draws.isEmpty() ? bound - 1 : draws.dequeue();
        return qBound(0, draw, bound - 1);
    }
};
