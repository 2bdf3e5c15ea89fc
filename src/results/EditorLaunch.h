#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class Desktop;
class ResultsModel;

/// A program and its arguments, started without a shell.
struct ProgramCall
{
    QString program;
    QStringList arguments;

    bool operator==(const ProgramCall &) const = default;
};

/// Splits a desktop entry's Exec value into words: double quotes group, and a
/// backslash inside quotes takes the next character literally.
QStringList splitExecLine(const QString &exec);

/// The call a desktop entry's Exec value makes for one file: %f %F %u %U become
/// the path as one argument (appended when there is none), other field codes go,
/// "%%" is a percent sign; a terminal program runs in x-terminal-emulator -e. A
/// name that is not UTF-8 goes to %u and %U as a file: address.
std::optional<ProgramCall> editorCallFromExec(const QString &exec, bool terminal,
                                              const QString &path);

/// The same from a .desktop file's [Desktop Entry] group.
std::optional<ProgramCall> editorCallFromEntry(const QString &desktopFile, const QString &path);

/// The desktop's plain-text editor for a path: its default application for
/// text/plain, else the first of a few common editors found on PATH.
std::optional<ProgramCall> textEditorCall(Desktop &desktop, const QString &path);

/// Starts the editor with the path; the outcome is not checked. False, and nothing
/// started, when the path's name is not UTF-8 and the editor takes no address.
bool OpenFileInEditor(Desktop &desktop, const QString &path);

/// The message naming the files that OpenFileInEditor could not hand over.
QString editorRefusalText(const QStringList &paths);

/// Every distinct File cell, in order of first appearance (exact comparison).
QStringList distinctResultFiles(const ResultsModel &results);

/// The spreadsheet application on PATH (soffice, libreoffice or localc), or empty.
QString spreadsheetProgram(Desktop &desktop);
