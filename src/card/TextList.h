#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

/// A list of texts kept in one buffer: all texts one after the other, and where each
/// ends. A card may hold millions of telephone or e-mail lines; as a QStringList each
/// would cost a string of its own and three pointers, many times the bytes of its line.
/// Most lists hold one text: it is kept as it came, without a copy or a table of ends.
class TextList final
{
public:
    TextList() = default;
    TextList(const QStringList &texts); // NOLINT: a list converts as the QStringList it was

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    /// Text i (from 0); valid until the list changes.
    QStringView at(qsizetype i) const
    {
        const qsizetype begin = i == 0 ? 0 : end(i - 1);
        return QStringView(m_text).sliced(begin, end(i) - begin);
    }
    QString value(qsizetype i) const { return m_size == 1 ? m_text : at(i).toString(); }

    void append(QStringView text);
    void append(QString &&text);
    void clear();

    QStringList toStringList() const;
    QString join(QStringView separator) const;
    QString join(QChar separator) const { return join(QStringView(&separator, 1)); }

    bool operator==(const TextList &other) const;
    bool operator==(const QStringList &other) const;

private:
    qsizetype end(qsizetype i) const { return i == 0 ? m_firstEnd : qsizetype(m_ends.at(i - 1)); }

    QString m_text;
    qsizetype m_size = 0;
    qsizetype m_firstEnd = 0;
    // The ends of the texts after the first. 32 bits are enough: a card file is refused
    // above 1 GiB, far below 2^32 characters.
    QList<quint32> m_ends;
};
