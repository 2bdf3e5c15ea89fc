#pragma once

#include "card/ReadFacts.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <memory>
#include <optional>

class QStringDecoder;

namespace cardreader {

/// The decoders of one file, kept so that a charset's name is looked up once.
class Charsets
{
public:
    Charsets(QByteArrayView file, bool unicode);
    ~Charsets();

    /// The text of the bytes. foreign is set when a charset other than UTF-8 and
    /// Windows-1252 read them: only such a charset can make a line break of bytes that
    /// are none.
    QString decode(QByteArrayView bytes, const QByteArray &charset, bool quotedPrintable,
                   bool &foreign);

    /// The charset that text without one is read with when it is not UTF-8; empty
    /// for Windows-1252. The first ASCII-compatible CHARSET that the file names, else
    /// the one detected from that text (see detectCharset), else Windows-1252; empty
    /// also when the file holds no such text.
    const QByteArray &legacyCharset();

    static bool isUtf8Name(QByteArrayView name);

    /// True when a CHARSET's name is one that values can be read in.
    bool canRead(const QByteArray &charset);
    /// How legacyCharset decided, once it has (None before), and what the detectors
    /// said when they were asked.
    ReadFacts::CharsetWay legacyWay() const { return m_way; }
    const QByteArray &detectorAnswer() const { return m_detector; }

private:
    QStringDecoder *decoderFor(const QByteArray &charset);
    QString decodeLegacy(QByteArrayView bytes, bool &foreign);
    bool isAsciiCompatible(const QByteArray &charset);
    std::optional<QByteArray> findLegacyCharset();

    static constexpr qsizetype kMaxDecoders = 64;

    QByteArrayView m_file;
    bool m_unicode;
    bool m_legacyKnown = false;
    QByteArray m_legacy;
    ReadFacts::CharsetWay m_way = ReadFacts::CharsetWay::None;
    QByteArray m_detector;
    QHash<QByteArray, std::shared_ptr<QStringDecoder>> m_decoders;
    QHash<QByteArray, bool> m_asciiCompatible;
};

} // namespace cardreader
