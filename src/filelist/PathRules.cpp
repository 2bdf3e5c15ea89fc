#include "filelist/PathRules.h"

namespace {

QString collapsePairs(QStringView path)
{
    QString out;
    out.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const QChar c = path.at(i);
        out.append(c);
        if ((c == u'\\' || c == u'/') && i + 1 < path.size() && path.at(i + 1) == c)
            ++i;
    }
    return out;
}

} // namespace

QString NormalizePath(const QString &path)
{
    if (!path.startsWith(u'\\')) {
        // Most paths hold no pair: they are returned as they are, without a copy.
        for (qsizetype i = 1; i < path.size(); ++i) {
            const QChar c = path.at(i);
            if ((c == u'\\' || c == u'/') && path.at(i - 1) == c)
                return collapsePairs(path);
        }
        return path;
    }
    qsizetype first = 1;
    while (first < path.size() && path.at(first) == u'\\')
        ++first;
    return QStringLiteral("\\\\") + collapsePairs(QStringView(path).sliced(first));
}

QString GetFileNameFromPath(const QString &path)
{
    return path.sliced(path.lastIndexOf(kSeparator) + 1);
}
