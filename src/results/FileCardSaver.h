#pragma once

#include "card/CardBytes.h"
#include "card/Charsets.h"
#include "results/CardExport.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <map>
#include <vector>

class EventPump;

namespace cardcopy {
struct Places;
}

/// Saves the cards [first, last) of the list, which are all of one file. The file is read
/// as the search read it: whole when it is small, else a block at a time, never whole.
/// Each card is written when its turn comes; a card found before its turn is held until
/// then, up to a budget of memory, and those past it are taken out by another read.
class FileCardSaver final
{
public:
    /// write writes a card's bytes to the saved file; what it throws goes through.
    using Write = std::function<void(QByteArrayView)>;

    FileCardSaver(const MatchingCards &cards, qsizetype first, qsizetype last, SavedCards &saved,
                  const Write &write, EventPump *pump);
    ~FileCardSaver();
    FileCardSaver(const FileCardSaver &) = delete;
    FileCardSaver &operator=(const FileCardSaver &) = delete;

    void save(const QString &path);

private:
    /// A card to be taken out: its number in the file and its slot in [first, last).
    struct Wanted
    {
        quint32 number = 0;
        qint32 slot = 0;
    };
    /// What became of a card: its copy (see cardcopy::CardCopy), or why it was left out.
    struct Outcome
    {
        enum class Kind : quint8 { Copied, Changed, ReadsOtherwise } kind = Kind::Changed;
        QByteArray copy;
    };
    struct Found;

    Wanted wanted(qsizetype i) const;
    /// Reads the file once, taking out the cards of the slots [m_next, m_bound) that it
    /// holds; false when the file could not be read (reported).
    bool readOnce(const QString &path);
    /// Takes the cards out of one text of the file: the whole, or with wholeFile (the
    /// whole file's legacy charset) a block that starts at begin of its whole text. False,
    /// with nothing taken, when the text is a block whose lines end inside a card: it is
    /// to be read again with more after it.
    bool takeCards(const CardBytes &text, qint64 begin, bool last,
                   const cardreader::LegacyCharsetSource *wholeFile,
                   const std::function<QByteArray()> &legacyCharset);
    /// Every wanted card numbered up to number comes to its turn: those of found are
    /// copied from text, the others are no longer in the file.
    void resolveThrough(qint64 number, const std::vector<Found> &found, const CardBytes *text,
                        const cardcopy::Places *places,
                        const std::function<QByteArray()> &legacyCharset);
    void deliver(qsizetype slot, Outcome &&outcome);
    void emitOutcome(qsizetype slot, const Outcome &outcome);
    void report(const QString &reason);

    const MatchingCards &m_cards;
    const qsizetype m_first;
    const qsizetype m_count;
    SavedCards &m_saved;
    const Write &m_write;
    EventPump *m_pump;
    QString m_path;
    bool m_reported = false;
    bool m_writing = false;
    std::vector<Wanted> m_wanted; // by number; empty when the slots come in number order
    qsizetype m_next = 0; // the slot whose card is written next
    qsizetype m_bound = 0; // slots from here on wait for another read
    std::map<qsizetype, Outcome> m_held; // outcomes before their turn
    qsizetype m_heldBytes = 0;
    qsizetype m_wantedAt = 0; // the first of m_wanted not yet come to its turn in this read
    qint64 m_cardsBefore = 0; // the cards of the file before the text taken
};
