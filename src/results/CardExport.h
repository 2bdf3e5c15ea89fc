#pragma once

#include "results/ResultRow.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

class EventPump;
class ResultsModel;

/// The cards that have rows, each once (by its file and number), in the order of their
/// first rows, with what taking them out of their files needs.
class MatchingCards final
{
public:
    struct Card
    {
        QString file;
        qint64 number = 0;
        qsizetype begin = 0;
        qsizetype end = 0;
        /// With the place, tells that the file still holds the card the row came from.
        QString contact;
    };

    void add(const ResultRow &row);
    const QList<Card> &cards() const { return m_cards; }
    qsizetype size() const { return m_cards.size(); }

private:
    QList<Card> m_cards;
    QHash<QString, QSet<qint64>> m_numbers; // the card numbers taken, by file
};

/// The cards of the rows of the results table.
MatchingCards matchingCardsOf(const ResultsModel &results);

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
};

/// Writes the cards in order to path, through QSaveFile, each as it stands in its file
/// (a UTF-16 file's cards as UTF-8). Each file is read again, one at a time; a card that
/// its file no longer holds at the same place with the same contact is left out, and the
/// file reported. A card is written so that it reads back alone as it read in its file:
/// the cards nested in it are cut out (they are cards of their own), a card without an
/// END line gets one, lines outside every card are framed by BEGIN and END lines, and a
/// line read in its file's legacy charset names that charset. A card that would still
/// read otherwise is left out and reported. The pump lets window events run between
/// cards. Throws Failure, naming path, when the file cannot be written; an old file at
/// path then stays as it was.
SavedCards SaveMatchingCards(const MatchingCards &cards, const QString &path,
                             EventPump *pump = nullptr);

/// The message that tells how a save to fileName went: how many cards were written and
/// which files could not be taken out.
QString savedCardsText(const SavedCards &saved, const QString &fileName);
