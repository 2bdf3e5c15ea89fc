#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

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

/// Large files are read and converted in pieces of this size, so that a read can be
/// cancelled between two of them.
inline constexpr qsizetype kCardPieceBytes = qsizetype(8) << 20;

/// UTF-16 without a mark is recognised in this many first bytes: when at least 40 % of
/// the code units have a zero high byte and almost none a zero low byte (card files are
/// mostly ASCII property names), or else when they write VCARD as UTF-16.
inline constexpr qsizetype kEncodingSniffBytes = 4096;

/// The encoding a file's first bytes announce, or that its zero bytes betray.
CardEncoding detectCardEncoding(QByteArrayView raw);

/// The bytes of the mark that a file's first bytes begin with in their encoding; 0 when
/// they have none.
qsizetype cardMarkBytes(QByteArrayView raw, CardEncoding encoding);

/// UTF-16 read in pieces, as UTF-8. Qt's decoder passes on a surrogate pair's first
/// half that ends a piece, and UTF-8 has no form for half a pair: it is held for the
/// next piece.
class Utf16Pieces
{
public:
    explicit Utf16Pieces(bool littleEndian);

    QByteArray operator()(QByteArrayView raw);
    /// What is left after the last piece.
    QByteArray finish() { return (*this)(QByteArrayView()); }

private:
    QStringDecoder m_decoder;
    QChar m_held{};
};

/// Drops the mark and converts UTF-16 and UTF-32 to UTF-8. When cancel is set on the way the
/// result is empty.
CardBytes prepareCardBytes(QByteArray raw, const std::atomic<bool> *cancel = nullptr);

/// The whole text of a plain text file: a mark or UTF-16 zero bytes decide,
/// else UTF-8 when the bytes are valid UTF-8, else Windows-1252.
QString decodeWholeText(const QByteArray &raw);

/// A card's digest covers its length and at most this many of its first bytes: all
/// that a reader shows of a card.
inline constexpr qsizetype kCardDigestBytes = qsizetype(1) << 20;

/// A digest of a card's prepared bytes, never 0, so that 0 can mean "not known".
quint64 cardDigest(QByteArrayView card);
/// The same digest from the card's length and its first bytes, as many as it covers.
quint64 cardDigest(QByteArrayView head, qsizetype length);
