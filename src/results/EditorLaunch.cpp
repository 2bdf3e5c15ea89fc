#include "results/EditorLaunch.h"

#include "app/Desktop.h"
#include "card/NativePath.h"
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

std::optional<ProgramCall> editorCallFromExec(const QString &exec, bool terminal,
                                              const QString &path)
{
    QStringList arguments;
    bool placed = false;
    for (const QString &word : splitExecLine(exec)) {
        if (word == u"%f"_s || word == u"%F"_s || word == u"%u"_s || word == u"%U"_s) {
            // An address holds every byte of a name as ASCII, where a path would not
            // survive being made into an argument.
            const bool address = (word == u"%u"_s || word == u"%U"_s) && hasUndecodableBytes(path);
            if (!placed)
                arguments.append(address ? fileUrl(path).toString(QUrl::FullyEncoded) : path);
            placed = true;
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
            arguments.append(expanded);
    }
    if (arguments.isEmpty())
        return std::nullopt;
    if (!placed)
        arguments.append(path);
    if (terminal) {
        arguments.prepend(u"-e"_s);
        arguments.prepend(u"x-terminal-emulator"_s);
    }
    ProgramCall call;
    call.program = arguments.takeFirst();
    call.arguments = arguments;
    return call;
}

std::optional<ProgramCall> editorCallFromEntry(const QString &desktopFile, const QString &path)
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
    return exec.isEmpty() ? std::nullopt : editorCallFromExec(exec, terminal, path);
}

std::optional<ProgramCall> textEditorCall(Desktop &desktop, const QString &path)
{
    const QString entry = desktop.defaultApplicationEntry(u"text/plain"_s);
    if (!entry.isEmpty()) {
        if (auto call = editorCallFromEntry(entry, path))
            return call;
    }
    for (const QString &name :
         {u"gnome-text-editor"_s, u"gedit"_s, u"kate"_s, u"mousepad"_s, u"xed"_s, u"pluma"_s}) {
        const QString program = desktop.findProgram(name);
        if (!program.isEmpty())
            return ProgramCall{program, {path}};
    }
    return std::nullopt;
}

bool OpenFileInEditor(Desktop &desktop, const QString &path)
{
    const auto call = textEditorCall(desktop, path);
    if (!call)
        return true;
    // A program's arguments are text: a name that is not UTF-8 would reach it as another.
    if (hasUndecodableBytes(call->program)
        || std::any_of(call->arguments.cbegin(), call->arguments.cend(),
                       [](const QString &argument) { return hasUndecodableBytes(argument); }))
        return false;
    desktop.startProgram(call->program, call->arguments);
    return true;
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

QStringList distinctResultFiles(const ResultsModel &results)
{
    QStringList files;
    QSet<QString> seen;
    for (qsizetype r = 0; r < results.count(); ++r) {
        const QString &file = results.cell(r, 1);
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
