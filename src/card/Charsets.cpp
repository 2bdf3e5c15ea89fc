#include "card/Charsets.h"

#include "card/AsciiText.h"
#include "card/ByteSearch.h"
#include "card/CharsetDetection.h"
#include "card/Utf8Text.h"
#include "card/Windows1252.h"

#include <QStringDecoder>

#include <cstring>

namespace cardreader {

Charsets::Charsets(QByteArrayView file, bool unicode) : m_file(file), m_unicode(unicode) {}

Charsets::Charsets(QByteArrayView file, bool unicode, const LegacyCharsetSource *wholeFile)
    : m_file(file), m_unicode(unicode), m_wholeFile(wholeFile)
{}

Charsets::~Charsets() = default;

QString Charsets::decode(QByteArrayView bytes, const QByteArray &charset, bool quotedPrintable,
                         bool &foreign)
{
    foreign = false;
    // Raw text of a file with a Unicode mark is UTF-8 by now; CHARSET only
    // tells how decoded quoted-printable bytes are to be read.
    if (m_unicode && !quotedPrintable)
        return QString::fromUtf8(bytes);
    if (!charset.isEmpty() && !isUtf8CompatibleCharset(charset)) {
        if (isWindows1252Name(charset))
            return decodeWindows1252(bytes);
        if (QStringDecoder *decoder = decoderFor(charset)) {
            decoder->resetState();
            foreign = true;
            return decoder->decode(bytes);
        }
    } else if (!charset.isEmpty() && isUtf8Name(charset)) {
        return QString::fromUtf8(bytes);
    }
    if (isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return decodeLegacy(bytes, foreign);
}

const QByteArray &Charsets::legacyCharset()
{
    if (!m_legacyKnown) {
        m_legacyKnown = true;
        // A file that is UTF-8 throughout, as most are, is looked at no further: no text of
        // it is ever read in the legacy charset.
        using Way = ReadFacts::CharsetWay;
        if (m_wholeFile && *m_wholeFile) {
            LegacyCharset decided = (*m_wholeFile)();
            m_legacy = std::move(decided.charset);
            m_way = decided.way;
            m_detector = std::move(decided.detector);
        } else if (!hasNonUtf8Text(m_file)) {
            m_legacy.clear();
            m_way = Way::Utf8;
        } else if (const std::optional<QByteArray> named = namedLegacyCharset(m_file)) {
            m_legacy = *named;
            m_way = Way::Declared;
        } else {
            // No CHARSET tells: the text itself does, when the detectors are sure of it.
            // With no such text ("=XX" that only looked like it) nothing is read in it.
            const QByteArray unlabelled = unlabelledBytes(m_file);
            const QByteArray detected = detectCharset(unlabelled, &m_detector);
            if (!detected.isEmpty() && isAsciiCompatible(detected))
                m_legacy = detected;
            m_way = unlabelled.isEmpty() ? Way::Utf8
                : m_legacy.isEmpty()     ? Way::Default
                                         : Way::Detected;
        }
    }
    return m_legacy;
}

bool Charsets::isUtf8Name(QByteArrayView name)
{
    return equalsNoCase(name, "UTF-8") || equalsNoCase(name, "UTF8");
}

bool Charsets::canRead(const QByteArray &charset)
{
    return isUtf8CompatibleCharset(charset) || isWindows1252Name(charset) || decoderFor(charset);
}

QStringDecoder *Charsets::decoderFor(const QByteArray &charset)
{
    const QByteArray key = charset.toLower();
    auto it = m_decoders.find(key);
    if (it == m_decoders.end()) {
        // A file may name a new charset on every line: the cache is kept small, and
        // a name it dropped is merely looked up again.
        if (m_decoders.size() >= kMaxDecoders)
            m_decoders.clear();
        auto decoder
            = std::make_shared<QStringDecoder>(key.constData(), QStringConverter::Flag::Stateless);
        if (!decoder->isValid())
            decoder.reset();
        it = m_decoders.insert(key, decoder);
    }
    return it->get();
}

QString Charsets::decodeLegacy(QByteArrayView bytes, bool &foreign)
{
    legacyCharset();
    if (!m_legacy.isEmpty()) {
        if (QStringDecoder *decoder = decoderFor(m_legacy)) {
            decoder->resetState();
            foreign = true;
            return decoder->decode(bytes);
        }
    }
    return decodeWindows1252(bytes);
}

// Only a charset that reads ASCII as ASCII can read the lines of a file that name none
// (not UTF-16, UTF-7 or EBCDIC).
bool Charsets::isAsciiCompatible(const QByteArray &charset)
{
    const QByteArray key = charset.toLower();
    if (const auto known = m_asciiCompatible.constFind(key); known != m_asciiCompatible.cend())
        return *known;
    bool compatible = false;
    if (QStringDecoder *decoder = decoderFor(charset)) {
        QByteArray ascii("\t\n\r");
        for (char c = ' '; c < 0x7F; ++c)
            ascii.append(c);
        decoder->resetState();
        compatible = QString(decoder->decode(ascii)) == QString::fromLatin1(ascii);
    }
    if (m_asciiCompatible.size() >= kMaxDecoders)
        m_asciiCompatible.clear();
    m_asciiCompatible.insert(key, compatible);
    return compatible;
}

std::optional<QByteArray> Charsets::namedLegacyCharset(QByteArrayView text)
{
    static const ByteSearch key("charset=", true);
    const qsizetype keyLength = 8;
    for (qsizetype i = 0;; i += keyLength) {
        const qsizetype hit = key.indexIn(text.sliced(i));
        if (hit < 0)
            break;
        i += hit;
        qsizetype end = i + keyLength;
        if (end < text.size() && text[end] == '"')
            ++end;
        const qsizetype start = end;
        while (end < text.size() && !std::strchr(";:,\" \t\r\n", text[end]))
            ++end;
        const QByteArrayView name = text.sliced(start, end - start);
        if (name.isEmpty() || isUtf8CompatibleCharset(name))
            continue;
        if (isWindows1252Name(name))
            return QByteArray(); // Windows-1252, named
        if (isAsciiCompatible(name.toByteArray()))
            return name.toByteArray();
    }
    return std::nullopt;
}

void LegacyCharsetScan::add(QByteArrayView block)
{
    if (!m_nonUtf8)
        m_nonUtf8 = hasNonUtf8Text(block);
    if (!m_named) {
        m_named = m_charsets.namedLegacyCharset(block);
        if (!m_named)
            appendUnlabelledBytes(block, m_unlabelled);
    }
}

LegacyCharset LegacyCharsetScan::decide()
{
    // As Charsets::legacyCharset decides over a whole file.
    using Way = ReadFacts::CharsetWay;
    LegacyCharset decided;
    if (!m_nonUtf8) {
        decided.way = Way::Utf8;
    } else if (m_named) {
        decided.charset = *m_named;
        decided.way = Way::Declared;
    } else {
        m_unlabelled.truncate(kDetectionBytes);
        const QByteArray detected = detectCharset(m_unlabelled, &decided.detector);
        if (!detected.isEmpty() && m_charsets.isAsciiCompatible(detected))
            decided.charset = detected;
        decided.way = m_unlabelled.isEmpty() ? Way::Utf8
            : decided.charset.isEmpty()      ? Way::Default
                                             : Way::Detected;
    }
    return decided;
}

} // namespace cardreader
