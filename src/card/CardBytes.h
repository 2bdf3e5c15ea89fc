#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

/// How the bytes of a card file are to be read, decided by its first bytes.
enum class CardEncoding {
    Legacy, ///< no mark: each line decoded on its own (CHARSET, UTF-8, legacy charset)
    Utf8Bom, ///< EF BB BF
    Utf16LE, ///< FF FE, or zero bytes in the odd positions
    Utf16BE, ///< FE FF, or zero bytes in the even positions
};

/// The bytes of a card file ready for line splitting: the byte-order mark dropped
/// and UTF-16 turned into UTF-8, so that the parser works on 8-bit text only.
struct CardBytes
{
    QByteArray bytes;
    CardEncoding encoding = CardEncoding::Legacy;

    /// True when the whole file has one known Unicode encoding (bytes are UTF-8).
    bool isUnicode() const { return encoding != CardEncoding::Legacy; }
};

/// The encoding a file's first bytes announce, or that its zero bytes betray.
CardEncoding detectCardEncoding(QByteArrayView raw);

/// Drops the mark and converts UTF-16 to UTF-8.
CardBytes prepareCardBytes(QByteArray raw);

/// The whole text of a plain text file: a mark or UTF-16 zero bytes decide,
/// else UTF-8 when the bytes are valid UTF-8, else Windows-1252.
QString decodeWholeText(const QByteArray &raw);

/// True for the charset names whose text is read by the UTF-8 rule: UTF-8 and ASCII.
bool isUtf8CompatibleCharset(QByteArrayView name);

/// The value of a hexadecimal digit, or -1.
int hexDigitValue(char c);

/// True when the bytes are well-formed UTF-8.
bool isValidUtf8(QByteArrayView bytes);

/// Files larger than this are refused rather than read into memory.
inline constexpr qint64 kMaxReadableFileSize = qint64(1) << 30;

/// The bytes of a card file, prepared for the parser: nothing for a path that does
/// not exist, the text "empty file" for a 0-byte file (it holds no colon, so it
/// yields an empty record). Throws Failure when the file exists but cannot be read.
CardBytes readCardFile(const QString &path);

/// Reads a whole file in one piece. Throws Failure, naming the path and the
/// operating system's reason, when the path is not a regular file, is too large
/// or cannot be opened or read.
QByteArray readWholeFile(const QString &path);
