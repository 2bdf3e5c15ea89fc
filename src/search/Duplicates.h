#pragma once

#include "search/DuplicateKeys.h"
#include "search/ResultRow.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

#include <deque>

/// A card of a group of duplicates: its file, place and contact, and what it shares
/// with the others of its group, each thing with the fields it stands in
/// ("+49 176 12345678 (Mobile); anna@example.com (Emails)").
struct DuplicateCard
{
    QString file;
    CardPlace place;
    QString contact;
    QString shared;

    bool operator==(const DuplicateCard &) const = default;
};

/// Cards that are the same contact: each shares a phone number, an e-mail address or a
/// name with another of them. shared tells each thing shared, with the fields of every
/// card it stands in; weak when the group holds together by names alone.
struct DuplicateGroup
{
    QList<DuplicateCard> cards;
    QStringList shared;
    bool weak = false;
};

/// Gathers the keys of the cards of a run, file by file in list order, and finds the
/// groups of duplicates among them. It holds per card its place, its contact and its
/// keys as hashes (a phone number as its digits, an e-mail address as UTF-8): not the
/// card itself.
class DuplicateFinder final
{
public:
    /// Takes the keys of the cards of the file at path.
    void addFile(const QString &path, FileDuplicateKeys &&keys);

    /// The groups: the largest first, then those held by a phone or an e-mail before
    /// those held by names alone, then in the order of their first card. Cards within a
    /// group come in list order.
    QList<DuplicateGroup> groups() const;

    /// Cards taken that hold a key.
    qsizetype cardCount() const { return qsizetype(m_cards.size()); }

private:
    struct Card
    {
        CardPlace place;
        qsizetype contactAt = 0;
        quint32 contactLength = 0;
        quint32 file = 0;
    };
    struct Key
    {
        quint64 hash = 0;
        quint64 value = 0; // a number's digits, where an address starts, or nothing
        quint32 card = 0;
        DuplicateKind kind = DuplicateKind::Phone;
        quint8 field = 0;
        quint16 position = 0;
    };

    QString shownKey(const Key &key) const;
    QString contactOf(const Card &card) const;

    QStringList m_files;
    // Deques grow by blocks: a million cards never stand twice in memory while copied.
    std::deque<Card> m_cards;
    QByteArray m_contacts; // UTF-8
    std::deque<Key> m_keys;
    QByteArray m_addresses; // UTF-8, each ended by a NUL
};

/// The caption line of the duplicates text: each caption followed by a TAB, CR LF.
QString duplicatesCaptionLine();
/// Appends the lines of a group, numbered number (from 1), to text: one card a line
/// (group, contact, file, card, line and what it shares, each followed by a TAB, CR
/// LF), then an empty line. A control character inside a cell is written as a space.
void appendDuplicateGroupLines(QString &text, const DuplicateGroup &group, qsizetype number);
