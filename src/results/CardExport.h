#pragma once

#include "results/OutputRows.h"
#include "results/RowBlocks.h"
#include "search/ResultRow.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <vector>

class EventPump;
class ResultsModel;

/// The cards that have rows, each once (by its file and number), in the order of their
/// first rows, with what taking them out of their files needs. A card takes a few
/// dozen bytes, so that the cards of a large export are kept at little cost.
class MatchingCards final
{
public:
    void add(const ResultRow &row);
    qsizetype size() const { return qsizetype(m_keys.size()); }

    /// Card i's number in its file; 0 (no card's) for a number too large to keep.
    qint64 number(qsizetype i) const { return m_numbers[std::size_t(i)]; }
    /// A digest of where card i stands in its file and whom it names: with the number,
    /// it tells that the file still holds the card the row came from.
    quint64 key(qsizetype i) const { return m_keys[std::size_t(i)]; }
    /// The key of a card that stands at [begin, end) of its file and names contact.
    static quint64 keyOf(qsizetype begin, qsizetype end, QStringView contact);

    /// Cards of one file that follow each other in the list, from first on.
    struct Run
    {
        qsizetype first = 0;
        qint32 file = 0; ///< its file in files()
    };
    const QList<Run> &runs() const { return m_runs; }
    const QStringList &files() const { return m_files; }

private:
    qint32 fileOf(const QString &path);
    bool take(qint32 file, qint64 number);

    // Twelve bytes a card, in blocks that are never copied as they grow.
    RowBlocks<quint64> m_keys;
    RowBlocks<quint32> m_numbers;
    QList<Run> m_runs;
    QStringList m_files;
    QHash<QString, qint32> m_fileIndex;
    std::vector<std::vector<bool>> m_taken; // by file, then card number
    std::vector<QSet<qint64>> m_takenOutside; // numbers beyond the bits
};

/// The cards of the rows of the results table (of those given; every row by default).
MatchingCards matchingCardsOf(const ResultsModel &results, const OutputRows &rows = {});

/// A file whose cards, some or all, could not be taken out, and why.
struct CardExportProblem
{
    QString file;
    QString reason;

    bool operator==(const CardExportProblem &) const = default;
};

/// What saving the matching cards came to.
struct SavedCards
{
    qint64 written = 0;
    QList<CardExportProblem> problems; ///< one per file, in the order of the cards
    qint64 leftOut = 0; ///< cards not written, because of the problems
};

/// Writes the cards in order to path, through QSaveFile, each as it stands in its file
/// (a UTF-16 file's cards as UTF-8). Each file is read again, one at a time, as the
/// search reads it (a large one a block at a time, never whole); a card that
/// its file no longer holds at the same place with the same contact is left out, and the
/// file reported. A card is written so that it reads back alone as it read in its file:
/// the cards nested in it are cut out (they are cards of their own), a card without an
/// END line gets one, lines outside every card are framed by BEGIN and END lines, and a
/// line read in its file's legacy charset names that charset. A card that would still
/// read otherwise is left out and reported. The pump lets window events run between
/// cards. Throws Failure, naming path, when the file cannot be written, or when
/// something other than a regular file stands at path (see outputKindProblem); an old
/// file at path then stays as it was. With WhenNoCard::WriteNothing, a save that has no
/// card left to write writes no file either.
enum class WhenNoCard { WriteEmptyFile, WriteNothing };
SavedCards SaveMatchingCards(const MatchingCards &cards, const QString &path,
                             EventPump *pump = nullptr,
                             WhenNoCard noCard = WhenNoCard::WriteEmptyFile);

/// The message that tells how a save to fileName went: how many cards were written, how
/// many were left out, and which files could not be taken out. A save of no card is
/// taken to have written no file. note follows the first sentence's file name.
QString savedCardsText(const SavedCards &saved, const QString &fileName, const QString &note = {});
