#pragma once

#include "card/CardBytes.h"
#include "card/CardParser.h"
#include "card/ContactFields.h"
#include "card/Utf8Text.h"
#include "search/DuplicateKeys.h"
#include "search/FieldMatching.h"
#include "search/FileSearch.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <atomic>
#include <cstring>
#include <utility>
#include <vector>

// The rows of a part of a large file, held until the parts before it are handed on, and
// the line numbers they are then given.

/// Line numbers of the places of one text, and where they stand in its file, asked in
/// increasing order: each asks only about the bytes after the last, so placing every
/// card of a file is one pass.
class LineCounter
{
public:
    explicit LineCounter(const CardBytes &text) : m_file(text), m_text(text.bytes) {}

    /// The 1-based number of the line that starts at offset.
    qint64 lineAt(qsizetype offset)
    {
        if (offset < m_at) {
            m_at = 0;
            m_line = 1;
            m_units = 0;
        }
        const QByteArrayView passed = m_text.sliced(m_at, offset - m_at);
        m_line += CardParser::countLineEnds(passed);
        if (m_file.isUtf16())
            m_units += utf16Length(passed);
        m_at = offset;
        return m_line;
    }

    /// Where the offset last asked stands in the file.
    qint64 fileOffset() const { return m_file.fileOffset(m_at, m_units); }

    /// The line that starts at offset, and where offset stands in the file.
    std::pair<qint64, qint64> placeOf(qsizetype offset)
    {
        const qint64 line = lineAt(offset);
        return {line, fileOffset()};
    }

private:
    const CardBytes &m_file;
    QByteArrayView m_text;
    qsizetype m_at = 0;
    qint64 m_line = 1;
    qint64 m_units = 0; // UTF-16 code units before m_at, for a UTF-16 file
};

/// The rows of one part of a file, held until the parts before it are done. The file
/// is the same for all and the card's line is told when they are handed on; the rest
/// is kept compactly in one run of bytes: the tag as a number into a table of field
/// names, with the element's position for a list field's element (or, for another
/// property's tag, the number past the fields and a number into a table of tags), the
/// search text as a number into a table, and the value's UTF-16 code units. A card's
/// number, place, digest and contact stand once, before its first row, the numbers as
/// differences from the card before. So a part of many matching values holds about as
/// many bytes as its lines, not a string object per cell or per card; a value of more
/// than a few thousand characters is held as its own string, shared with the row.
class HeldRows
{
public:
    void add(const QList<ResultRow> &rows)
    {
        for (const ResultRow &row : rows) {
            if (!m_written.held || m_written.number != row.Card.number) {
                appendNumber(kCardFollows);
                appendSigned(row.Card.number - m_written.number);
                appendSigned(row.Card.begin - m_written.end);
                appendSigned(row.Card.end - row.Card.begin);
                m_bytes.append(reinterpret_cast<const char *>(&row.Card.digest),
                               sizeof row.Card.digest);
                appendUnits(row.Contact);
                m_written = {row.Card.number, row.Card.end, true};
            }
            // Rows come from forEachFieldMatch: a tag names a field or another property.
            const FieldTag tag = fieldOfTag(row.Tag);
            if (tag.field < 0) {
                appendNumber(kOtherProperty);
                appendNumber(idOf(m_tagIds, m_tags, row.Tag));
            } else {
                appendNumber(kFirstField + quint64(tag.field));
                appendNumber(tag.position);
            }
            appendNumber(idOf(m_textIds, m_texts, row.Text));
            appendUnits(row.Value);
        }
    }

