#include "results/FileCardSaver.h"

#include "base/EventPump.h"
#include "base/Failure.h"
#include "card/CardBlocks.h"
#include "card/CardFile.h"
#include "card/CardParser.h"
#include "card/ReadFacts.h"
#include "results/CardCopy.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>

using namespace Qt::StringLiterals;
using namespace cardcopy;

/// A wanted card found in a text, as its file holds it now.
struct FileCardSaver::Found
{
    qint32 slot = 0;
    qint32 begin = 0; ///< its place is the one of the text's places that begins here
    Digest digest{};
};

FileCardSaver::FileCardSaver(const MatchingCards &cards, qsizetype first, qsizetype last,
                             SavedCards &saved, const Write &write, EventPump *pump)
    : m_cards(cards), m_first(first), m_count(last - first), m_saved(saved), m_write(write),
      m_pump(pump)
{
    // The cards of a search come in the order of their numbers: then the slots are taken
    // in that order as they are. Else they are sorted by number, at eight bytes a card.
    bool ascending = true;
    for (qsizetype k = 1; k < m_count && ascending; ++k)
        ascending = m_cards.number(m_first + k) > m_cards.number(m_first + k - 1);
    if (ascending)
        return;
    m_wanted.reserve(std::size_t(m_count));
    for (qsizetype k = 0; k < m_count; ++k)
        m_wanted.push_back({quint32(m_cards.number(m_first + k)), qint32(k)});
    std::stable_sort(m_wanted.begin(), m_wanted.end(),
                     [](const Wanted &a, const Wanted &b) { return a.number < b.number; });
}

FileCardSaver::~FileCardSaver() = default;

FileCardSaver::Wanted FileCardSaver::wanted(qsizetype i) const
{
    if (!m_wanted.empty())
        return m_wanted[std::size_t(i)];
    return {quint32(m_cards.number(m_first + i)), qint32(i)};
}

void FileCardSaver::save(const QString &path)
{
    m_path = path;
    // Each read takes out the cards whose turn comes before the held ones outgrow the
    // budget; the next read goes on from there.
    while (m_next < m_count) {
        m_bound = m_count;
        m_held.clear();
        m_heldBytes = 0;
        if (!readOnce(path)) {
            m_saved.leftOut += m_count - m_next;
            return;
        }
    }
}

bool FileCardSaver::readOnce(const QString &path)
{
    m_wantedAt = 0;
    m_cardsBefore = 0;
    try {
        CardFile file(path);
        if (file.isMissing()) {
            report(QString::fromLocal8Bit(std::strerror(file.openError())));
            return false;
        }
        if (file.size() <= cardWholeFileBytes()) {
            const CardBytes text = file.read();
            std::optional<QByteArray> legacy;
            const std::function<QByteArray()> legacyCharset = [&] {
                if (!legacy)
                    legacy = CardParser::legacyCharset(text.bytes);
                return *legacy;
            };
            takeCards(text, 0, true, nullptr, legacyCharset);
        } else {
            // Read in blocks as the search reads a large file, so that its cards have the
            // numbers and places the search gave them; the whole file's charset for text
            // without one is decided over another read, when a card first needs it.
            std::optional<cardreader::LegacyCharset> legacy;
            const cardreader::LegacyCharsetSource wholeFile = [&] {
                if (!legacy)
                    legacy = scanLegacyCharset(file);
                return *legacy;
            };
            const std::function<QByteArray()> legacyCharset = [&] { return wholeFile().charset; };
            CardBlockReader reader(file, cardBlockBytes());
            CardBlock block;
            // Once every card wanted has come to its turn, the rest of the file is not read.
            while (m_wantedAt < m_count && reader.next(block)) {
                if (!takeCards(block.text, block.begin, block.last, &wholeFile, legacyCharset))
                    reader.extend(std::move(block));
            }
        }
    } catch (const Failure &failure) {
        if (m_writing)
            throw;
        // The description names the path first.
        const QString &description = failure.description();
        const QString prefix = path + u": "_s;
        report(description.startsWith(prefix) ? description.sliced(prefix.size()) : description);
        return false;
    } catch (const std::length_error &error) {
        report(QString::fromLocal8Bit(error.what()));
        return false;
    }
    // The cards numbered past the file's last one are no longer in it.
    resolveThrough(std::numeric_limits<qint64>::max(), {}, nullptr, nullptr, {});
    return true;
}

