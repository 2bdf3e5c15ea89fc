#include "app/WindowTexts.h"

#include <QLocale>

using namespace Qt::StringLiterals;

QString applicationTitleFor(const QString &productName)
{
    QString title = productName;
    if (!title.contains(u' '))
        return title;
    do {
        const qsizetype blank = title.lastIndexOf(u' ');
        if (blank < 0)
            break;
        title.truncate(blank);
    } while (title.size() > 40);
    return title;
}

QString scanningText(const QString &folder, qsizetype filesFound)
{
    const QString text = u"Scanning: "_s + folder;
    if (filesFound == 0)
        return text;
    return text
        + u" (%1 %2)"_s.arg(QLocale().toString(filesFound),
                            filesFound == 1 ? u"file"_s : u"files"_s);
}

QString helpMessage()
{
    return u"Make sure the Word file is not password protected before using.\r\r"_s
        + u"Questions? Please contact Team Brenmoor at "_s + QString::fromUtf16(kMakerContactPage);
}
