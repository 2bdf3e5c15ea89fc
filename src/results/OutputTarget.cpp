#include "results/OutputTarget.h"

#include "base/EventPump.h"
#include "base/FileList.h"
#include "base/NativePath.h"

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

/// The file at path, links followed; false when nothing can be looked at there.
bool statPath(const QString &path, struct stat &info)
{
    const QByteArray native = encodeFileName(path);
    return !native.isEmpty() && ::stat(native.constData(), &info) == 0;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

QString kindProblem(const QString &path, const struct stat &info)
{
    if (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode))
        return {};
    const QString kind = S_ISFIFO(info.st_mode) ? u"a FIFO (named pipe)"_s
        : S_ISSOCK(info.st_mode)                ? u"a socket"_s
                                                : u"a device"_s;
    return displayFileName(path) + u": this is "_s + kind
        + u", not a regular file; choose another file."_s;
}

} // namespace

QString outputKindProblem(const QString &path)
{
    struct stat info
    {
    };
    return statPath(path, info) ? kindProblem(path, info) : QString();
}

QString outputTargetProblem(const QString &path, const FileList &inputs, EventPump *pump)
{
    struct stat target
    {
    };
    if (!statPath(path, target))
        return {};
    if (QString problem = kindProblem(path, target); !problem.isEmpty())
        return problem;
    if (!S_ISREG(target.st_mode))
        return {};
    for (qsizetype i = 0; i < inputs.size(); ++i) {
        struct stat input
        {
        };
        if (statPath(inputs.pathAt(i), input) && sameFile(input, target))
            return displayFileName(path)
                + u": this is one of the files searched; choose another file."_s;
        if (pump)
            pump->tick();
    }
    return {};
}

bool isOpenFile(const QString &path, int fd)
{
    struct stat target
    {
    };
    struct stat open
    {
    };
    return statPath(path, target) && ::fstat(fd, &open) == 0 && sameFile(target, open);
}
