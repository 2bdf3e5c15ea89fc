#include "filelist/AddFiles.h"

#include "card/RFTSFSO.h"
#include "filelist/PathRules.h"

#include <QFileInfo>

QStringList dialogSelectionPaths(const QStringList &chosen)
{
    if (chosen.size() <= 1)
        return chosen;
    QStringList paths;
    paths.reserve(chosen.size());
    for (const QString &file : chosen) {
        const QFileInfo info(file);
        paths.append(NormalizePath(info.path() + kSeparator + info.fileName()));
    }
    return paths;
}

bool isBlank(const QString &line)
{
    return std::all_of(line.cbegin(), line.cend(), [](QChar c) { return c == u' '; });
}

QStringList listFileEntries(const QString &path)
{
    QStringList entries;
    for (const QString &line : ReadFileLines(path)) {
        if (!isBlank(line))
            entries.append(line);
    }
    return entries;
}
