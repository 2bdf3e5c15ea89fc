#include "app/Form1.h"
#include "app/QtDesktop.h"
#include "app/SettingsStore.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

namespace {

// Qt aborts with a long message when no display can be reached; say it in one line.
bool displayAvailable()
{
    const auto set = [](const char *name) {
        const char *value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

/// The folder of the program's resources: beside the binary in a build, or
/// <prefix>/share/quillory when installed.
QString programFolder()
{
    const QString binary = QCoreApplication::applicationDirPath();
    const QString installed = QDir(binary).absoluteFilePath(QStringLiteral("../share/quillory"));
    if (!QFileInfo(binary + QStringLiteral("/Samples")).isDir() && QFileInfo(installed).isDir())
        return QDir::cleanPath(installed);
    return binary;
}

} // namespace

int main(int argc, char *argv[])
{
    if (!displayAvailable()) {
        std::fputs("quillory: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                   "start it from a desktop session\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillory"));
    QtDesktop desktop;
    SettingsStore settings;
    Form1 window(desktop, settings, programFolder());
    desktop.setWindow(&window);
    window.show();
    return app.exec();
}
