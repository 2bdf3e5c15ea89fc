#pragma once

#include "results/OutputRows.h"

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

/// A text editor's command, read once and then called for any number of files.
struct TextEditor
{
    /// The program, then its arguments, the file's place left out.
    QStringList words;
    /// The file's place among the words; -1 after the last.
    qsizetype fileAt = -1;
    /// The place was %u or %U, so a name that is not UTF-8 can go as a file: address.
    bool takesAddress = false;
    /// Runs in x-terminal-emulator -e.
    bool terminal = false;
};

/// The editor a desktop entry's Exec value describes: %f %F %u %U mark the file's
/// place (the end when there is none), other field codes go, "%%" is a percent sign.
/// None when the value names no program before the file's place.
std::optional<TextEditor> editorFromExec(const QString &exec, bool terminal);

/// The same from a .desktop file's [Desktop Entry] group.
std::optional<TextEditor> editorFromEntry(const QString &desktopFile);

/// The desktop's plain-text editor: its default application for text/plain, else
/// the first of a few common editors found on PATH; none when there is neither.
/// defaultEntry, when given, receives the default application's .desktop file (empty
/// when none is set), for the message that tells what was tried.
std::optional<TextEditor> findTextEditor(Desktop &desktop, QString *defaultEntry = nullptr);

/// The call that opens a path in the editor, at a line (from 1; 0 or less for none)
/// when the editor, known by its program's file name, takes one: "+LINE" for gedit,
/// gnome-text-editor, xed and pluma, "--line LINE" for kate and mousepad, "--goto
/// PATH:LINE" for code. A name that is not UTF-8 goes as a file: address where the
/// editor takes one.
ProgramCall editorCall(const TextEditor &editor, const QString &path, qint64 line = 0);

/// Starts the editor with the path, at the line; the outcome is not checked. False,
/// and nothing started, when the path's name is not UTF-8 and the editor takes no
/// address.
bool OpenFileInEditor(Desktop &desktop, const TextEditor &editor, const QString &path,
                      qint64 line = 0);

/// The message shown when findTextEditor found no editor: it names the default
/// application's entry that could not be used (or says that none is set), then the
/// editors looked for on PATH.
QString noEditorText(const QString &defaultEntry);

/// The message naming the files that OpenFileInEditor could not hand over.
QString editorRefusalText(const QStringList &paths);

/// The row "Open Selected File" opens: the highlighted one (-1 for none), else the
/// first ticked one of those given (every row by default); -1 when there is neither.
qsizetype rowToOpen(const ResultsModel &results, qsizetype highlighted,
                    const OutputRows &rows = {});

/// Every distinct File cell of the rows given (every row by default), in order of first
/// appearance (exact comparison).
QStringList distinctResultFiles(const ResultsModel &results, const OutputRows &rows = {});

/// The spreadsheet application on PATH (soffice, libreoffice or localc), or empty.
QString spreadsheetProgram(Desktop &desktop);
