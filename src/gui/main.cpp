#include "app/CommandLine.h"
#include "base/SettingsStore.h"
#include "gui/Form1.h"
#include "gui/QtDesktop.h"

#include <QApplication>
#include <QTimer>

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

WindowCommandLine readArguments(int argc, char *argv[])
{
    return parseWindowArguments(decodeArguments(argc, argv).mid(1), currentFolder());
}

} // namespace

int main(int argc, char *argv[])
{
    // Help and version need no display. Qt's own options are still among the arguments
    // here, so an unknown option is only judged once QApplication has taken them out.
    const WindowCommandLine early = readArguments(argc, argv);
    if (early.action == WindowCommandLine::Action::Help) {
        std::fputs(windowHelpText().toUtf8().constData(), stdout);
        return 0;
    }
    if (early.action == WindowCommandLine::Action::Version) {
        std::printf("quillory %s\n", quilloryVersion().toUtf8().constData());
        return 0;
    }
    if (!displayAvailable()) {
        std::fputs("quillory: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                   "start it from a desktop session\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillory"));
    // The desktop entry's name: Wayland compositors find the window's icon by it.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.brenmoor.quillory"));
    const WindowCommandLine commandLine = readArguments(argc, argv);
    if (commandLine.action == WindowCommandLine::Action::Error) {
        std::fprintf(stderr, "quillory: %s\n\n%s", commandLine.error.toUtf8().constData(),
                     windowHelpText().toUtf8().constData());
        return 2;
    }
    QtDesktop desktop;
    SettingsStore settings;
    Form1 window(desktop, settings, programFolderFor(QCoreApplication::applicationDirPath()));
    desktop.setWindow(&window);
    window.show();
    // The named files come in once the window is up, so that the scan of a folder shows.
    if (!commandLine.paths.isEmpty())
        QTimer::singleShot(0, &window, [&] { window.openPaths(commandLine.paths); });
    return app.exec();
}
