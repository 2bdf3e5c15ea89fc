#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <unistd.h>

/// The shared corpus of real-world card files; a test skips when it is not there.
inline QString corpusDir()
{
    return QStringLiteral(QUILLORY_SHARED_DIR "/corpus/realworld");
}

/// The project's own sample card files.
inline QString cardsDir()
{
    return QStringLiteral(QUILLORY_TEST_DATA "/cards");
}

/// A sample card file by its name.
inline QString fixture(const QString &name)
{
    return cardsDir() + u'/' + name;
}

/// Writes bytes to a file of a temporary folder, making the folders on its way,
/// and returns its path; a test that cannot write its fixture stops at once.
inline QString writeTestFile(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

/// The bytes of a file, or "<unreadable>" when it cannot be read.
inline QByteArray readTestFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

/// Gives a file further names: hard links, so that a test can list thousands of files
/// without making thousands (a new file costs the file system far more than a name).
inline void linkTestFile(const QString &file, const QStringList &names)
{
    for (const QString &name : names) {
        QDir().mkpath(QFileInfo(name).path());
        if (::link(QFile::encodeName(file).constData(), QFile::encodeName(name).constData()) != 0)
            qFatal("cannot link %s", qPrintable(name));
    }
}

/// Cards one after the other, each with a name of its own, the title "Tech" and a
/// note, until they hold at least size bytes: a large file whose every card matches.
inline QByteArray flatTestCards(qsizetype size)
{
    QByteArray cards;
    for (int i = 0; cards.size() < size; ++i)
        cards += "BEGIN:VCARD\r\nFN:Person " + QByteArray::number(i)
            + "\r\nTITLE:Tech\r\nNOTE:Met at the fair, twice.\r\nEND:VCARD\r\n";
    return cards;
}
