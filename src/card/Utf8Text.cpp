#include "card/Utf8Text.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

bool isUtf8CompatibleCharset(QByteArrayView name)
{
    const QByteArrayView trimmed = name.trimmed();
    for (const char *known : {"utf-8", "utf8", "us-ascii", "ascii"}) {
        if (trimmed.compare(known, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

qint64 utf16Length(QByteArrayView utf8)
{
    // One unit a character, two for one of four bytes; continuation bytes add none.
    qint64 units = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        units += (byte & 0xC0) == 0x80 ? 0 : byte >= 0xF0 ? 2 : 1;
    }
    return units;
}

bool isValidUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p < end) {
        // ASCII runs 32 bytes at a time, then eight.
#if defined(__SSE2__)
        while (end - p >= 32) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16));
            if (_mm_movemask_epi8(_mm_or_si128(a, b)) != 0)
                break;
            p += 32;
        }
#endif
        while (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL)
                break;
            p += 8;
        }
        if (p == end)
            break;
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra = 0;
        unsigned min = 0;
        unsigned cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1, cp = c & 0x1F, min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2, cp = c & 0x0F, min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3, cp = c & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += extra + 1;
    }
    return true;
}
