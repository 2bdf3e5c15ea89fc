#pragma once

#include "card/CardBytes.h"
#include "card/FileDigest.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstddef>
#include <functional>

namespace cardreader {
struct LegacyCharset;
}

/// What reading one card file found beside its cards: how its text was decoded, and the
/// shapes in it that a reader has to make a choice about. Gathered as the file is read;
/// it only describes, and never changes what is read or found.
struct ReadFacts
{
    /// Shapes worth telling, each counted with the place of its first one.
    enum class Problem : quint8 {
        UnclosedCard, ///< a card that never ends: it runs to the end of the file
        NestedCard, ///< a card begun inside another
        GluedCards, ///< END:VCARDBEGIN:VCARD, one card glued to the next
        LinesOutside, ///< a line outside every card
        InvalidQuotedPrintable, ///< "=" not followed by two hex digits: kept as written
        InvalidBase64, ///< a text value whose base64 does not decode: kept as written
        UnknownCharset, ///< a CHARSET that cannot be read: the value read without it
        NoCard, ///< the file holds no card at all
    };
    static constexpr std::size_t kProblemKinds = 8;

    /// How the charset of the file's text was decided.
    enum class CharsetWay : quint8 {
        None, ///< not decided (the file was not read)
        Utf8, ///< all of its text is UTF-8
        Mark, ///< a byte-order mark
        Utf16Zeros, ///< UTF-16 without a mark, told by its zero bytes
        Declared, ///< text without a charset, read in the CHARSET the file names
        Detected, ///< text without a charset, read in the charset detected from it
        Default, ///< text without a charset, read as Windows-1252
    };

    /// Why a listed file was not read.
    enum class NotRead : quint8 { No, Missing, Unreadable, Folder, TooLarge };

    struct Tally
    {
        qint64 count = 0;
        /// The first one's byte in the file's prepared text, then (see placeLines) its
        /// 1-based line; -1 when there is none.
        qint64 first = -1;

        bool operator==(const Tally &) const = default;
    };

    std::array<Tally, kProblemKinds> problems{};
    qint64 cards = 0; ///< cards read, not counting the empty one of a file with none
    qint64 bytes = 0; ///< bytes of the file read
    CharsetWay charsetWay = CharsetWay::None;
    QByteArray charset; ///< the charset decided; empty for UTF-8
    QByteArray detector; ///< what the charset detectors answered, when they were asked
    NotRead notRead = NotRead::No;
    bool changedWhileRead = false; ///< its size changed between opening and reading
    FileDigest sha256; ///< the digest of its bytes, when asked for

    void note(Problem problem, qint64 offset)
    {
        Tally &tally = problems[std::size_t(problem)];
        if (tally.count++ == 0)
            tally.first = offset;
    }
    qint64 count(Problem problem) const { return problems[std::size_t(problem)].count; }

    /// Adds the facts of the text that follows (a later part of the same file).
    void addLater(const ReadFacts &later);
    /// Turns the places of the problems into line numbers of the text.
    void placeLines(QByteArrayView text);
    /// True when the file was not read, changed while read, or holds a problem.
    bool hasProblems() const;
    /// True when there is more to tell than "read, UTF-8, no problem".
    bool isNoteworthy() const;
};

/// The charset the encoding announces, and how, for a file with a mark or in UTF-16 or
/// UTF-32; for one without, the decision on its text without a charset (see
/// cardreader::Charsets::legacyCharset), unless the parse already made it. nonUtf8, when
/// given, is cardreader::hasNonUtf8Text of the text, known already.
void decideCharset(const CardBytes &text, ReadFacts &facts, const bool *nonUtf8 = nullptr);

/// The cards and card shapes of a text that is not parsed, as a parse would find them:
/// a quick look at its BEGIN and END lines and its "=" signs, and a parse that decodes
/// nothing when they are not plain. Returns whether the text ends outside every card.
/// When the text is a block of a larger file, wholeFile tells the whole file's legacy
/// charset (see ParseOptions::legacyCharset).
bool scanCardFacts(const CardBytes &text, ReadFacts &facts,
                   const std::function<cardreader::LegacyCharset()> *wholeFile = nullptr);

/// Notes the quoted-printable and base64 values of the bytes that are kept as written,
/// as a parse would: only the lines that name either encoding are read. base is where
/// the bytes stand in the file's text; they start a line.
void scanEncodedValues(QByteArrayView bytes, qsizetype base, ReadFacts &facts);
