#include "app/Form1.h"

#include <QApplication>

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
    Form1 window;
    window.show();
    return app.exec();
}
