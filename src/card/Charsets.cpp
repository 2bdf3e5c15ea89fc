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
        if (!hasNonUtf8Text(m_file)) {
            m_legacy.clear();
            m_way = Way::Utf8;
        } else if (const std::optional<QByteArray> named = findLegacyCharset()) {
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

/// True when the charset reads ASCII text as ASCII: only such a charset can read the
/// lines of a file that name none (not UTF-16, UTF-7 or EBCDIC).
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

/// The first CHARSET the file names that is neither UTF-8 nor ASCII, that can be
/// decoded and that reads ASCII as ASCII; empty for Windows-1252; none when the file
/// names no such charset.
std::optional<QByteArray> Charsets::findLegacyCharset()
{
    static const ByteSearch key("charset=", true);
    const qsizetype keyLength = 8;
    for (qsizetype i = 0;; i += keyLength) {
        const qsizetype hit = key.indexIn(m_file.sliced(i));
        if (hit < 0)
            break;
        i += hit;
        qsizetype end = i + keyLength;
        if (end < m_file.size() && m_file[end] == '"')
            ++end;
        const qsizetype start = end;
        while (end < m_file.size() && !std::strchr(";:,\" \t\r\n", m_file[end]))
            ++end;
        const QByteArrayView name = m_file.sliced(start, end - start);
        if (name.isEmpty() || isUtf8CompatibleCharset(name))
            continue;
        if (isWindows1252Name(name))
            return QByteArray(); // Windows-1252, named
        if (isAsciiCompatible(name.toByteArray()))
            return name.toByteArray();
    }
    return std::nullopt;
}

} // namespace cardreader
