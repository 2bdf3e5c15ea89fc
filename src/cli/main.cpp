#include "cli/DumpCommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"quillory-search"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Reads vCard files the way Quillory reads them."_s);
    const QCommandLineOption dump(u"dump"_s,
                                  u"Print every card of every file as one JSON object per line."_s);
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"Show this help."_s);
    parser.addOption(dump);
    parser.addOption(help);
    parser.addPositionalArgument(u"PATH"_s, u"Card files to read."_s, u"PATH..."_s);

    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "quillory-search: %s\n%s", parser.errorText().toUtf8().constData(),
                     parser.helpText().toUtf8().constData());
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toUtf8().constData(), stdout);
        return 0;
    }
    const QStringList paths = parser.positionalArguments();
    if (!parser.isSet(dump) || paths.isEmpty()) {
        std::fprintf(stderr, "quillory-search: give --dump and at least one PATH\n%s",
                     parser.helpText().toUtf8().constData());
        return 2;
    }
    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    return runDump(paths, stdout, stderr);
}
