#pragma once

#include "card/ReadFacts.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QStringDecoder;

namespace cardreader {

/// How the text without a charset of a whole file is read when it is not UTF-8 (see
/// Charsets::legacyCharset), decided once for a file that is parsed a block at a time.
struct LegacyCharset
{
    QByteArray charset;
    ReadFacts::CharsetWay way = ReadFacts::CharsetWay::None;
    QByteArray detector;
};
using LegacyCharsetSource = std::function<LegacyCharset()>;

/// The decoders of one file, kept so that a charset's name is looked up once.
class Charsets
{
public:
    Charsets(QByteArrayView file, bool unicode);
    /// For text that is a block of a larger file: legacyCharset asks wholeFile, which
    /// decides over the whole file, instead of looking at the block. Null: the text is
    /// the whole file.
    Charsets(QByteArrayView file, bool unicode, const LegacyCharsetSource *wholeFile);
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
    /// The first CHARSET the text names that is neither UTF-8 nor ASCII, that can be
    /// decoded and that reads ASCII as ASCII; empty for Windows-1252; none when it names
    /// no such charset.
    std::optional<QByteArray> namedLegacyCharset(QByteArrayView text);
    /// True when the charset reads ASCII text as ASCII.
    bool isAsciiCompatible(const QByteArray &charset);
    /// How legacyCharset decided, once it has (None before), and what the detectors
    /// said when they were asked.
    ReadFacts::CharsetWay legacyWay() const { return m_way; }
    const QByteArray &detectorAnswer() const { return m_detector; }

private:
    QStringDecoder *decoderFor(const QByteArray &charset);
    QString decodeLegacy(QByteArrayView bytes, bool &foreign);

    static constexpr qsizetype kMaxDecoders = 64;

    QByteArrayView m_file;
    bool m_unicode;
    const LegacyCharsetSource *m_wholeFile = nullptr;
    bool m_legacyKnown = false;
    QByteArray m_legacy;
    ReadFacts::CharsetWay m_way = ReadFacts::CharsetWay::None;
    QByteArray m_detector;
    QHash<QByteArray, std::shared_ptr<QStringDecoder>> m_decoders;
    QHash<QByteArray, bool> m_asciiCompatible;
};

/// Charsets::legacyCharset's decision over a file read a block at a time, each block
/// starting a line outside every card (see CardBlockReader): the decision is the one the
/// whole file's text gives.
class LegacyCharsetScan
{
public:
    /// Looks at the next block, in the file's order.
    void add(QByteArrayView block);
    LegacyCharset decide();

private:
    Charsets m_charsets{QByteArrayView(), false};
    bool m_nonUtf8 = false;
    std::optional<QByteArray> m_named;
    QByteArray m_unlabelled; // needed only while no block names a charset
};

} // namespace cardreader
