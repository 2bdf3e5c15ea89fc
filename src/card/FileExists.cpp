#include "card/FileExists.h"

#include <QFileInfo>
#include <QString>

bool FileExists(const QString &path) noexcept
{
    try {
        if (path.isEmpty())
            return false;
        const QFileInfo info(path);
        return info.exists() && info.lastModified().isValid();
    } catch (...) {
        return false;
    }
}
