#pragma once

#include <QByteArray>
#include <QByteArrayView>

/// Finds an ASCII text in bytes, ignoring the case of ASCII letters when asked to.
/// Sixteen start positions are tested at once by their first and last byte, so that
/// the bytes in between are compared only where both agree.
class ByteSearch final
{
public:
    /// needle must be ASCII; ignoring case, its letters must be lower case.
    ByteSearch(QByteArrayView needle, bool ignoreCase);

    /// The first position of the needle in text, or -1. An empty needle is at 0.
    qsizetype indexIn(QByteArrayView text) const;

private:
    bool matchesAt(const unsigned char *at) const;
    qsizetype indexInWide(const unsigned char *t, qsizetype n, qsizetype &from) const;

    QByteArray m_needle;
    QByteArray m_caseBits; // 0x20 for each letter whose case is ignored, else 0
};

/// The first CR or LF at or after p, or end.
const char *nextLineEnd(const char *p, const char *end);

/// True when a byte of bytes is outside ASCII.
bool hasNonAscii(QByteArrayView bytes);

/// The position of the first byte outside ASCII, or -1.
qsizetype indexOfNonAscii(QByteArrayView bytes);
