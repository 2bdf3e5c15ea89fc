#pragma once

#include <QByteArrayView>

#include <cstring>

// Byte helpers for the ASCII parts of card lines (names, parameters, markers).
namespace cardreader {

inline char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 32) : c;
}

/// b is upper case.
inline bool equalsNoCaseN(const char *a, const char *b, qsizetype length)
{
    for (qsizetype i = 0; i < length; ++i) {
        if (upperAscii(a[i]) != b[i])
            return false;
    }
    return true;
}

/// b is an upper-case literal.
inline bool equalsNoCase(QByteArrayView a, const char *b)
{
    const auto length = qsizetype(std::strlen(b));
    return a.size() == length && equalsNoCaseN(a.data(), b, length);
}

/// needle is an upper-case literal.
inline bool containsNoCase(QByteArrayView haystack, const char *needle)
{
    const auto length = qsizetype(std::strlen(needle));
    const char first = needle[0];
    for (qsizetype i = 0; i + length <= haystack.size(); ++i) {
        if (upperAscii(haystack[i]) == first && equalsNoCaseN(haystack.data() + i, needle, length))
            return true;
    }
    return false;
}

inline QByteArrayView trimmedSpaces(QByteArrayView v)
{
    while (!v.isEmpty() && v.front() == ' ')
        v = v.sliced(1);
    while (!v.isEmpty() && v.back() == ' ')
        v.chop(1);
    return v;
}

inline QByteArrayView trimmedBlanks(QByteArrayView v)
{
    while (!v.isEmpty() && (v.front() == ' ' || v.front() == '\t'))
        v = v.sliced(1);
    while (!v.isEmpty() && (v.back() == ' ' || v.back() == '\t'))
        v.chop(1);
    return v;
}

inline qsizetype indexOfByte(QByteArrayView v, char c)
{
    const void *hit = v.isEmpty() ? nullptr : std::memchr(v.data(), c, std::size_t(v.size()));
    return hit ? static_cast<const char *>(hit) - v.data() : -1;
}

inline qsizetype lastIndexOfByte(QByteArrayView v, char c)
{
    for (qsizetype i = v.size() - 1; i >= 0; --i) {
        if (v[i] == c)
            return i;
    }
    return -1;
}

} // namespace cardreader
