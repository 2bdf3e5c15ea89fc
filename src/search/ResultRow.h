#pragma once

#include <QString>
#include <QTypeInfo>

#include <QtGlobal>

#include <utility>

/// Where one card stands in its file: its number (1-based, in card order), the line
/// where it begins (1-based: its BEGIN line, or the first line of a run of lines
/// outside every card), and its bytes [begin, end) in the file's prepared text (a
/// UTF-16 file's converted to UTF-8). With them, what the search read: the file's
/// stamp (CardFile::stamp) and the card's digest (cardDigest), so that a reader can
/// tell whether the file still holds the card, 0 when not known; and where begin stands
/// in the file itself, -1 when not known.
struct CardPlace
{
    qint64 number = 0;
    qint64 line = 0;
    qsizetype begin = 0;
    qsizetype end = 0;
    quint64 file = 0;
    quint64 digest = 0;
    qint64 fileBegin = -1;

    /// The same place; the stamp and digest tell what stood there, and are the same
    /// for every row of a card.
    bool operator==(const CardPlace &other) const
    {
        return number == other.number && line == other.line && begin == other.begin
            && end == other.end;
    }
};

/// One hit: the card file's path as the file list shows it, the field's tag, the
/// matching value and the card's contact name (the four cells), then the search text
/// that matched and where the card stands in its file.
struct ResultRow
{
    ResultRow() = default;
    ResultRow(QString file, QString tag, QString value, QString contact = {}, QString text = {},
              CardPlace card = {})
        : File(std::move(file)), Tag(std::move(tag)), Value(std::move(value)),
          Contact(std::move(contact)), Text(std::move(text)), Card(card)
    {}

    QString File;
    QString Tag;
    QString Value;
    QString Contact;
    QString Text;
    CardPlace Card;

    bool operator==(const ResultRow &) const = default;
};

// A row's members can be moved as bytes: batches of rows grow without a copy per row.
Q_DECLARE_TYPEINFO(CardPlace, Q_PRIMITIVE_TYPE);
Q_DECLARE_TYPEINFO(ResultRow, Q_RELOCATABLE_TYPE);

/// Cell k of a row as the results show it: 1 File, 2 Tag, 3 Value, 4 Contact, 5 the
/// search text.
inline const QString &resultCell(const ResultRow &row, int k)
{
    switch (k) {
    case 1:
        return row.File;
    case 2:
        return row.Tag;
    case 3:
        return row.Value;
    case 5:
        return row.Text;
    default:
        return row.Contact;
    }
}