bool FileCardSaver::takeCards(const CardBytes &text, qint64 begin, bool last,
                              const cardreader::LegacyCharsetSource *wholeFile,
                              const std::function<QByteArray()> &legacyCharset)
{
    Places places;
    std::vector<Found> found; // in the order of their numbers
    qsizetype at = m_wantedAt;
    bool emptyCard = false;
    const CardParser::PlacedSink take = [&](ContactFields &&fields,
                                            const CardParser::Identity &identity) {
        // A block's one card of lines that hold none is no card of its file, as for the
        // search, unless the file holds no other: then it is the file's one empty card.
        if (wholeFile && identity.begin == identity.end && !(last && m_cardsBefore == 0)) {
            emptyCard = true;
            return;
        }
        places.list.push_back({qint32(identity.begin), qint32(identity.end)});
        const qint64 number = m_cardsBefore + identity.number;
        while (at < m_count && wanted(at).number < number)
            ++at;
        if (at == m_count || wanted(at).number != number)
            return;
        const qsizetype slot = wanted(at).slot;
        if (slot < m_next || slot >= m_bound
            || m_cards.key(m_first + slot)
                != MatchingCards::keyOf(begin + identity.begin, begin + identity.end,
                                        identity.contact))
            return;
        found.push_back({qint32(slot), qint32(identity.begin), fieldsDigest(fields)});
    };
    qint64 cards = 0;
    if (wholeFile) {
        // A block that holds no card wanted is only counted, as the search counts a block
        // it passes over.
        ReadFacts counted;
        if (!scanCardFacts(text, counted, wholeFile) && !last)
            return false;
        if (counted.cards > 0
            && (m_wantedAt == m_count
                || wanted(m_wantedAt).number > m_cardsBefore + counted.cards)) {
            m_cardsBefore += counted.cards;
            return true;
        }
        ParseOptions options;
        options.legacyCharset = wholeFile;
        bool outside = true;
        cards = CardParser::parseRange(text, 0, text.bytes.size(), take, nullptr, &outside,
                                       nullptr, options);
        if (!outside && !last)
            return false;
        cards -= emptyCard ? 1 : 0;
    } else {
        cards = CardParser::parse(text, take);
    }
    // Cards come in the order of their BEGIN lines, which is that of their beginnings.
    places.sort();
    resolveThrough(m_cardsBefore + cards, found, &text, &places, legacyCharset);
    m_cardsBefore += cards;
    return true;
}

void FileCardSaver::resolveThrough(qint64 number, const std::vector<Found> &found,
                                   const CardBytes *text, const Places *places,
                                   const std::function<QByteArray()> &legacyCharset)
{
    std::size_t next = 0;
    for (; m_wantedAt < m_count && wanted(m_wantedAt).number <= number; ++m_wantedAt) {
        const qsizetype slot = wanted(m_wantedAt).slot;
        const Found *card = next < found.size() && found[next].slot == slot ? &found[next++]
                                                                           : nullptr;
        // A slot let go while this text's cards were delivered waits for the next read.
        if (slot < m_next || slot >= m_bound)
            continue;
        if (!card) {
            deliver(slot, {});
            continue;
        }
        CardCopy copy = cardBytes(*text, *places, card->begin, places->endOf(card->begin),
                                  legacyCharset);
        // A card as it stands, each line of which reads alike in any file, needs no check.
        if (copy.edited && !readsAlike(copy.bytes, card->digest)) {
            deliver(slot, {Outcome::Kind::ReadsOtherwise, {}});
            continue;
        }
        deliver(slot, {Outcome::Kind::Copied, std::move(copy.bytes)});
    }
}

void FileCardSaver::deliver(qsizetype slot, Outcome &&outcome)
{
    if (slot != m_next) {
        // Held for its turn. Past the budget, the last held are let go, and their slots
        // wait for the next read: the held cards never take much more than two blocks.
        outcome.copy.squeeze();
        m_heldBytes += outcome.copy.size();
        m_held.emplace(slot, std::move(outcome));
        const qsizetype budget = 2 * cardBlockBytes();
        while (m_heldBytes > budget && !m_held.empty()) {
            const auto lastHeld = std::prev(m_held.end());
            m_bound = lastHeld->first;
            m_heldBytes -= lastHeld->second.copy.size();
            m_held.erase(lastHeld);
        }
        return;
    }
    emitOutcome(slot, outcome);
    outcome.copy = QByteArray();
    ++m_next;
    for (auto first = m_held.begin(); first != m_held.end() && first->first == m_next;
         first = m_held.begin()) {
        emitOutcome(first->first, first->second);
        m_heldBytes -= first->second.copy.size();
        m_held.erase(first);
        ++m_next;
    }
}

void FileCardSaver::emitOutcome(qsizetype slot, const Outcome &outcome)
{
    if (m_pump)
        m_pump->tick();
    switch (outcome.kind) {
    case Outcome::Kind::Copied:
        // What the write throws is the saved file's failure, not this file's.
        m_writing = true;
        m_write(QByteArrayView(outcome.copy).sliced(kContexts[0].size()));
        m_writing = false;
        ++m_saved.written;
        return;
    case Outcome::Kind::ReadsOtherwise:
        report(u"card %1 does not read the same on its own"_s.arg(m_cards.number(m_first + slot)));
        break;
    case Outcome::Kind::Changed:
        report(u"changed since the search"_s);
        break;
    }
    ++m_saved.leftOut;
}

void FileCardSaver::report(const QString &reason)
{
    if (!m_reported)
        m_saved.problems.append({m_path, reason});
    m_reported = true;
}
