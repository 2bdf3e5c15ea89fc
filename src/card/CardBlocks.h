#pragma once

#include "card/CardBytes.h"
#include "card/Charsets.h"
#include "card/FileDigest.h"

#include <QByteArray>

#include <atomic>
#include <memory>
#include <optional>

class CardFile;
class QStringDecoder;

/// A large file is read this many bytes at a time (see CardBlockReader).
qsizetype cardBlockBytes();
/// A file no larger than this may be read whole: 128 MiB, or the size a test set.
qsizetype cardWholeFileBytes();
/// Sets the block size, and the size up to which a file may be read whole (that of a
/// block unless given), for tests that cut small files into many blocks; 0 restores the
/// defaults.
void setCardBlockBytes(qsizetype bytes, qsizetype wholeFileBytes = 0);

/// One block of a file's prepared text (see CardFile::read).
struct CardBlock
{
    /// Its bytes, with the file's encoding. markBytes is where the block starts in the
    /// file itself, so that fileOffset places its bytes in the file.
    CardBytes text;
    qint64 begin = 0; ///< where it starts in the file's whole prepared text
    bool last = false; ///< it ends the file
};

/// Reads a file's prepared text (the mark dropped, UTF-16 and UTF-32 turned into UTF-8,
/// as CardFile::read gives it) a block at a time, never holding the file whole. A block
/// ends right after an END:VCARD line that stands on its own, so that its lines read as
/// they do in the whole text; a block is cut near the block size, and one in which no
/// such line comes grows until one does (a card longer than a block is read whole). A
/// block grows to at most kMaxHeldFileBytes: a file that holds no END line for longer
/// is refused as too large there, as a whole file of that size is.
class CardBlockReader
{
public:
    /// With sha256, the SHA-256 digest of the file's bytes is put there once they have
    /// all been read.
    CardBlockReader(const CardFile &file, qsizetype blockBytes,
                    const std::atomic<bool> *cancel = nullptr, FileDigest *sha256 = nullptr);
    ~CardBlockReader();
    CardBlockReader(const CardBlockReader &) = delete;
    CardBlockReader &operator=(const CardBlockReader &) = delete;

    /// The next block; false after the last one, or when cancel is set. Throws Failure,
    /// naming the file, when a read fails or a block would grow too large.
    bool next(CardBlock &block);
    /// The block given last is given again by next, with at least the next cut after it
    /// (as it is, when it ends the file): for a block whose lines did not end outside
    /// every card, or were parsed in parts that did not.
    void extend(CardBlock &&block);

    /// The file's encoding and mark, known once the first block has been read.
    CardEncoding encoding() const { return m_encoding; }
    qsizetype markBytes() const { return m_mark; }
    /// The bytes of the file read so far.
    qint64 bytesRead() const { return m_rawAt; }
    /// A block grew over kMaxHeldFileBytes: the failure thrown was for that.
    bool refusedTooLarge() const { return m_tooLarge; }
    /// With stop, next gives no block that would have to grow past the block size (one
    /// in which no END line comes), but false, with wouldGrow set.
    void stopWhereBlocksGrow(bool stop) { m_stopGrowing = stop; }
    bool wouldGrow() const { return m_wouldGrow; }

private:
    bool cancelled() const;
    void readPiece();
    void append(QByteArrayView raw);
    qsizetype lastCut() const;

    const CardFile &m_file;
    const qsizetype m_blockBytes;
    const std::atomic<bool> *m_cancel;
    FileDigest *m_sha256;
    std::unique_ptr<FileDigester> m_digest;
    CardEncoding m_encoding = CardEncoding::Legacy;
    qsizetype m_mark = 0;
    bool m_started = false;
    std::optional<Utf16Pieces> m_utf16;
    std::unique_ptr<QStringDecoder> m_utf32;
    QByteArray m_raw; // a piece of a UTF-16 or UTF-32 file, with the bytes of a code unit
                      // that the piece before split
    QByteArray m_pending; // prepared bytes not yet handed out
    qint64 m_rawAt = 0; // the file's bytes read
    qint64 m_begin = 0; // where m_pending starts in the prepared text
    qint64 m_fileAt = 0; // and in the file
    qsizetype m_target = 0;
    qsizetype m_minCut = 0;
    bool m_eof = false;
    bool m_done = false;
    bool m_tooLarge = false;
    bool m_stopGrowing = false;
    bool m_wouldGrow = false;
};

/// The decision on a file's text without a charset (Charsets::legacyCharset over its
/// whole text), made over its blocks read once more. Empty when cancel is set on the way.
cardreader::LegacyCharset scanLegacyCharset(const CardFile &file,
                                            const std::atomic<bool> *cancel = nullptr);
