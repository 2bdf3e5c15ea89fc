#pragma once

#include "card/CardBytes.h"
#include "card/Charsets.h"
#include "card/ContactFields.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

struct ReadFacts;

/// What a parse reads beside the 27 fields.
struct ParseOptions
{
    /// The values of the other properties (ContactFields::Others): every property line
    /// but BEGIN, END and VERSION, and but binary data (see cardreader::isBinaryValue).
    /// With them, under the property's name in the order of the lines, the texts that no
    /// field holds: the text parameters of those lines and of the 27 fields' lines (see
    /// cardreader::isTextParameter), and N's and ADR's components that no field holds
    /// (see cardreader::addUnheldComponents).
    bool otherProperties = false;
    /// When given, the bytes of the text parsed are added here as the parse goes, a
    /// block at a time, for a progress bar on another thread.
    std::atomic<qint64> *parsedBytes = nullptr;
    /// When given, what the parse finds about the text's shapes and charset is added here
    /// (see ReadFacts); it changes nothing of what is read.
    ReadFacts *facts = nullptr;
    /// When the text is one block of a larger file, the decision on the whole file's
    /// text without a charset (see cardreader::Charsets::legacyCharset), asked only when
    /// some text is read in it.
    const cardreader::LegacyCharsetSource *legacyCharset = nullptr;
    /// False for a part of a text that is read again when it ends inside a card: the
    /// cards that its end closes (the open ones, and those that wait behind them, which
    /// may hold millions of lines) are then neither read nor handed out.
    bool readCutCards = true;
};

/// Turns the prepared bytes of one card file into one ContactFields per card.
///
/// Lines end at CR LF, LF, CR CR LF or a lone CR; folded lines, quoted-printable
/// soft line breaks and lines that continue a value without a colon are joined before a
/// line is parsed. A card runs from BEGIN:VCARD to its END:VCARD; nested cards are cards
/// of their own, in the order of their BEGIN lines (an AGENT whose value begins a card
/// nests one, as does an escaped card as its value; END:VCARDBEGIN:VCARD ends one card
/// and begins the next); a run of lines outside every card is a card when it holds a
/// known property.
/// A file that yields no card yields one card with every field empty.
class CardParser final
{
public:
    /// What a card is beside its fields: its number in the parse (1-based, in card
    /// order), its bytes [begin, end) in the text, and its contact name (see
    /// contactName).
    struct Identity
    {
        qint64 number = 0;
        qsizetype begin = 0;
        qsizetype end = 0;
        QString contact;
        /// Handed out before the text's end was reached: no byte after the text can
        /// change the card. False for a card that the text's end closes, and those after.
        bool settled = true;
    };

    using Sink = std::function<void(ContactFields &&)>;
    using PlacedSink = std::function<void(ContactFields &&, const Identity &)>;

    /// Lets a search skip decoding the values it cannot match.
    class ValueFilter
    {
    public:
        virtual ~ValueFilter() = default;
        /// Asked only with the UTF-8 bytes of a value's decoded text, where nothing is
        /// removed from inside the text or added later (no escape, no charset but
        /// UTF-8's kind). False means no search text can occur in it.
        virtual bool mayContain(QByteArrayView utf8Value) const = 0;
        /// Asked for the bytes of one card, from its BEGIN line to its END line, that
        /// holds no other card and no other BEGIN or END line. legacyCharset tells, when
        /// asked, how the file's text without a charset is read when it is not UTF-8
        /// (empty: Windows-1252); finding that out reads the whole file. False means no
        /// value of the card can contain a search text, and the card is not parsed. A
        /// filter that joins the card's lines to judge it (joinedLines) may leave them
        /// in lines.
        virtual bool cardMayContain(QByteArrayView card,
                                    const std::function<QByteArray()> &legacyCharset,
                                    QByteArray &lines) const
        {
            Q_UNUSED(card);
            Q_UNUSED(legacyCharset);
            Q_UNUSED(lines);
            return true;
        }
        /// True when cardMayContain, answering false with lines left null, has also made
        /// sure that the card's joined lines hold VCARD only where its bytes do.
        virtual bool judgesJoinedVcards() const { return false; }
    };

    /// Calls sink once per card, in card order, and returns the number of cards. With
    /// a filter, a value the filter rules out is stored as empty text (a list keeps an
    /// empty element in its place), so the fields can be searched but no longer shown;
    /// a card it rules out is counted but not handed out. When cancel is set the parse
    /// stops at the next line: the cards handed out so far stay, the rest are left out.
    static qsizetype parse(const CardBytes &text, const Sink &sink,
                           const ValueFilter *filter = nullptr,
                           const std::atomic<bool> *cancel = nullptr, ParseOptions options = {});
    /// The same, telling each card's identity. A card begins at its BEGIN line and ends
    /// after its END line (a nested card's bytes lie inside its parent's); a card that
    /// never ends runs to the end of the text; a run of lines outside every card begins
    /// at its first line and ends where the next card begins. The contact name is read
    /// from the card's own values, also those the filter rules out: FN as decoded, else
    /// the given and family names of N joined by a space (those present), else ORG's
    /// components joined by ", " (those present), else the first EMAIL, else the first
    /// TEL, else empty; escapes undone (see cardreader::ContactName).
    static qsizetype parse(const CardBytes &text, const PlacedSink &sink,
                           const ValueFilter *filter = nullptr,
                           const std::atomic<bool> *cancel = nullptr, ParseOptions options = {});

