#include "base/FileExists.h"

#include "base/NativePath.h"

#include <QString>

#include <sys/stat.h>

bool FileExists(const QString &path) noexcept
{
    struct stat info
    {
    };
    try {
        return !path.isEmpty() && ::stat(encodeFileName(path).constData(), &info) == 0;
    } catch (...) {
        return false;
    }
}
