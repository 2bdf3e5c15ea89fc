#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "TestFiles.h"

/// The command-line tool run as a process: its status (-2 when it crashed, -1 when it
/// did not finish), standard output and standard error.
struct Run
{
    int status = -1;
    QByteArray out;
    QString err;
};

inline Run run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    Run run;
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("did not finish");
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = process.readAllStandardOutput();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

inline Run search(const QStringList &arguments)
{
    return run(QStringLiteral(QUILLORY_SEARCH_BIN), arguments);
}

/// A card whose name a later line writes over.
inline const QByteArray kOverwritten
    = "BEGIN:VCARD\r\nFN:Simon Perreault\r\nN:Perreault;Simon;;;\r\n"
      "END:VCARD\r\n";

/// The files the command-line tests search: a tree with a file of another extension and
/// a lock file, UTF-16, two cards in one file, a TAB and a quote in values, and a value
/// written over.
inline void writeSearchedFiles(const QTemporaryDir &dir)
{
    writeTestFile(dir, QStringLiteral("tree/a.vcf"),
                  "BEGIN:VCARD\nFN:Tech Anna\nEMAIL:anna@tech.example\nEMAIL:a2@tech.example\n"
                  "END:VCARD\n");
    writeTestFile(dir, QStringLiteral("tree/sub/b.VCF"),
                  "BEGIN:VCARD\nFN:Bob\nTITLE:Technician\nEND:VCARD\n"
                  "BEGIN:VCARD\nFN:Carl\nNOTE:no hit\nEND:VCARD\n");
    writeTestFile(dir, QStringLiteral("tree/sub/~lock.vcf"),
                  "BEGIN:VCARD\nFN:Tech Lock\nEND:VCARD\n");
    writeTestFile(dir, QStringLiteral("tree/notes.txt"), "FN:tech in a text file\n");
    writeTestFile(dir, QStringLiteral("utf16.vcf"),
                  "\xFF\xFE" + QByteArray("F\0N\0:\0\xFC\0t\0e\0c\0h\0", 16));
    writeTestFile(dir, QStringLiteral("multi.vcf"),
                  "BEGIN:VCARD\nFN:Ann Tech\nEND:VCARD\nBEGIN:VCARD\nN:Lee;Bo\nTITLE:Technician\n"
                  "END:VCARD\n");
    writeTestFile(
        dir, QStringLiteral("tab.vcf"),
        "\n\nBEGIN:VCARD\nFN:Tab\t\"Tech\"\nEND:VCARD\nBEGIN:VCARD\nORG:Tech\\, Inc.;;Lab\n"
        "END:VCARD\n");
    writeTestFile(dir, QStringLiteral("overwritten.vcf"), kOverwritten);
}
