#pragma once

#include "card/FileList.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <atomic>

/// How the bytes of a card file are to be read, decided by its first bytes.
enum class CardEncoding {
    Legacy, ///< no mark: each line decoded on its own (CHARSET, UTF-8, legacy charset)
    Utf8Bom, ///< EF BB BF
    Utf16LE, ///< FF FE, or zero bytes in the odd positions
    Utf16BE, ///< FE FF, or zero bytes in the even positions
    Utf32LE, ///< FF FE 00 00
    Utf32BE, ///< 00 00 FE FF
};

/// The bytes of a card file ready for line splitting: the byte-order mark dropped
/// and UTF-16 or UTF-32 turned into UTF-8, so that the parser works on 8-bit text only.
struct CardBytes
{
    QByteArray bytes;
    CardEncoding encoding = CardEncoding::Legacy;
    qsizetype markBytes = 0; ///< the mark's bytes, dropped from the file's start

    /// Where the byte at offset of bytes stands in the file itself; for UTF-16, with
    /// units the UTF-16 code units that the bytes before it make (see utf16Length).
    /// -1 for UTF-32, which is not placed.
    qint64 fileOffset(qsizetype offset, qint64 units) const
    {
        if (isUtf32())
            return -1;
        return markBytes + (isUtf16() ? 2 * units : qint64(offset));
    }
    bool isUtf16() const
    {
        return encoding == CardEncoding::Utf16LE || encoding == CardEncoding::Utf16BE;
    }
    bool isUtf32() const
    {
        return encoding == CardEncoding::Utf32LE || encoding == CardEncoding::Utf32BE;
    }

    /// True when the whole file has one known Unicode encoding (bytes are UTF-8).
    bool isUnicode() const { return encoding != CardEncoding::Legacy; }
};

/// The encoding a file's first bytes announce, or that its zero bytes betray.
CardEncoding detectCardEncoding(QByteArrayView raw);

/// Drops the mark and converts UTF-16 and UTF-32 to UTF-8. When cancel is set on the way the
/// result is empty.
CardBytes prepareCardBytes(QByteArray raw, const std::atomic<bool> *cancel = nullptr);

/// The whole text of a plain text file: a mark or UTF-16 zero bytes decide,
/// else UTF-8 when the bytes are valid UTF-8, else Windows-1252.
QString decodeWholeText(const QByteArray &raw);

/// True for the charset names whose text is read by the UTF-8 rule: UTF-8 and ASCII.
bool isUtf8CompatibleCharset(QByteArrayView name);

/// The value of a hexadecimal digit, or -1.
int hexDigitValue(char c);

/// The UTF-16 code units of well-formed UTF-8.
qint64 utf16Length(QByteArrayView utf8);

/// True when the bytes are well-formed UTF-8.
bool isValidUtf8(QByteArrayView bytes);

/// A card's digest covers its length and at most this many of its first bytes: all
/// that a reader shows of a card.
inline constexpr qsizetype kCardDigestBytes = qsizetype(1) << 20;

/// A digest of a card's prepared bytes, never 0, so that 0 can mean "not known".
quint64 cardDigest(QByteArrayView card);
/// The same digest from the card's length and its first bytes, as many as it covers.
quint64 cardDigest(QByteArrayView head, qsizetype length);

/// Files larger than this are refused rather than read into memory.
inline constexpr qint64 kMaxReadableFileSize = qint64(1) << 30;

/// A handle on the folder of the file opened last, so that the next file of the same
/// folder is opened by its name in it rather than by its whole path. One per thread.
class FolderHandle final
{
public:
    FolderHandle() = default;
    ~FolderHandle();
    FolderHandle(const FolderHandle &) = delete;
    FolderHandle &operator=(const FolderHandle &) = delete;

    /// A descriptor of the folder (a path ending in "/"), or -1 when it cannot be opened.
    int handleFor(QStringView folder);

private:
    QString m_folder;
    int m_fd = -1;
};

/// A card file opened for reading. It is opened and checked at once, and read when
/// asked, so that a caller can choose by its size how to read it.
class CardFile final
{
public:
    /// Opens the file. A path that does not exist is not an error: it reads as nothing.
    /// Throws Failure, naming the path and the reason, when the file exists but cannot
    /// be read: a folder, a device or FIFO, a file over the size limit.
    /// With folders, the file is opened by its name in its folder's handle.
    explicit CardFile(const QString &path, FolderHandle *folders = nullptr);
    /// Opens a file of a list; one named in a folder's list is opened by its name in
    /// the folder's handle, and its path made only for a message.
    CardFile(const FileRef &file, FolderHandle &folders);
    ~CardFile();
    CardFile(const CardFile &) = delete;
    CardFile &operator=(const CardFile &) = delete;

    bool isMissing() const { return m_missing; }
    /// Throws Failure, naming the path, when the file is missing: for a file that was
    /// seen to exist when it was listed, and has vanished since.
    void failIfMissing() const;
    /// The size the system gave when the file was opened; 0 when it is missing.
    qint64 size() const { return m_size; }
    /// A digest of the file's device, inode, size and modification time when it was
    /// opened: another value means another file or a change. 0 when it is missing.
    quint64 stamp() const { return m_stamp; }

    /// The bytes prepared for the parser: nothing for a missing file, the text "empty
    /// file" for a 0-byte file (it holds no colon, so it yields an empty record).
    /// Throws Failure when a read fails. When cancel is set on the way, the result is
    /// empty.
    CardBytes read(const std::atomic<bool> *cancel = nullptr);
    /// The file's bytes as they are.
    QByteArray readAll(const std::atomic<bool> *cancel = nullptr);
    /// The bytes [begin, end) of what read() gives, fewer where the file ends first,
    /// reading no more than they need: the bytes themselves, but for a UTF-16 file
    /// without fileBegin, which is decoded from its start up to them. Its encoding is the file's.
    /// Throws Failure when a read fails; empty when cancel is set on the way. fileBegin, where the
    /// search found begin in the file (CardBytes::fileOffset), spares a UTF-16 file's decoding up
    /// to it; -1 when not known.
    CardBytes readPrepared(qsizetype begin, qsizetype end, qint64 fileBegin = -1,
                           const std::atomic<bool> *cancel = nullptr);

    int openError() const { return m_openError; }

private:
    void openPath(FolderHandle *folders);
    void checkOpened(int error);
    [[noreturn]] void fail(const QString &reason);
    QString path() const { return m_file.fullPath(); }

    FileRef m_file;
    int m_fd = -1;
    qint64 m_size = 0;
    quint64 m_stamp = 0;
    bool m_missing = false;
    int m_openError = 0;
};

/// The bytes of a card file, prepared for the parser: see CardFile::read. Throws
/// Failure when the file exists but cannot be read.
CardBytes readCardFile(const QString &path);

/// Reads a whole file in one piece. Throws Failure, naming the path and the
/// operating system's reason, when the path is not a regular file, is too large
/// or cannot be opened or read.
QByteArray readWholeFile(const QString &path);
