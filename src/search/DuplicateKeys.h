#pragma once

#include "search/ResultRow.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <memory>
#include <vector>

struct ContactFields;

/// What two cards may share that makes them the same contact.
enum class DuplicateKind : quint8 {
    Phone, ///< the same number, read by libphonenumber
    Email, ///< the same e-mail address, letter case aside
    Name, ///< the same name, words in any order, case and accents aside: a weaker match
};

/// One key of a card, compactly: a 64-bit hash of its normal form, what kind it is, the
/// field it came from (an index into searchedContactFields() and, for a list field's
/// element, its 1-based position when the list holds more than one; for a name, the field
/// is that of the family name) and its card. value tells its shown form: a phone number's
/// digits, where an e-mail address starts in the addresses; a name is shown as its card's
/// contact.
struct DuplicateKey
{
    quint64 hash = 0;
    quint64 value = 0;
    quint32 card = 0; ///< the index of its card among the cards held with it
    DuplicateKind kind = DuplicateKind::Phone;
    quint8 field = 0;
    quint16 position = 0;
};

/// A deque made when its first element comes. Most files give no keys, and an empty
/// std::deque allocates, and allocates again each time it is moved from: four blocks a
/// file made on one thread and freed on another.
template<typename T> class LazyDeque
{
public:
    bool empty() const { return !m_items || m_items->empty(); }
    std::size_t size() const { return m_items ? m_items->size() : 0; }
    void push_back(const T &item)
    {
        if (!m_items)
            m_items = std::make_unique<std::deque<T>>();
        m_items->push_back(item);
    }
    /// Hands each element to take, in order, and lets it go as it is handed: the blocks
    /// freed take what take keeps, so that the two never stand whole at once.
    template<typename Take> void takeEach(Take &&take)
    {
        for (; !empty(); m_items->pop_front())
            take(m_items->front());
    }
    T &operator[](std::size_t index) { return (*m_items)[index]; }
    const T &operator[](std::size_t index) const { return (*m_items)[index]; }
    // Value-initialised iterators compare equal: an empty range when nothing is held.
    auto begin() { return m_items ? m_items->begin() : typename std::deque<T>::iterator(); }
    auto end() { return m_items ? m_items->end() : typename std::deque<T>::iterator(); }
    auto begin() const
    {
        return m_items ? m_items->cbegin() : typename std::deque<T>::const_iterator();
    }
    auto end() const
    {
        return m_items ? m_items->cend() : typename std::deque<T>::const_iterator();
    }
    /// Lets the elements and their memory go.
    void release() { m_items.reset(); }

private:
    std::unique_ptr<std::deque<T>> m_items;
};

/// The keys of the cards of one file, gathered while its cards are read: per card its
/// place and where its contact starts in contacts, and the keys of the cards in card
/// order. Texts are held as UTF-8, each contact up to the next one's start.
struct FileDuplicateKeys
{
    struct Card
    {
        CardPlace place;
        qsizetype contactAt = 0;
    };
    // Deques grow by blocks: the keys of a file of a million cards never stand twice
    // in memory while they grow.
    LazyDeque<Card> cards;
    LazyDeque<DuplicateKey> keys;
    QByteArray contacts;
    QByteArray addresses; ///< each ended by a NUL

    /// About the bytes held.
    qsizetype heldBytes() const
    {
        return qsizetype(cards.size() * sizeof(Card) + keys.size() * sizeof(DuplicateKey))
            + contacts.size() + addresses.size();
    }

    /// Appends the cards and keys of a later part of the same file.
    void append(FileDuplicateKeys &&later);
};

/// Reads the keys of cards. Phone numbers are read in region (two letters) when they
/// have no country code; one libphonenumber cannot tell as a valid number, or whose
/// national number is shorter than seven digits, gives no key. A number of the work
/// fields (BusinessPhones) or a fax is often a company's switchboard: its key holds the
/// card's name too, so that it joins only cards of the same name (or cards without one).
/// The keys of a card are made on the thread that parses it.
class DuplicateKeyMaker final
{
public:
    explicit DuplicateKeyMaker(const QString &region);

    /// Appends the card, at place, with its contact and keys to out.
    void addCard(const ContactFields &card, const CardPlace &place, const QString &contact,
                 FileDuplicateKeys &out) const;

    /// The number of a phone key's text (E.164) as it is shown: "+49 176 12345678".
    static QString shownNumber(const QString &e164);
    /// The name words of a card in their normal form, sorted, once each; empty when the
    /// card has fewer than two (a single word names too many people to tell).
    static QStringList nameWords(const ContactFields &card);

private:
    QString m_region;
};
