#pragma once

#include "search/DuplicateKeys.h"
#include "search/ResultRow.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

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

class DuplicateGroups;

/// Gathers the keys of the cards of a run, file by file in list order, and finds the
/// groups of duplicates among them. It holds per card its place, its contact and its
/// keys as hashes (a phone number as its digits, an e-mail address as UTF-8): not the
/// card itself.
class DuplicateFinder final
{
public:
    /// Takes the keys of the cards of the file at path.
    void addFile(const QString &path, FileDuplicateKeys &&keys);

    /// The groups among the cards taken. They read this finder's cards: it must
    /// outlive them and take no more files meanwhile.
    DuplicateGroups groups() const;

    /// Cards taken that hold a key.
    qsizetype cardCount() const { return m_cardCount; }

private:
    friend class DuplicateGroups;

    // The cards of one file or of several small ones that follow each other, with the
    // index of its first card among all: a large file's are taken as they are, not
    // copied. Their keys are held apart, with the index of their card among all.
    struct Piece
    {
        quint32 firstCard = 0;
        FileDuplicateKeys cards;
    };

    const Piece &pieceOf(quint32 card) const;
    QString fileOf(quint32 card) const;
    const CardPlace &placeOf(quint32 card) const;
    QString contactOf(quint32 card) const;
    QString shownKey(const DuplicateKey &key) const;

    QStringList m_files;
    std::vector<quint32> m_fileCards; // each file's first card
    std::vector<Piece> m_pieces;
    quint32 m_cardCount = 0;
    // Deques grow by blocks: a million cards' keys never stand twice in memory.
    std::deque<DuplicateKey> m_keys;
};

/// The groups of duplicates of a DuplicateFinder: the largest first, then those held by a
/// phone or an e-mail before those held by names alone, then in the order of their first
/// card. Cards within a group come in list order. They are held as indexes into the
/// finder's cards and keys, a few bytes a card; a group's cards and texts are made only
/// when it is read, so that a group of a hundred thousand cards need not stand whole.
class DuplicateGroups final
{
public:
    qsizetype size() const { return qsizetype(m_groups.size()); }
    bool isEmpty() const { return m_groups.empty(); }
    /// Cards of group g (0-based).
    qsizetype cardCount(qsizetype g) const { return m_groups[std::size_t(g)].cardCount; }
    /// Whether group g holds together by names alone.
    bool weak(qsizetype g) const { return m_groups[std::size_t(g)].weak; }

    /// Calls each with every card of group g, in list order, and returns each thing the
    /// group's cards share, with the fields of every card it stands in.
    QStringList readGroup(qsizetype g,
                          const std::function<void(const DuplicateCard &)> &each) const;
    /// Group g whole.
    DuplicateGroup group(qsizetype g) const;

private:
    friend class DuplicateFinder;
    explicit DuplicateGroups(const DuplicateFinder &finder);

    // A run of m_order whose keys are alike and held by two cards or more: a thing shared.
    struct Run
    {
        quint32 from = 0;
        quint32 to = 0;
    };
    // A grouped card's key in a run: the cards' shared things are read from these.
    struct Use
    {
        quint32 card = 0;
        quint32 run = 0; // its index in m_runs
        quint32 at = 0; // its place in m_order
    };
    struct Group
    {
        quint32 cardsAt = 0; // in m_groupCards
        quint32 cardCount = 0;
        quint32 runsAt = 0; // in m_groupRuns
        quint32 runCount = 0;
        bool weak = true;
    };

    const DuplicateKey &keyAt(quint32 at) const;

    const DuplicateFinder *m_finder;
    std::vector<quint32> m_order; // the keys, those alike side by side
    std::vector<Run> m_runs; // in the order of their first key's card
    std::vector<Use> m_uses; // by card, then run
    std::vector<Group> m_groups; // in the groups' order
    std::vector<quint32> m_groupCards; // each group's, in list order
    std::vector<quint32> m_groupRuns; // each group's, in run order
};

/// The caption line of the duplicates text: each caption followed by a TAB, CR LF.
QString duplicatesCaptionLine();
/// Appends the line of a card of the group numbered number (from 1) to text: group,
/// contact, file, card, line and what it shares, each followed by a TAB, then CR LF. A
/// control character inside a cell is written as a space. An empty line follows a group.
void appendDuplicateCardLine(QString &text, const DuplicateCard &card, qsizetype number);
