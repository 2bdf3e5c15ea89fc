#include "card/RFTSFSO.h"

#include "card/CardBytes.h"
#include "card/CardFile.h"

QStringList ReadFileLines(const QString &path)
{
    const QString text = decodeWholeText(readWholeFile(path));
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            lines.append(text.sliced(start, i - start));
            i += (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    // A last line without a line end still counts; an empty file is one empty line.
    if (start < n || lines.isEmpty())
        lines.append(text.sliced(start));
    return lines;
}
