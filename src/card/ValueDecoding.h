#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The steps that turn a property's raw value into its text.
namespace cardreader {

class Charsets;
struct Params;

/// "=XX" becomes the byte XX; any other "=" stays as written.
QByteArray decodeQuotedPrintable(QByteArrayView in);

/// The bytes of a value that its encoding changes: quoted-printable undone, or base64
/// decoded (blanks and line breaks in it ignored). False, and out untouched, when the raw
/// bytes are the value's own: no encoding, or base64 that is not valid (then the value
/// is read as written). Quoted-printable wins when a line names both.
bool encodedValueBytes(QByteArrayView raw, const Params &params, QByteArray &out);

/// True when the value is binary data, never read as text: a value of a binary property
/// (see isBinaryProperty) in base64 or as a data: address, or a base64 value that names no
/// CHARSET and decodes to bytes that hold a NUL (a picture under another name, as
/// Outlook's X-MS-CARDPICTURE).
bool isBinaryValue(QByteArrayView baseName, const Params &params, QByteArrayView raw);

// The text steps below change a value where it lies, never into a second copy: one
// value may be a file of a gigabyte.

/// A decoded line break (CR LF, CR or LF) becomes one space.
void foldLineBreaks(QString &text);

/// foldLineBreaks for the UTF-8 bytes of a text.
void foldLineBreakBytes(QByteArray &bytes);

/// The text without its leading and trailing spaces.
QString trimSpaces(QString s);
/// The text without its leading and trailing spaces, as trimSpaces, without a copy.
QStringView trimmedSpaces(QStringView s);

/// The text without CR characters.
QString clean(QString s);

/// Undoes the text escapes: \, \; \: \\ give the character, \n and \N one space;
/// any other backslash stays as written.
QString unescape(QString s);

/// clean(trimSpaces(unescape(s))), in one look at a text without escapes or CRs (most).
QString cleanValue(QString s);
/// cleanValue of a part of a text, copied once.
QString cleanValue(QStringView s);
/// clean(unescape(s)), in one look at a text without escapes or CRs.
QString cleanUntrimmed(QString s);

/// The components of a structured value, split at every ";" that is not escaped
/// by a backslash; the components keep their escapes. Only the first kMaxParts are
/// kept; count says how many there were.
struct Components
{
    static constexpr int kMaxParts = 8;
    QStringView parts[kMaxParts];
    int count = 0;

    QString part(int i) const { return parts[i].toString(); }
};

Components splitStructured(QStringView s);

/// The value's text: quoted-printable or base64 undone, read in its charset, and a line
/// break that decoding made (quoted-printable, base64, or a charset such as UTF-7) made a
/// blank, so that no value spans lines in what is written out. The raw bytes of a line
/// hold none.
/// invalidBase64, when given, is set when the value names base64 that does not decode.
QString decodeValue(Charsets &charsets, QByteArrayView raw, const Params &params,
                    bool *invalidBase64 = nullptr);

/// True when a quoted-printable value holds an "=" that two hex digits do not follow:
/// it is kept as written.
bool hasInvalidQuotedPrintable(QByteArrayView value);

} // namespace cardreader
