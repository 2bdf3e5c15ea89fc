#include "card/CharsetDetection.h"

#include "card/AsciiText.h"
#include "card/Charsets.h"
#include "card/LogicalLines.h"
#include "card/PropertyLine.h"
#include "card/ReadFactsScan.h"
#include "card/Utf8Text.h"
#include "card/ValueDecoding.h"

#include <QHash>
#include <QStringDecoder>

#include <uchardet/uchardet.h>
#include <unicode/ucsdet.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cardreader {

namespace {

// Charsets of other scripts than Latin: both detectors tell them from Western text
// even in one short card, and uchardet names them right more often than ICU.
const char *const kOtherScripts[] = {
    "SHIFT_JIS",    "EUC-JP",     "GB18030",      "BIG5",         "EUC-KR",
    "EUC-TW",       "UHC",        "WINDOWS-1251", "KOI8-R",       "ISO-8859-5",
    "IBM855",       "IBM866",     "MAC-CYRILLIC", "WINDOWS-1253", "ISO-8859-7",
    "WINDOWS-1255", "ISO-8859-8", "ISO-8859-8-I", "WINDOWS-1256", "ISO-8859-6",
};

// The Latin charsets that ICU takes a short Western card for now and then.
const char *const kLatinNeighbours[] = {"ISO-8859-2", "WINDOWS-1250", "ISO-8859-9", "WINDOWS-1254"};

// uchardet's answers for Latin text.
const char *const kLatin[] = {
    "ISO-8859-1",   "WINDOWS-1252", "ISO-8859-2",   "WINDOWS-1250",      "ISO-8859-3",
    "ISO-8859-4",   "ISO-8859-9",   "WINDOWS-1254", "ISO-8859-10",       "ISO-8859-13",
    "WINDOWS-1257", "ISO-8859-15",  "ISO-8859-16",  "MAC-CENTRALEUROPE", "IBM852",
    "WINDOWS-1258", "VISCII",
};

template<std::size_t N> bool isOneOf(QByteArrayView name, const char *const (&names)[N])
{
    for (const char *known : names) {
        if (name.compare(QByteArrayView(known), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool isDecodable(const QByteArray &name)
{
    return !name.isEmpty()
        && QStringDecoder(name.constData(), QStringConverter::Flag::Stateless).isValid();
}

QByteArray askUchardet(QByteArrayView bytes)
{
    uchardet_t detector = uchardet_new();
    QByteArray name;
    if (uchardet_handle_data(detector, bytes.data(), std::size_t(bytes.size())) == 0) {
        uchardet_data_end(detector);
        name = uchardet_get_charset(detector);
    }
    uchardet_delete(detector);
    return name;
}

QByteArray askIcu(QByteArrayView bytes)
{
    UErrorCode status = U_ZERO_ERROR;
    UCharsetDetector *detector = ucsdet_open(&status);
    ucsdet_setText(detector, bytes.data(), int32_t(bytes.size()), &status);
    const UCharsetMatch *match = ucsdet_detect(detector, &status);
    QByteArray name;
    if (U_SUCCESS(status) && match)
        name = ucsdet_getName(match, &status);
    ucsdet_close(detector);
    return U_SUCCESS(status) ? name : QByteArray();
}

} // namespace

bool hasNonUtf8Text(QByteArrayView text)
{
    // One pass, 32 bytes at a time: bytes outside ASCII are checked as UTF-8, and runs of
    // "=XX" escapes from one that stands for a byte outside ASCII as the bytes they stand
    // for. Most windows hold neither and are passed at once.
    Utf8Watch watch(text);
    const char *const data = text.data();
    const qsizetype n = text.size();
    qsizetype at = 0;
#if defined(__SSE2__)
    const __m128i equalSign = _mm_set1_epi8('=');
    for (; n - at >= 32; at += 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at + 16));
        const quint32 high = quint32(_mm_movemask_epi8(a)) | quint32(_mm_movemask_epi8(b)) << 16;
        quint32 equals = quint32(_mm_movemask_epi8(_mm_cmpeq_epi8(a, equalSign)))
            | quint32(_mm_movemask_epi8(_mm_cmpeq_epi8(b, equalSign))) << 16;
        if ((high | equals) == 0)
            continue;
        if (high != 0)
            watch.high(at + __builtin_ctz(high), at + 32 - __builtin_clz(high));
        for (; equals != 0; equals &= equals - 1)
            watch.equals(at + __builtin_ctz(equals));
        if (watch.bad())
            return true;
    }
#endif
    for (; at < n; ++at) {
        if (static_cast<unsigned char>(data[at]) >= 0x80)
            watch.high(at, at + 1);
        else if (data[at] == '=')
            watch.equals(at);
    }
    return watch.bad();
}

QByteArray unlabelledBytes(QByteArrayView file)
{
    QByteArray fed;
    appendUnlabelledBytes(file, fed);
    fed.truncate(kDetectionBytes);
    return fed;
}

void appendUnlabelledBytes(QByteArrayView file, QByteArray &fed)
{
    if (fed.size() >= kDetectionBytes)
        return;
    QHash<QByteArray, bool> decodable; // a line whose CHARSET Qt reads is read in it
    const auto take = [&](QByteArrayView line, qsizetype, qsizetype, bool) -> qsizetype {
        const qsizetype colon = valueColon(line);
        if (colon < 0)
            return -1;
        QByteArrayView value = line.sliced(colon + 1);
        if (indexOfByte(value, '=') < 0 && isValidUtf8(value))
            return -1;
        const Params params = parseParams(line.first(colon));
        const QByteArray &charset = params.charset;
        if (Charsets::isUtf8Name(charset))
            return -1;
        if (!charset.isEmpty() && !isUtf8CompatibleCharset(charset)) {
            auto known = decodable.constFind(charset);
            if (known == decodable.cend())
                known = decodable.insert(charset, isDecodable(charset.toLower()));
            if (*known)
                return -1;
        }
        QByteArray decoded;
        if (params.quotedPrintable) {
            decoded = decodeQuotedPrintable(value);
            value = decoded;
        }
        if (isValidUtf8(value))
            return -1;
        fed.append(value.first(qMin(value.size(), kDetectionBytes - fed.size()))).append('\n');
        return fed.size() >= kDetectionBytes ? file.size() : -1;
    };
    forEachLogicalLine(file, take, nullptr);
}

QByteArray detectCharset(QByteArrayView bytes)
{
    return detectCharset(bytes, nullptr);
}

QByteArray detectCharset(QByteArrayView bytes, QByteArray *answer)
{
    if (bytes.isEmpty())
        return {};
    const QByteArray other = askUchardet(bytes);
    if (answer)
        *answer = "uchardet: " + (other.isEmpty() ? QByteArray("none") : other);
    if (isOneOf(other, kOtherScripts) && isDecodable(other))
        return other;
    // Latin text that reads as Western text is taken for it, whichever Latin charset
    // uchardet guessed: a short card rarely tells them apart.
    const bool westernFails = windows1252ReadingFails(bytes);
    if (isOneOf(other, kLatin) && !westernFails)
        return {};
    // Central European text, or a script uchardet missed: ICU tells Central European
    // text from Western better than uchardet, and is believed on it only when the
    // Windows-1252 reading is plainly wrong, as it takes a Western card for it now and then.
    const QByteArray icu = askIcu(bytes);
    if (answer)
        *answer += "; ICU: " + (icu.isEmpty() ? QByteArray("none") : icu);
    if (!isDecodable(icu))
        return {};
    if (isOneOf(icu, kOtherScripts))
        return icu;
    if (isOneOf(icu, kLatinNeighbours) && westernFails)
        return icu;
    return {};
}

bool windows1252ReadingFails(QByteArrayView bytes)
{
    const auto isLetter = [](unsigned char b) {
        return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')
            || (b >= 0xC0 && b != 0xD7 && b != 0xF7);
    };
    // £ ¥ ¦ © ¬ ¯ ± ³ ¶ ¹ ¼ ¾. Western text puts other signs beside letters (¿ ¡ ª º
    // ° ² ´ « » ®), and these rarely.
    static const char kSigns[] = "\xA3\xA5\xA6\xA9\xAC\xAF\xB1\xB3\xB6\xB9\xBC\xBE";
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D)
            return true;
        if (b >= 0xA3 && std::strchr(kSigns, char(b))
            && ((i > 0 && isLetter(static_cast<unsigned char>(bytes[i - 1])))
                || (i + 1 < n && isLetter(static_cast<unsigned char>(bytes[i + 1])))))
            return true;
    }
    return false;
}

} // namespace cardreader
