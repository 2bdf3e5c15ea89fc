#include "card/CardBytes.h"

#include "card/Utf8Text.h"
#include "card/Windows1252.h"

#include <QHashFunctions>

#include <cstring>

namespace {

CardEncoding sniffUtf16(QByteArrayView raw)
{
    const qsizetype pairs = qMin(raw.size(), kEncodingSniffBytes) / 2;
    if (pairs < 2 || !std::memchr(raw.data(), 0, std::size_t(pairs * 2)))
        return CardEncoding::Legacy;
    qsizetype zeroFirst = 0;
    qsizetype zeroSecond = 0;
    for (qsizetype i = 0; i < pairs; ++i) {
        zeroFirst += raw[2 * i] == 0;
        zeroSecond += raw[2 * i + 1] == 0;
    }
    if (zeroFirst * 10 >= pairs * 4 && zeroSecond * 10 <= zeroFirst)
        return CardEncoding::Utf16BE;
    if (zeroSecond * 10 >= pairs * 4 && zeroFirst * 10 <= zeroSecond)
        return CardEncoding::Utf16LE;
    // Text that is mostly not Latin (CJK) has few zero bytes; its BEGIN:VCARD and
    // END:VCARD lines still write VCARD as UTF-16 code units, in one byte order.
    const QByteArrayView sample = raw.first(pairs * 2);
    const auto holdsVcard = [&](bool littleEndian) {
        static constexpr char kName[] = "VCARD";
        for (qsizetype at = 0; at + 10 <= sample.size(); at += 2) {
            bool found = true;
            for (int k = 0; k < 5 && found; ++k) {
                const char letter = sample[at + 2 * k + (littleEndian ? 0 : 1)];
                const char zero = sample[at + 2 * k + (littleEndian ? 1 : 0)];
                found = zero == 0 && (letter == kName[k] || letter == char(kName[k] + 32));
            }
            if (found)
                return true;
        }
        return false;
    };
    if (holdsVcard(true))
        return CardEncoding::Utf16LE;
    if (holdsVcard(false))
        return CardEncoding::Utf16BE;
    return CardEncoding::Legacy;
}

bool startsWith(QByteArrayView raw, const char *mark, qsizetype length)
{
    return raw.size() >= length && std::memcmp(raw.data(), mark, std::size_t(length)) == 0;
}

} // namespace

Utf16Pieces::Utf16Pieces(bool littleEndian)
    : m_decoder(littleEndian ? QStringConverter::Utf16LE : QStringConverter::Utf16BE)
{}

QByteArray Utf16Pieces::operator()(QByteArrayView raw)
{
    QString text = m_decoder(raw);
    if (!m_held.isNull()) {
        text.prepend(m_held);
        m_held = {};
    }
    if (!raw.isEmpty() && !text.isEmpty() && text.back().isHighSurrogate()) {
        m_held = text.back();
        text.chop(1);
    }
    return text.toUtf8();
}

CardEncoding detectCardEncoding(QByteArrayView raw)
{
    // UTF-32's little-endian mark begins with UTF-16's.
    if (startsWith(raw, "\xFF\xFE\0\0", 4))
        return CardEncoding::Utf32LE;
    if (startsWith(raw, "\0\0\xFE\xFF", 4))
        return CardEncoding::Utf32BE;
    if (startsWith(raw, "\xFF\xFE", 2))
        return CardEncoding::Utf16LE;
    if (startsWith(raw, "\xFE\xFF", 2))
        return CardEncoding::Utf16BE;
    if (startsWith(raw, "\xEF\xBB\xBF", 3))
        return CardEncoding::Utf8Bom;
    return sniffUtf16(raw);
}

qsizetype cardMarkBytes(QByteArrayView raw, CardEncoding encoding)
{
    switch (encoding) {
    case CardEncoding::Legacy:
        return 0;
    case CardEncoding::Utf8Bom:
        return 3;
    case CardEncoding::Utf16LE:
        return startsWith(raw, "\xFF\xFE", 2) ? 2 : 0;
    case CardEncoding::Utf16BE:
        return startsWith(raw, "\xFE\xFF", 2) ? 2 : 0;
    case CardEncoding::Utf32LE:
    case CardEncoding::Utf32BE:
        return 4;
    }
    return 0;
}

CardBytes prepareCardBytes(QByteArray raw, const std::atomic<bool> *cancel)
{
    CardBytes result;
    result.encoding = detectCardEncoding(raw);
    switch (result.encoding) {
    case CardEncoding::Legacy:
        result.bytes = std::move(raw);
        break;
    case CardEncoding::Utf8Bom:
        result.bytes = std::move(raw);
        result.bytes.remove(0, 3);
        result.markBytes = 3;
        break;
    case CardEncoding::Utf16LE:
    case CardEncoding::Utf16BE: {
        // Piece by piece, so that a large file can be cancelled on the way; the decoder
        // keeps a surrogate pair that a piece's end splits.
        Utf16Pieces decoder(result.encoding == CardEncoding::Utf16LE);
        // An odd last byte does not form a character and is dropped.
        const qsizetype start = cardMarkBytes(raw, result.encoding);
        const qsizetype end = start + ((raw.size() - start) & ~qsizetype(1));
        result.markBytes = start;
        result.bytes.reserve(end - start);
        for (qsizetype at = start; at < end; at += kCardPieceBytes) {
            if (cancel && cancel->load(std::memory_order_relaxed))
                return {};
            result.bytes.append(
                decoder(QByteArrayView(raw).sliced(at, qMin(kCardPieceBytes, end - at))));
        }
        result.bytes.append(decoder.finish());
        break;
    }
    case CardEncoding::Utf32LE:
    case CardEncoding::Utf32BE: {
        QStringDecoder decoder(result.encoding == CardEncoding::Utf32LE
                                   ? QStringConverter::Utf32LE
                                   : QStringConverter::Utf32BE);
        // Whole code points only: the bytes after the last multiple of four are dropped.
        constexpr qsizetype kMark = 4;
        const qsizetype end = kMark + ((raw.size() - kMark) & ~qsizetype(3));
        result.markBytes = kMark;
        result.bytes.reserve((end - kMark) / 4);
        for (qsizetype at = kMark; at < end; at += kCardPieceBytes) {
            if (cancel && cancel->load(std::memory_order_relaxed))
                return {};
            const QString piece
                = decoder(QByteArrayView(raw).sliced(at, qMin(kCardPieceBytes, end - at)));
            result.bytes.append(piece.toUtf8());
        }
        break;
    }
    }
    return result;
}

QString decodeWholeText(const QByteArray &raw)
{
    const CardBytes prepared = prepareCardBytes(raw);
    if (prepared.isUnicode() || isValidUtf8(prepared.bytes))
        return QString::fromUtf8(prepared.bytes);
    return decodeWindows1252(prepared.bytes);
}

quint64 cardDigest(QByteArrayView card)
{
    return cardDigest(card.first(qMin(card.size(), kCardDigestBytes)), card.size());
}

quint64 cardDigest(QByteArrayView head, qsizetype length)
{
    const auto digest
        = quint64(qHashBits(head.data(), std::size_t(head.size()), std::size_t(length)));
    return digest == 0 ? 1 : digest;
}
