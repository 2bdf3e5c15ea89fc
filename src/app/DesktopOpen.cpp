#include "app/DesktopOpen.h"

#include "base/Desktop.h"
#include "base/NativePath.h"

#include <QUrl>

using namespace Qt::StringLiterals;

const QList<QStringList> &desktopOpeners()
{
    static const QList<QStringList> openers{
        {u"xdg-open"_s}, {u"gio"_s, u"open"_s}, {u"kde-open5"_s}, {u"kde-open"_s}};
    return openers;
}

bool OpenWithDesktop(Desktop &desktop, const QUrl &url)
{
    // Percent-encoded, the address is ASCII: every byte of a folder's name survives
    // being made into an argument.
    const QString address = url.toString(QUrl::FullyEncoded);
    for (const QStringList &opener : desktopOpeners()) {
        const QString program = desktop.findProgram(opener.first());
        if (!program.isEmpty() && desktop.runOpener(program, opener.mid(1) + QStringList{address}))
            return true;
    }
    return false;
}

QString notOpenedText(Desktop &desktop, const QUrl &url)
{
    // OpenWithDesktop stops at the first handler that opens the address, so after it
    // failed every handler on PATH is one that did not start or found no application.
    QStringList tried;
    bool anyFound = false;
    for (const QStringList &opener : desktopOpeners()) {
        const bool found = !desktop.findProgram(opener.first()).isEmpty();
        anyFound = anyFound || found;
        tried.append(opener.join(u' ') + (found ? u" (did not open it)"_s : u" (not found)"_s));
    }
    const bool folder = url.isLocalFile();
    const QString what = folder ? u"The folder "_s + displayFileName(localFilePath(url))
                                : u"The web address "_s + url.toDisplayString();
    // With a handler on PATH what is missing is an application that takes the address.
    const QString remedy = !anyFound ? u"Install xdg-utils"_s
        : folder ? u"Set a file manager as the default application for folders"_s
                 : u"Set a default web browser"_s;
    return what + u" could not be opened. Tried: "_s + tried.join(u", "_s) + u".\r\r"_s + remedy
        + u", or open "_s
        + (folder ? u"the folder in a file manager."_s : u"the address in a web browser."_s);
}
