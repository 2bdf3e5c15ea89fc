#pragma once

#include "card/ByteSearch.h"
#include "card/CardParser.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <functional>

// Finding where a card ends without reading its lines, so that a card the search's filter
// rules out is counted and passed over, and a large file is cut between cards.
namespace cardreader {

/// Finds END:VCARD, ignoring case.
const ByteSearch &endLineSearch();

/// Where the END:VCARD line that starts at start ends, when that line stands on its
/// own: it starts a physical line that does not continue a soft line break, holds only
/// blanks after VCARD and is not continued by a fold. -1 otherwise.
qsizetype plainEndLineEnd(QByteArrayView data, qsizetype start);

/// The next place at or after a position where a text occurs in some bytes. The answer
/// holds for every position up to the place found, so a walk that asks again from
/// further on does not search the same bytes again.
class NextOccurrence
{
public:
    NextOccurrence(QByteArrayView data, const ByteSearch &search) : m_data(data), m_search(search)
    {}

    /// The position, or the size of the bytes when there is none.
    qsizetype from(qsizetype position)
    {
        if (position < m_from || position > m_at) {
            const qsizetype hit = m_search.indexIn(m_data.sliced(position));
            m_from = position;
            m_at = hit < 0 ? m_data.size() : position + hit;
        }
        return m_at;
    }

private:
    QByteArrayView m_data;
    const ByteSearch &m_search;
    qsizetype m_from = 0;
    qsizetype m_at = -1;
};

/// Tells where a card outside every other one ends when the filter rules it out and its
/// extent is plain: it ends at the first END:VCARD line after its BEGIN line, and no other
/// line in between begins or ends a card. The place of the next VCARD text is remembered
/// between cards, so no byte is searched twice however the cards are written.
class CardSkipper
{
public:
    CardSkipper(QByteArrayView data, const CardParser::ValueFilter &filter);

    /// Where reading goes on after the card whose BEGIN line is the physical line
    /// [offset, offset + lineSize), when it can be skipped; -1 otherwise. legacyCharset is
    /// the file's (see CardParser::ValueFilter::cardMayContain).
    qsizetype skippedEnd(qsizetype offset, qsizetype lineSize,
                         const std::function<QByteArray()> &legacyCharset);

private:
    static const ByteSearch &vcardSearch();

    QByteArrayView m_data;
    const CardParser::ValueFilter &m_filter;
    NextOccurrence m_vcards;
    qsizetype m_endLineAt = -1;
    qsizetype m_endLineEnd = -1;
};

/// Cut points of a large file between cards (see CardParser::cutPoints).
QList<qsizetype> cutPoints(QByteArrayView bytes, int parts);

/// Whether a line of the bytes reads a text value in base64 (see
/// CardParser::holdsBase64Text).
bool holdsBase64Text(QByteArrayView bytes, QByteArrayView joined);

} // namespace cardreader
