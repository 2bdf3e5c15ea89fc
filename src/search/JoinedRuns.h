#pragma once

#include "card/AsciiText.h"
#include "card/ByteSearch.h"

#include <QByteArrayView>

#include <cstring>

// The pieces of the one-pass file test (see JoinedScan) that read a run of bytes as the
// filter reads joined and decoded lines, and that tell the names it looks at.
namespace joinedscan {

// A run longer than this around a fold or an "=" is left to the caller's judgement of
// its lines: runs are words and escapes, a few dozen bytes.
constexpr qsizetype kMaxRun = 240;

inline int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    const char lower = char(c | 0x20);
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

inline bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

/// The position after the line end at p (CR* LF, or a lone CR), as the lines are split.
qsizetype afterLineEndAt(const char *data, qsizetype n, qsizetype p);

/// The bytes with folds and soft line breaks joined, as cardreader::joinedLines joins
/// them; out holds at least as many bytes. Returns the size written, and whether a line
/// was joined to another.
qsizetype joinInto(const char *in, qsizetype n, char *out, bool &joins);

/// Every "=XX" read as its byte, as the filter decodes joined lines. Returns the size
/// written, and whether an escape was read.
qsizetype decodeInto(const char *in, qsizetype n, char *out, bool &escapes);

/// True when the upper-case name of seven or eight letters stands at q, in any case.
/// Eight bytes are compared at once where there are that many: with the case bit set,
/// only a letter's two cases give the letter.
template<std::size_t N>
inline bool namedAt(const char *data, qsizetype n, qsizetype q, const char (&name)[N])
{
    static_assert(N == 8 || N == 9);
    if (n - q < 8)
        return cardreader::equalsNoCaseN(data + q, name, qsizetype(N - 1));
    constexpr quint64 kCaseBits = 0x2020202020202020ULL;
    char bytes[8];
    std::memcpy(bytes, data + q, 8);
    if constexpr (N == 8)
        bytes[7] = 0; // a name of seven letters: its terminating zero stands there
    quint64 word;
    quint64 wanted;
    std::memcpy(&word, bytes, 8);
    std::memcpy(&wanted, name, 8);
    return (word | kCaseBits) == (wanted | kCaseBits);
}

/// True when the byte ends a CHARSET parameter's value as the filter reads it.
inline bool endsCharsetName(char c)
{
    switch (c) {
    case ';': case ':': case ',': case '"': case ' ': case '\t': case '\r': case '\n': case '\0':
        return true;
    default:
        return false;
    }
}

/// True when values in the charset named read as UTF-8 or Windows-1252 do.
bool isPlainCharsetName(QByteArrayView name);

/// The names whose meaning depends on the rest of their line, and VCARD, in any case.
const ByteSearch &charsetSearch();
const ByteSearch &encodingSearch();
const ByteSearch &base64Search();
const ByteSearch &vcardSearch();

/// The largest place at or before pos, and not before floor, where a line starts that
/// no fold or soft line break joins to the line before; floor when there is none.
qsizetype regionStart(QByteArrayView bytes, qsizetype pos, qsizetype floor);

/// True when the name at q stands in the parameters of a line that starts a logical line
/// and names binary data (PHOTO, LOGO, SOUND, KEY), or in a value: the filter reads no
/// base64 text there. False when that is not plain from the line's first bytes.
bool namesBinaryData(QByteArrayView bytes, qsizetype q);

} // namespace joinedscan
