#pragma once

// A card of a file made to stand on its own in another file, and the check that it reads
// there as it read in its file: the parts of the card export that work on one text.

#include "card/CardBytes.h"
#include "card/CardFile.h"
#include "card/ContactFields.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <deque>
#include <functional>
#include <limits>
#include <vector>

namespace cardcopy {

using Digest = std::array<char, 8>;

/// Equal for two cards whose fields are equal.
Digest fieldsDigest(const ContactFields &fields);

// Lines put before a card to read it as a file of its own that makes another charset
// its legacy one. They are of one length: the second is written over the first in place,
// for a card may be as large as its file.
inline constexpr QByteArrayView kContexts[]
    = {"X-QUILLORY-CHECK;CHARSET=KOI8-R:\r\n", "X-QUILLORY;CHARSET=windows-1252:\r\n"};
static_assert(kContexts[0].size() == kContexts[1].size());

// A text read whole or in blocks holds at most kMaxHeldFileBytes of a file, which are at
// most one and a half times as many bytes of text (UTF-16 made UTF-8), so an offset into
// it fits 32 bits: a place then takes half the room, and a text of cards nested without
// end holds one per few bytes.
static_assert(kMaxHeldFileBytes / 2 * 3 < std::numeric_limits<qint32>::max());

/// A card's bytes [begin, end) in its text.
struct Place
{
    qint32 begin = 0;
    qint32 end = 0;
};

/// The places of every card of a text, in the order of their beginnings, each with the
/// first place after it that begins at or after its end: a card's nested cards are
/// passed over in one step, however deep they nest.
struct Places
{
    std::deque<Place> list; // grows without a copy
    std::vector<qint32> after; // empty when no card nests: then always the next place

    /// Puts the places in order once they have all been added.
    void sort();
    qsizetype next(qsizetype i) const { return after.empty() ? i + 1 : after[std::size_t(i)]; }
    /// The end of the card that begins at begin (each card begins at a place of its own).
    qsizetype endOf(qsizetype begin) const;
};

/// The bytes of a card made to stand on its own, after the first context line.
struct CardCopy
{
    QByteArray bytes;
    bool edited = false; ///< false when they are the card's bytes as they stand

    QByteArrayView card() const { return QByteArrayView(bytes).sliced(kContexts[0].size()); }
};

/// The card [begin, end) of the text, made to stand on its own in another file: the
/// cards nested in it cut out, an END line added where it has none, lines outside every
/// card framed by BEGIN and END lines, and a line read in the file's legacy charset
/// (legacyCharset, asked when needed) naming that charset.
CardCopy cardBytes(const CardBytes &text, const Places &places, qsizetype begin, qsizetype end,
                   const std::function<QByteArray()> &legacyCharset);

/// True when the card's bytes after the first context line, read as a file of their
/// own, give one card with these fields, also after the other context line, which then
/// stands in their front.
bool readsAlike(QByteArray &card, const Digest &digest);

} // namespace cardcopy