    /// Hands the rows on in batches, as rows of path (whose stamp is stamp) whose cards
    /// are numbered after cardsBefore others, and forgets them. When cancel is set on the
    /// way the rows after the batch in hand are left out, and the result is false.
    bool handOn(const QString &path, quint64 stamp, qint64 cardsBefore, LineCounter &lines,
                const FileSearch::RowSink &sink, const std::atomic<bool> *cancel)
    {
        // The rows come in card order, so each card's place is made once, before its
        // first row, and the line counter only goes forward.
        CardPlace place;
        QString contact;
        qint64 number = 0;
        qsizetype cardEnd = 0;
        QList<ResultRow> batch;
        const char *p = m_bytes.constData();
        const char *const end = p + m_bytes.size();
        while (p < end) {
            quint64 field = readNumber(p);
            if (field == kCardFollows) {
                number += readSigned(p);
                const qsizetype begin = cardEnd + qsizetype(readSigned(p));
                cardEnd = begin + qsizetype(readSigned(p));
                quint64 digest = 0;
                std::memcpy(&digest, p, sizeof digest);
                p += sizeof digest;
                contact = readUnits(p);
                const qint64 line = lines.lineAt(begin);
                place = {number + cardsBefore, line, begin, cardEnd, stamp, digest,
                         lines.fileOffset()};
                field = readNumber(p);
            }
            const quint64 position = readNumber(p);
            const QString &name = field == kOtherProperty
                ? m_tags.at(qsizetype(position))
                : searchedFieldTag(std::size_t(field - kFirstField));
            const QString &text = m_texts.at(qsizetype(readNumber(p)));
            QString value = readUnits(p);
            batch.append(
                {path,
                 position == 0 || field == kOtherProperty ? name : name + QString::number(position),
                 std::move(value), contact, text, place});
            if (batch.size() == FileSearch::kRowBatch) {
                sink(std::exchange(batch, {}));
                if (cancel && cancel->load(std::memory_order_relaxed))
                    break;
            }
        }
        if (!batch.isEmpty())
            sink(std::move(batch));
        const bool whole = p == end;
        m_bytes.clear();
        m_shared.clear();
        m_written = {};
        return whole;
    }

private:
    // The first number of an entry: a card's facts follow, another property's tag, or
    // a field's index past kFirstField.
    static constexpr quint64 kCardFollows = 0;
    static constexpr quint64 kOtherProperty = 1;
    static constexpr quint64 kFirstField = 2;

    // The card whose facts were written last.
    struct Written
    {
        qint64 number = 0;
        qsizetype end = 0;
        bool held = false;
    };

    static quint32 idOf(QHash<QString, quint32> &ids, QStringList &names, const QString &name)
    {
        auto it = ids.constFind(name);
        if (it == ids.cend()) {
            it = ids.insert(name, quint32(names.size()));
            names.append(name);
        }
        return *it;
    }

    void appendNumber(quint64 number)
    {
        while (number >= 0x80) {
            m_bytes.append(char((number & 0x7F) | 0x80));
            number >>= 7;
        }
        m_bytes.append(char(number));
    }
    // A difference, which is small either way: its sign in the lowest bit.
    void appendSigned(qint64 number)
    {
        appendNumber((quint64(number) << 1) ^ quint64(number >> 63));
    }
    // A long text (a value of megabytes) is held as it is, shared, rather than copied into
    // the run of bytes, which would double its room for it and then copy it out again.
    static constexpr qsizetype kSharedUnits = 4096;
    void appendUnits(const QString &text)
    {
        if (text.size() >= kSharedUnits) {
            appendNumber(2 * quint64(m_shared.size()) + 1);
            m_shared.append(text);
            return;
        }
        appendNumber(2 * quint64(text.size()));
        m_bytes.append(reinterpret_cast<const char *>(text.utf16()),
                       text.size() * qsizetype(sizeof(char16_t)));
    }

    static quint64 readNumber(const char *&p)
    {
        quint64 number = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = static_cast<unsigned char>(*p++);
            number |= quint64(byte & 0x7F) << shift;
            if (!(byte & 0x80))
                return number;
        }
    }
    static qint64 readSigned(const char *&p)
    {
        const quint64 number = readNumber(p);
        return qint64(number >> 1) ^ -qint64(number & 1);
    }
    QString readUnits(const char *&p) const
    {
        const quint64 number = readNumber(p);
        if (number & 1)
            return m_shared.at(qsizetype(number >> 1));
        const auto length = qsizetype(number >> 1);
        QString text(length, Qt::Uninitialized);
        std::memcpy(text.data(), p, std::size_t(length) * sizeof(char16_t));
        p += length * qsizetype(sizeof(char16_t));
        return text;
    }

    QByteArray m_bytes;
    QStringList m_shared; // the long texts
    Written m_written;
    QHash<QString, quint32> m_textIds;
    QStringList m_texts;
    QHash<QString, quint32> m_tagIds;
    QStringList m_tags;
};

/// Numbers and places the cards of the parts' keys as in the whole text, and
/// appends those of the first parts to keys.
inline void placeKeysOfParts(const CardBytes &text, const std::vector<qint64> &cards,
                             std::size_t parts, std::vector<FileDuplicateKeys> &partKeys,
                             FileDuplicateKeys &keys)
{
    LineCounter lines(text);
    qint64 cardsBefore = 0;
    for (std::size_t k = 0; k < parts; ++k) {
        for (FileDuplicateKeys::Card &card : partKeys[k].cards) {
            card.place.number += cardsBefore;
            card.place.line = lines.lineAt(card.place.begin);
            card.place.fileBegin = lines.fileOffset();
        }
        keys.append(std::move(partKeys[k]));
        cardsBefore += cards[k];
    }
}
