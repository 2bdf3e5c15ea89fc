#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Finding the charset of a file's text that names none and is not UTF-8, from the text
// itself (docs/charsets.md has the measurement behind the rule).
namespace cardreader {

/// At most this many bytes of a file are handed to the detectors: enough for any
/// file's charset, and a bound on the time detection takes.
inline constexpr qsizetype kDetectionBytes = 64 * 1024;

/// True when some of the text is not UTF-8, or a run of "=XX" escapes in it stands for
/// bytes that are not, as a quoted-printable value in a legacy charset does. Only such
/// text is ever read in a legacy charset.
bool hasNonUtf8Text(QByteArrayView text);

/// The bytes the charset is detected from: the value of every logical line that is
/// read in the file's legacy charset (no CHARSET, or a UTF-8 or unknown one) and is
/// not valid UTF-8, quoted-printable undone, each followed by a line feed; the first
/// kDetectionBytes of them. Empty when the file has none.
QByteArray unlabelledBytes(QByteArrayView file);
/// The same for a file read a block at a time, each block starting a line outside every
/// card: appends a block's bytes to those of the blocks before it, until fed holds
/// kDetectionBytes (the caller cuts it there).
void appendUnlabelledBytes(QByteArrayView block, QByteArray &fed);

/// The charset the bytes are written in: a name QStringDecoder knows, of a charset that
/// reads ASCII as ASCII. Empty for Windows-1252, which is also the answer when the
/// detectors are unsure.
QByteArray detectCharset(QByteArrayView bytes);
/// The same, telling in answer what the detectors said ("uchardet: NAME", then "; ICU:
/// NAME" when ICU was asked too).
QByteArray detectCharset(QByteArrayView bytes, QByteArray *answer);

/// True when reading the bytes as Windows-1252 cannot be right: they hold a byte that
/// the code page leaves undefined, or put beside a letter one of the signs that the
/// letters of Central European charsets turn into (ą ł ś ź ż š ž read as ± ³ ¶ ¼ ¯ ¹ ¾).
bool windows1252ReadingFails(QByteArrayView bytes);

} // namespace cardreader