    /// Parses the lines from byte from to byte to of the text as parse does a whole
    /// file, except that the charset rules look at the whole file. endedOutside, when
    /// given, tells whether the lines ended outside every card: then the lines after
    /// to parse alone as they do after the lines before (but for the one empty card
    /// of lines that hold none); a parse that cancel stops leaves it as it was.
    static qsizetype parseRange(const CardBytes &text, qsizetype from, qsizetype to,
                                const PlacedSink &sink, const ValueFilter *filter,
                                bool *endedOutside, const std::atomic<bool> *cancel = nullptr,
                                ParseOptions options = {});

    /// One line of a card as a reader sees it, for showing the card whole.
    struct Property
    {
        QString name; // upper case, without a group prefix
        QStringList types; // TYPE values and parameters without a value, as written
        QString value; // decoded, escapes undone; a structured value's parts joined by "; "
        qsizetype begin = 0; // the bytes of its lines in the text
        qsizetype end = 0;
        ContactFields fields; // what this line alone writes into a record, with the texts
                              // it adds to Others when a parse reads every property
    };

    /// The properties of the card whose bytes are [begin, end) of the text, in their
    /// order, at most limit of them: every line that names a property, but the card's
    /// BEGIN and END lines and the lines of cards nested in it. Bytes that begin outside
    /// every card are read as lines outside every card.
    /// When text is only a range of the file, wholeFile tells the whole file's legacy
    /// charset.
    static QList<Property> properties(const CardBytes &text, qsizetype begin, qsizetype end,
                                      qsizetype limit,
                                      const cardreader::LegacyCharsetSource *wholeFile = nullptr);

    /// The number of line ends in the bytes (CR* LF, or a lone CR, as the parser reads
    /// them). Bytes that start a line and end after a line end give line numbers.
    static qint64 countLineEnds(QByteArrayView bytes);

    /// Up to parts - 1 positions, in order, that cut the bytes into parts of about the
    /// same size, each right after an END:VCARD line that stands on its own.
    static QList<qsizetype> cutPoints(QByteArrayView bytes, int parts);

    /// The bytes with every fold and every "=" before a line end joined (with the blank
    /// after it, as a later version's fold), and each line ending in LF. Every text without
    /// blanks, backslashes and line ends that a logical line of the parser holds occurs in
    /// it: a line that continues a value without a fold is a line of its own here.
    static QByteArray joinedLines(QByteArrayView bytes);

    /// True when a property line of the bytes, but PHOTO, LOGO, SOUND and KEY, may have its
    /// value in base64, which hides its text from a search of the bytes (also of their
    /// joined lines). joined is joinedLines(bytes).
    static bool holdsBase64Text(QByteArrayView bytes, QByteArrayView joined);

    /// All cards of the text, in card order; never empty.
    static QList<ContactFields> parseAll(const CardBytes &text);

    /// Convenience for raw file bytes: prepareCardBytes, then parseAll.
    static QList<ContactFields> parseBytes(QByteArray raw);

    /// One logical line as parse reads it, for copying a file's cards into another file.
    struct Line
    {
        enum class Kind : quint8 {
            Other, ///< no property line, or a BEGIN or END line that is no card's
            Property, ///< a property line but BEGIN and END
            Begin, ///< BEGIN:VCARD
            End, ///< END:VCARD
        };
        Kind kind = Kind::Other;
        QByteArrayView text; ///< the line, its folds and soft line breaks joined
        qsizetype begin = 0; ///< where its first physical line starts in the file's text
        qsizetype end = 0; ///< where its last line end ends in the file's text
        qsizetype colon = -1; ///< where the value's colon stands in text, or -1
        /// For a Property: the CHARSET that, named as the line's last parameter, makes its
        /// value read as it reads here in any file without a byte-order mark, whatever
        /// else that file holds; empty when it reads so already.
        QByteArray ownCharset;
    };

    /// The card that the bytes of a card read from an escaped AGENT value (see parse)
    /// hold, as lines of its own ending in a line end; null when the bytes are not one
    /// such AGENT line.
    static QByteArray escapedAgentCard(QByteArrayView bytes);

    /// The charset in which text without a CHARSET is read when it is not UTF-8: the
    /// first CHARSET the file names that is neither UTF-8 nor ASCII and can be decoded;
    /// empty for Windows-1252.
    static QByteArray legacyCharset(QByteArrayView text);

    /// Calls take for every logical line of the bytes [from, to) of the text, where
    /// from is the start of a line. legacyCharset tells the file's legacy charset; it is
    /// asked at most once, and only when a line is read in it.
    static void forEachLine(const CardBytes &text, qsizetype from, qsizetype to,
                            const std::function<QByteArray()> &legacyCharset,
                            const std::function<void(const Line &)> &take);
};
