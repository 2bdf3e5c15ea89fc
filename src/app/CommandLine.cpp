#include "app/CommandLine.h"

#include "base/NativePath.h"

#include <QDir>
#include <QFileInfo>

#include <climits>

#include <unistd.h>

using namespace Qt::StringLiterals;

QString quilloryVersion()
{
    return QStringLiteral(QUILLORY_VERSION);
}

QStringList decodeArguments(int argc, const char *const argv[])
{
    QStringList arguments;
    arguments.reserve(argc);
    for (int i = 0; i < argc; ++i)
        arguments.append(decodeFileName(argv[i]));
    return arguments;
}

WindowCommandLine parseWindowArguments(const QStringList &arguments, const QString &currentFolder)
{
    WindowCommandLine result;
    bool options = true;
    for (const QString &argument : arguments) {
        if (options && argument == u"--"_s) {
            options = false;
        } else if (options && (argument == u"--help"_s || argument == u"-h"_s)) {
            return {WindowCommandLine::Action::Help, {}, {}};
        } else if (options && argument == u"--version"_s) {
            return {WindowCommandLine::Action::Version, {}, {}};
        } else if (options && argument.startsWith(u'-') && argument.size() > 1) {
            // The first unknown option is named; a later --help still wins.
            if (result.action != WindowCommandLine::Action::Error)
                result = {WindowCommandLine::Action::Error, {}, u"unknown option "_s + argument};
        } else if (!argument.isEmpty() && result.action == WindowCommandLine::Action::Run) {
            const QString path
                = argument.startsWith(u'/') ? argument : currentFolder + u'/' + argument;
            result.paths.append(QDir::cleanPath(path));
        }
    }
    return result;
}

QString windowHelpText()
{
    return u"Usage: quillory [PATH...]\n"
           "Searches the contents of many vCard (.vcf) files.\n"
           "\n"
           "Each PATH is added to the file list after start-up: a file as it is, a folder\n"
           "with every file of its tree that has the extension last given to \"Add All VCF\n"
           "File(s) In Folder\" (vcf at first). A PATH that does not exist is named in a\n"
           "message.\n"
           "\n"
           "Options:\n"
           "  -h, --help     Show this help.\n"
           "  --version      Show the version.\n"
           "  --             Take every later argument as a PATH.\n"
           "\n"
           "Qt's own options (such as -platform or -style) are taken as Qt documents them.\n"_s;
}

QString currentFolder()
{
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr)
        return QDir::currentPath();
    return decodeFileName(buffer);
}

QString programFolderFor(const QString &binaryFolder)
{
    const QString installed = QDir(binaryFolder).absoluteFilePath(u"../share/quillory"_s);
    if (!QFileInfo(binaryFolder + u"/Samples"_s).isDir() && QFileInfo(installed).isDir())
        return QDir::cleanPath(installed);
    return binaryFolder;
}
