#pragma once

#include "base/FileList.h"
#include "card/CardBytes.h"
#include "card/ReadFacts.h"

#include <QByteArray>
#include <QString>

#include <atomic>

/// Files larger than this are refused. A search reads a large file a block at a time
/// (see CardBlockReader), so the limit is not one of memory.
inline constexpr qint64 kMaxReadableFileSize = qint64(1) << 40;

/// At most this much of a file is held whole: a file read whole (readAll, read), or
/// one block of a file read in blocks, which grows to hold a card longer than a block.
/// A card (or a run of lines without an END:VCARD line) longer than this is refused
/// as too large, as a whole file of that size was before.
inline constexpr qint64 kMaxHeldFileBytes = qint64(1) << 30;

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
    /// With sha256, the SHA-256 digest of the file's bytes is put there as they are read.
    CardBytes read(const std::atomic<bool> *cancel = nullptr, FileDigest *sha256 = nullptr);
    /// The last read found another size than the file had when it was opened.
    bool changedWhileRead() const { return m_changed; }
    /// The last read whole found the file's first bytes not in memory: they were read
    /// from the disk (or the file system cannot tell).
    bool waitedForDisk() const { return m_waited; }
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

    /// Reads up to size bytes from offset into into; fewer at the end of the file.
    /// Throws Failure, naming the path, when the read fails.
    qsizetype readAt(char *into, qsizetype size, qint64 offset) const;
    /// Throws Failure, naming the path, with the reason.
    [[noreturn]] void failWith(const QString &reason) const;

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
    bool m_changed = false;
    bool m_waited = false;
    int m_openError = 0;
};

/// The stamp of a file whose status gave these (see CardFile::stamp).
quint64 fileStamp(quint64 device, quint64 inode, quint64 size, quint64 seconds,
                  quint64 nanoseconds);

/// What CardFile::read gives for a file whose bytes are data: data read whole.
CardBytes cardFileBytes(QByteArray data, const std::atomic<bool> *cancel = nullptr,
                        FileDigest *sha256 = nullptr);

/// Asks that a large buffer about to be filled be held in huge pages: filled 4 KiB page
/// by page, the faults of a fresh buffer cost more processor time than the read into it.
void adviseHugePages(char *data, qsizetype bytes);

/// Why the file at path cannot be read, as found now: missing, a folder, over the size
/// limit, or otherwise unreadable.
ReadFacts::NotRead notReadReason(const QString &path);

/// The bytes of a card file, prepared for the parser: see CardFile::read. Throws
/// Failure when the file exists but cannot be read.
CardBytes readCardFile(const QString &path);

/// Reads a whole file in one piece. Throws Failure, naming the path and the
/// operating system's reason, when the path is not a regular file, is too large
/// or cannot be opened or read.
QByteArray readWholeFile(const QString &path);
