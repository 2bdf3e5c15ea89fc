#include "filelist/PathIntake.h"

#include "base/FileExists.h"
#include "filelist/FolderListing.h"
#include "filelist/PathRules.h"

using namespace Qt::StringLiterals;

QString defaultExtension()
{
    return u"vcf"_s;
}

QString extensionOrDefault(const QString &extension)
{
    return extension.isEmpty() ? defaultExtension() : extension;
}

PathKind pathKind(const QString &path)
{
    if (FolderExists(path))
        return PathKind::Folder;
    return FileExists(path) ? PathKind::File : PathKind::Missing;
}

QString folderStart(const QString &path)
{
    return path.endsWith(kSeparator) && path.size() > 1 ? path.chopped(1) : path;
}

bool takePaths(const QStringList &paths, const PathIntake &intake)
{
    const auto stopped = [&] { return intake.stopped && intake.stopped(); };
    QStringList files;
    const auto handFiles = [&] {
        if (!files.isEmpty())
            intake.files(files);
        files.clear();
    };
    for (const QString &path : paths) {
        if (stopped())
            return false;
        switch (pathKind(path)) {
        case PathKind::Folder:
            handFiles();
            intake.folder(intake.folderStarts ? folderStart(path) : path);
            break;
        case PathKind::Missing:
            if (intake.missing) {
                intake.missing(path);
                break;
            }
            [[fallthrough]];
        case PathKind::File:
            files.append(path);
            break;
        }
    }
    handFiles();
    return true;
}
