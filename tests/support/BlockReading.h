#pragma once

// Reading files in small blocks, for tests that compare what a reader makes of a file read
// in blocks with what it makes of the file read whole.

#include "card/CardBlocks.h"

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

/// Reads every file larger than bytes a block of about that size at a time while it lives.
struct BlockSize
{
    explicit BlockSize(qsizetype bytes) { setCardBlockBytes(bytes); }
    ~BlockSize() { setCardBlockBytes(0); }
    BlockSize(const BlockSize &) = delete;
    BlockSize &operator=(const BlockSize &) = delete;
};

/// The files under folder and its subfolders, in order, but its notes (.md).
inline QStringList filesUnder(const QString &folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QString file = it.next();
        if (!file.endsWith(QLatin1String(".md")))
            files.append(std::move(file));
    }
    files.sort();
    return files;
}

/// The smallest block a reader takes.
inline constexpr qsizetype kSmallestBlock = 64;

/// Files whose cards a cut between blocks could read otherwise than the whole file: cards
/// nested across a cut, a card longer than a block, text without a charset that the last
/// card's charset decides, lines outside every card, soft line breaks before an END line,
/// UTF-16, and a file without a card. The first block is at least the 4 KiB that tell a
/// file's encoding: the shapes come after as much of plain cards.
inline QList<QByteArray> blockCutFiles()
{
    const QByteArray lead = QByteArray("BEGIN:VCARD\nFN:Lead\nEND:VCARD\n").repeated(150);
    // Nested cards of many lengths, so that some cut falls inside each shape.
    QByteArray nested;
    for (int length = 40; length < 300; length += 7)
        nested += "BEGIN:VCARD\nFN:Outer\nAGENT:\nBEGIN:VCARD\nFN:Inner\nNOTE:"
            + QByteArray(length, 'x') + "\nEND:VCARD\nTEL:1\nEND:VCARD\n";
    const QByteArray unlabelled = "BEGIN:VCARD\r\nFN:K\xE4the M\xFCller\r\nEND:VCARD\r\n";
    QByteArray utf16("\xFF\xFE");
    const QString text = QString::fromUtf16(u"BEGIN:VCARD\r\nFN:J\u00FCrgen \u4E2D\r\nEND:VCARD\r\n");
    for (const QChar c : text.repeated(150))
        utf16.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return {
        lead + nested + "BEGIN:VCARD\nFN:After\nEND:VCARD\n",
        lead + "BEGIN:VCARD\nFN:Long\nNOTE:" + QByteArray(300, 'n') + "\nEND:VCARD\n"
            + "BEGIN:VCARD\nFN:Short\nEND:VCARD\n",
        unlabelled.repeated(150) + "BEGIN:VCARD\r\nN;CHARSET=KOI8-R:\xF0\xC5\xD4\xD2\xCF\xD7\r\n"
            + "FN:\xE9\xD7\xC1\xCE\r\nEND:VCARD\r\n",
        lead + "NOTE:lead\nEND:VCARD\nBEGIN:VCARD\nFN:In\nEND:VCARD\nNOTE:between\nTEL:2\n"
            "BEGIN:VCARD\nFN:Last\nEND:VCARD\nNOTE:tail\n",
        lead + "BEGIN:VCARD\nNOTE;QUOTED-PRINTABLE:soft=\nEND:VCARD\nFN:Joined\nEND:VCARD\n"
            + QByteArray("BEGIN:VCARD\nFN:Plain\nEND:VCARD\n").repeated(3),
        utf16,
        QByteArray("no card here, only words\n").repeated(400),
    };
}
