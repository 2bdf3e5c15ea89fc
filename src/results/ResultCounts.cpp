#include "results/ResultCounts.h"

void ResultCounts::reset(const QStringList &texts)
{
    *this = ResultCounts();
    for (const QString &text : texts) {
        if (!m_textIds.contains(text)) {
            m_textIds.insert(text, quint32(m_texts.size()));
            m_texts.append(text);
        }
    }
    m_tallies.resize(std::size_t(m_texts.size()));
}

quint32 ResultCounts::add(const ResultRow &row)
{
    const bool newFile = !m_started || m_file != row.File;
    if (newFile) {
        // One look into the table finds the file or makes its entry.
        FileKey key{qHash(row.File, QHashSeed::globalSeed()), row.File};
        // The shard is chosen by the hash's high bits: its low bits choose the bucket.
        QHash<FileKey, quint32> &ids = m_fileIds[(quint64(key.hash) >> 32) % kShards];
        const qsizetype before = ids.size();
        quint32 &id = ids[std::move(key)];
        m_fileSeenBefore = ids.size() == before;
        if (!m_fileSeenBefore) {
            id = quint32(m_fileCount++);
            m_fileTexts.push_back(0);
        }
        m_fileId = id;
        m_file = row.File;
    }
    m_startedCard = newFile || m_place != row.Card || m_contact != row.Contact;
    if (m_startedCard) {
        ++m_cardSerial;
        if (!m_fileSeenBefore)
            ++m_cards;
        m_place = row.Card;
        m_contact = row.Contact;
    }
    // The rows of a card come text by text: most have the text of the row before.
    if (!m_started || row.Text != m_text) {
        auto text = m_textIds.constFind(row.Text);
        if (text == m_textIds.cend()) {
            text = m_textIds.insert(row.Text, quint32(m_texts.size()));
            m_texts.append(row.Text);
            m_tallies.emplace_back();
        }
        m_text = row.Text;
        m_textId = *text;
    }
    m_started = true;
    Tally &tally = m_tallies[m_textId];
    ++tally.rows;
    if (tally.lastCard != m_cardSerial) {
        tally.lastCard = m_cardSerial;
        if (!m_fileSeenBefore)
            ++tally.cards;
    }
    if (tally.lastFile != qint64(m_fileId)) {
        tally.lastFile = m_fileId;
        if (noteTextInFile(m_textId, m_fileId))
            ++tally.files;
    }
    return m_textId;
}

bool ResultCounts::noteTextInFile(quint32 text, quint32 file)
{
    if (text < kTextBits) {
        quint64 &texts = m_fileTexts[file];
        const quint64 bit = quint64(1) << text;
        const bool first = (texts & bit) == 0;
        texts |= bit;
        return first;
    }
    const quint64 pair = quint64(text) << 32 | file;
    QSet<quint64> &pairs = m_textFiles[qHash(pair) % kShards];
    const qsizetype before = pairs.size();
    pairs.insert(pair);
    return pairs.size() > before;
}

QList<ResultCounts::PerText> ResultCounts::perText() const
{
    QList<PerText> counts;
    counts.reserve(m_texts.size());
    for (qsizetype t = 0; t < m_texts.size(); ++t) {
        const Tally &tally = m_tallies[std::size_t(t)];
        counts.append({m_texts.at(t), tally.rows, tally.cards, tally.files});
    }
    return counts;
}
