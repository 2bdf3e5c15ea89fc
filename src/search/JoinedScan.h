#pragma once

#include "card/ByteSearch.h"
#include "search/TextFolding.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <functional>
#include <vector>

class CardFactsGatherer;

/// One pass over card bytes that tells whether search texts may occur in their logical
/// lines, as RawValueFilter judges them: folds and soft line breaks joined, and every
/// "=XX" read as its byte. The bytes are looked at sixteen at a time for what could
/// matter: the texts as written, "=", a line end that a blank follows, the names
/// CHARSET, ENCODING and BASE64, and (with folding triggers) bytes outside ASCII.
///
/// Lines change only where an "=" or a fold stands, and a text that joining or decoding
/// makes is made of its own letters, hex digits, "=", line ends and blanks. So around
/// each such place the run of those bytes is joined and decoded on its own, which reads
/// as the whole would there; only where that run shows a name whose meaning depends on
/// more of the line (or is too long) is the line itself judged, by the caller.
class JoinedScan final
{
public:
    enum class Verdict {
        Clear, ///< no text can occur
        Found, ///< a text, or a trigger, may occur
    };

    JoinedScan() = default;
    /// texts are ASCII; ignoring case, their letters are lower case. With vcards, a VCARD
    /// that joining makes counts as a text found.
    JoinedScan(const std::vector<QByteArray> &texts, bool ignoreCase,
               const FoldingTriggers &triggers, bool vcards);

    /// Judges bytes that start and end where no line continues across. region judges
    /// the lines the scan cannot: it is handed whole logical lines that start and end so
    /// too, in order, each at most once; true from it means Found. nonAscii is set when
    /// the joined and decoded lines hold a byte outside ASCII (known only with triggers).
    /// gather, when given, is handed every byte when the answer is Clear.
    Verdict run(QByteArrayView bytes, const std::function<bool(QByteArrayView)> &region,
                bool &nonAscii, CardFactsGatherer *gather = nullptr) const;

private:
    struct Text
    {
        QByteArray bytes;
        ByteSearch search;
        char firstBit; // 0x20 when the first byte is a letter whose case is ignored
    };

    std::vector<Text> m_texts;
    bool m_ignoreCase = false;
    FoldingTriggers m_triggers;
    bool m_vcards = false;
    qsizetype m_reach = 7; // the furthest byte a chunk's tests read past its start, less 16
    // The bytes an escape may stand for that a text or a trigger holds; the bytes a text
    // that decoding makes may come from, and one that joining makes.
    std::array<bool, 256> m_escapedBytes{};
    std::array<bool, 256> m_escapeBytes{};
    std::array<bool, 256> m_junctionBytes{};
    // The pairs of bytes that stand side by side in a text or a name (either case when
    // case is ignored), one bit for each: a fold between two bytes that are not such a
    // pair joins nothing new.
    std::array<quint64, 1024> m_joinPairs{};
    // The first hex digits of the escapes that matter: digits from [0] ([1] more), letters
    // from [2] ([3] more); zeros for none.
    std::array<char, 4> m_escapeDigits{};

    bool mayJoin(unsigned char left, unsigned char right) const
    {
        const unsigned pair = left << 8 | right;
        return (m_joinPairs[pair >> 6] >> (pair & 63)) & 1;
    }
    bool foldJoinsNothing(const char *data, qsizetype n, qsizetype q) const;
};

/// The first place at or after from that follows an LF, where no fold continues the line
/// before and no "=" ends it; the size of the bytes when there is none.
qsizetype joinedBlockEnd(QByteArrayView bytes, qsizetype from);
