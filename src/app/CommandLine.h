#pragma once

#include <QString>
#include <QStringList>

/// The project's version, as the build names it ("0.1.0").
QString quilloryVersion();

/// The program's arguments, its name first, with every byte of each kept (see
/// decodeFileName): QCoreApplication::arguments() turns bytes that are not UTF-8 into
/// U+FFFD, and a path so changed names no file.
QStringList decodeArguments(int argc, const char *const argv[]);

/// What the window's command line asks for.
struct WindowCommandLine
{
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    /// The files and folders to add after start-up, absolute and cleaned, in the order given.
    QStringList paths;
    /// For Error: what was wrong, in one line.
    QString error;
};

/// Reads the window's arguments (the program name left out): "--help" or "-h" and
/// "--version" win wherever they stand before "--"; another argument that begins with
/// "-" before "--" is an error; every other one is a path, made absolute against
/// currentFolder. Empty arguments are ignored.
WindowCommandLine parseWindowArguments(const QStringList &arguments, const QString &currentFolder);

/// The text "quillory --help" prints.
QString windowHelpText();

/// The current folder with every byte of its name kept (see decodeFileName).
QString currentFolder();

/// The folder of the program's resources for a binary in binaryFolder: the binary's own
/// folder in a build (the resources are copied beside it), else <prefix>/share/quillory
/// when the binary is installed in <prefix>/bin.
QString programFolderFor(const QString &binaryFolder);
