#pragma once

#include <QByteArrayView>

// Helpers for text held as bytes: UTF-8 checks and lengths, the charset names whose
// text is UTF-8, hexadecimal digits.

/// True for the charset names whose text is read by the UTF-8 rule: UTF-8 and ASCII.
bool isUtf8CompatibleCharset(QByteArrayView name);

/// The value of a hexadecimal digit, or -1.
inline int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    const char lower = char(c | 0x20);
    if (lower >= 'a' && lower <= 'f')
        return lower - 'a' + 10;
    return -1;
}

/// The UTF-16 code units of well-formed UTF-8.
qint64 utf16Length(QByteArrayView utf8);

/// True when the bytes are well-formed UTF-8.
bool isValidUtf8(QByteArrayView bytes);
