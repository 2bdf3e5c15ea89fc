#include "results/EditorLaunch.h"

#include "base/Desktop.h"
#include "base/NativePath.h"
#include "results/ResultsModel.h"

#include <QFile>
#include <QSet>
#include <QUrl>

#include <algorithm>

using namespace Qt::StringLiterals;

QStringList splitExecLine(const QString &exec)
{
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == u'\\' && i + 1 < exec.size()) {
                word.append(exec.at(++i));
            } else if (c == u'"') {
                quoted = false;
            } else {
                word.append(c);
            }
        } else if (c == u'"') {
            quoted = true;
            inWord = true;
        } else if (c == u' ' || c == u'\t') {
            if (inWord)
                words.append(word);
            word.clear();
            inWord = false;
        } else {
            word.append(c);
            inWord = true;
        }
    }
    if (inWord)
        words.append(word);
    return words;
}

namespace {

bool isFileCode(const QString &word)
{
    return word == u"%f"_s || word == u"%F"_s || word == u"%u"_s || word == u"%U"_s;
}

// How an editor is told the line to open at.
enum class LineArgument { None, Plus, LineOption, Goto };

// Known by the file name of the program that is started: an editor started through a
// wrapper (flatpak run, env, a shell script of another name) opens without a line.
LineArgument lineArgument(const QString &program)
{
    const QString name = program.section(u'/', -1);
    if (name == u"gedit"_s || name == u"gnome-text-editor"_s || name == u"xed"_s
        || name == u"pluma"_s)
        return LineArgument::Plus;
    if (name == u"kate"_s || name == u"mousepad"_s)
        return LineArgument::LineOption;
    if (name == u"code"_s)
        return LineArgument::Goto;
    return LineArgument::None;
}

// Looked for on PATH, in this order, when the desktop names no usable default editor.
const QStringList &editorsOnPath()
{
    static const QStringList names{u"gnome-text-editor"_s, u"gedit"_s, u"kate"_s,
                                   u"mousepad"_s,          u"xed"_s,   u"pluma"_s};
    return names;
}

} // namespace

std::optional<TextEditor> editorFromExec(const QString &exec, bool terminal)
{
    TextEditor editor;
    editor.terminal = terminal;
    for (const QString &word : splitExecLine(exec)) {
        if (isFileCode(word)) {
            // The program comes first: a file in its place would be run.
            if (editor.words.isEmpty())
                return std::nullopt;
            if (editor.fileAt < 0) {
                editor.fileAt = editor.words.size();
                editor.takesAddress = word == u"%u"_s || word == u"%U"_s;
            }
            continue;
        }
        QString expanded;
        for (qsizetype i = 0; i < word.size(); ++i) {
            if (word.at(i) == u'%' && i + 1 < word.size()) {
                if (word.at(i + 1) == u'%')
                    expanded.append(u'%');
                ++i; // %i, %c, %k and the deprecated codes are dropped
                continue;
            }
            expanded.append(word.at(i));
        }
        if (!expanded.isEmpty())
            editor.words.append(expanded);
    }
    if (editor.words.isEmpty())
        return std::nullopt;
    return editor;
}

std::optional<TextEditor> editorFromEntry(const QString &desktopFile)
{
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    QString exec;
    bool terminal = false;
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == u"[Desktop Entry]"_s;
            continue;
        }
        if (!inEntry)
            continue;
        if (line.startsWith(u"Exec="_s))
            exec = line.sliced(5);
        else if (line.startsWith(u"Terminal="_s))
            terminal = line.sliced(9).trimmed().compare(u"true"_s, Qt::CaseInsensitive) == 0;
    }
    return exec.isEmpty() ? std::nullopt : editorFromExec(exec, terminal);
}

std::optional<TextEditor> findTextEditor(Desktop &desktop, QString *defaultEntry)
{
    const QString entry = desktop.defaultApplicationEntry(u"text/plain"_s);
    if (defaultEntry)
        *defaultEntry = entry;
    if (!entry.isEmpty()) {
        if (auto editor = editorFromEntry(entry))
            return editor;
    }
    for (const QString &name : editorsOnPath()) {
        const QString program = desktop.findProgram(name);
        if (!program.isEmpty())
            return TextEditor{{program}};
    }
    return std::nullopt;
}

