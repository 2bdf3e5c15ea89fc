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
        if (!program.isEmpty()
            && desktop.startProgram(program, opener.mid(1) + QStringList{address}))
            return true;
    }
    return false;
}

QString notOpenedText(Desktop &desktop, const QUrl &url)
{
    // OpenWithDesktop stops at the first handler that starts, so after it failed every
    // handler on PATH is one that did not start.
    QStringList tried;
    for (const QStringList &opener : desktopOpeners()) {
        const bool found = !desktop.findProgram(opener.first()).isEmpty();
        tried.append(opener.join(u' ') + (found ? u" (did not start)"_s : u" (not found)"_s));
    }
    const QString what = url.isLocalFile() ? u"The folder "_s + displayFileName(localFilePath(url))
                                           : u"The web address "_s + url.toDisplayString();
    return what + u" could not be opened. Tried: "_s + tried.join(u", "_s)
        + u".\r\rInstall "
          "xdg-utils, or open "_s
        + (url.isLocalFile() ? u"the folder in a file manager."_s
                             : u"the address in a web browser."_s);
}
