#pragma once

#include "search/ResultRow.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <deque>
#include <vector>

/// The counts of result rows as they come, in total and for each search text: rows,
/// distinct files and distinct cards. Rows come file by file and card by card, so a row
/// is compared only with the one before it. A file listed twice brings its rows again:
/// they count as rows, but its file and cards count once.
class ResultCounts final
{
public:
    struct PerText
    {
        QString text;
        qsizetype rows = 0;
        qsizetype cards = 0;
        qsizetype files = 0;
    };

    /// Starts again with no rows and these texts (repeats counted once), which are
    /// listed in this order whether they find anything or not.
    void reset(const QStringList &texts = {});

    /// Counts a row; answers the number of its text in texts().
    quint32 add(const ResultRow &row);
    /// True when the row last counted was the first of its card.
    bool startedCard() const { return m_startedCard; }

    qsizetype files() const { return m_fileCount; }
    qsizetype cards() const { return m_cards; }
    /// The texts given to reset, then any other text a row brought, each once.
    const QStringList &texts() const { return m_texts; }
    /// The counts of each of texts(), in its order.
    QList<PerText> perText() const;

private:
    bool noteTextInFile(quint32 text, quint32 file);

    struct Tally
    {
        qsizetype rows = 0;
        qsizetype cards = 0;
        qsizetype files = 0;
        quint64 lastCard = 0; // serial of the card last counted, 0 for none
        qint64 lastFile = -1;
    };
    // The files' numbers, and the pairs of a text's number and a file's number that rows
    // were found for, are kept in many small tables, not one each: growing a table of a
    // million entries would copy it all between two turns of the window's events.
    static constexpr std::size_t kShards = 256;
    // A path is kept with its hash: the path is hashed once, and a look past another
    // entry compares their hashes, not paths that share a long folder.
    struct FileKey
    {
        size_t hash;
        QString path;
        bool operator==(const FileKey &other) const
        {
            return hash == other.hash && path == other.path;
        }
    };
    friend size_t qHash(const FileKey &key, size_t) { return key.hash; }
    std::array<QHash<FileKey, quint32>, kShards> m_fileIds;
    // The texts of each file that rows were found for: the first 64 as bits by the
    // file's number (blocks grow without moving), the others as pairs of a text's number
    // and a file's number.
    static constexpr quint32 kTextBits = 64;
    std::deque<quint64> m_fileTexts;
    std::array<QSet<quint64>, kShards> m_textFiles;
    qsizetype m_fileCount = 0;
    QHash<QString, quint32> m_textIds;
    QStringList m_texts;
    std::vector<Tally> m_tallies;
    qsizetype m_cards = 0;
    // The row before.
    bool m_started = false;
    QString m_file;
    CardPlace m_place;
    QString m_contact;
    quint32 m_fileId = 0;
    bool m_fileSeenBefore = false;
    bool m_startedCard = false;
    quint64 m_cardSerial = 0;
    QString m_text;
    quint32 m_textId = 0;
};
