#include "app/WindowTexts.h"

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

QString helpMessage()
{
    return u"Make sure the Word file is not password protected before using.\r\r"_s
        + u"Questions? Please contact Team Brenmoor at "_s + QString::fromUtf16(kMakerContactPage);
}
