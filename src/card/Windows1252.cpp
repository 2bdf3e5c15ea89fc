#include "card/Windows1252.h"

#include <array>

namespace {

// 0x80..0x9F; every other byte maps to the code point of its own value.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

QString decodeWindows1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = (b >= 0x80 && b <= 0x9F) ? kHighControls[b - 0x80] : char16_t(b);
    }
    return text;
}

bool isWindows1252Name(QByteArrayView charset)
{
    const QByteArrayView name = charset.trimmed();
    for (const char *known : {"windows-1252", "cp1252", "x-cp1252", "cp-1252", "windows1252"}) {
        if (name.compare(known, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