ProgramCall editorCall(const TextEditor &editor, const QString &path, qint64 line)
{
    // An address holds every byte of a name as ASCII, where a path would not survive
    // being made into an argument.
    const bool address = editor.takesAddress && hasUndecodableBytes(path);
    QStringList file{address ? fileUrl(path).toString(QUrl::FullyEncoded) : path};
    if (line > 0) {
        const QString number = QString::number(line);
        switch (lineArgument(editor.words.first())) {
        case LineArgument::Plus:
            file.prepend(u'+' + number);
            break;
        case LineArgument::LineOption:
            file = QStringList{u"--line"_s, number} + file;
            break;
        case LineArgument::Goto:
            // code reads every number between colons as the line or column, so a
            // path or an address with a colon of its own would open another file.
            if (!file.first().contains(u':'))
                file = QStringList{u"--goto"_s, file.first() + u':' + number};
            break;
        case LineArgument::None:
            break;
        }
    }
    QStringList arguments = editor.words;
    const qsizetype at = editor.fileAt < 0 ? arguments.size() : editor.fileAt;
    for (qsizetype i = 0; i < file.size(); ++i)
        arguments.insert(at + i, file.at(i));
    if (editor.terminal)
        arguments = QStringList{u"x-terminal-emulator"_s, u"-e"_s} + arguments;
    ProgramCall call;
    call.program = arguments.takeFirst();
    call.arguments = arguments;
    return call;
}

bool OpenFileInEditor(Desktop &desktop, const TextEditor &editor, const QString &path, qint64 line)
{
    const ProgramCall call = editorCall(editor, path, line);
    // A program's arguments are text: a name that is not UTF-8 would reach it as another.
    if (hasUndecodableBytes(call.program)
        || std::any_of(call.arguments.cbegin(), call.arguments.cend(),
                       [](const QString &argument) { return hasUndecodableBytes(argument); }))
        return false;
    desktop.startProgram(call.program, call.arguments);
    return true;
}

QString noEditorText(const QString &defaultEntry)
{
    const QString entry = defaultEntry.isEmpty()
        ? u"none is set"_s
        : u"its entry "_s + displayFileName(defaultEntry) + u" could not be used"_s;
    QStringList names = editorsOnPath();
    const QString last = names.takeLast();
    return u"No text editor was found. Tried: the default application for text/plain ("_s + entry
        + u"), then "_s + names.join(u", "_s) + u" and "_s + last
        + u" on PATH (none found).\r\rInstall one, such as gedit or mousepad, or set a default "
          "application for plain text."_s;
}

QString editorRefusalText(const QStringList &paths)
{
    QStringList shown;
    for (const QString &path : paths)
        shown.append(displayFileName(path));
    return (paths.size() == 1
                ? u"This file cannot be handed to the editor, because its name is not valid "
                  "UTF-8:\r\r"_s
                : u"These files cannot be handed to the editor, because their names are not "
                  "valid UTF-8:\r\r"_s)
        + shown.join(u'\r');
}

qsizetype rowToOpen(const ResultsModel &results, qsizetype highlighted, const OutputRows &rows)
{
    if (highlighted >= 0 && highlighted < results.count())
        return highlighted;
    for (qsizetype i = 0; i < rows.count(results); ++i) {
        if (results.isChecked(rows.at(i)))
            return rows.at(i);
    }
    return -1;
}

QStringList distinctResultFiles(const ResultsModel &results, const OutputRows &rows)
{
    QStringList files;
    QSet<QString> seen;
    for (qsizetype i = 0; i < rows.count(results); ++i) {
        const QString &file = results.cell(rows.at(i), 1);
        if (!seen.contains(file)) {
            seen.insert(file);
            files.append(file);
        }
    }
    return files;
}

QString spreadsheetProgram(Desktop &desktop)
{
    for (const QString &name : {u"soffice"_s, u"libreoffice"_s, u"localc"_s}) {
        const QString program = desktop.findProgram(name);
        if (!program.isEmpty())
            return program;
    }
    return {};
}
