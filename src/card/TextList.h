#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

/// A list of texts kept in one buffer: all texts one after the other, and where each
/// ends. A card may hold millions of telephone or e-mail lines; as a QStringList each
/// would cost a string of its own and three pointers, many times the bytes of its line.
class TextList final
{
public:
    TextList() = default;
    TextList(const QStringList &texts); // NOLINT: a list converts as the QStringList it was

    qsizetype size() const { return m_ends.size(); }
    bool isEmpty() const { return m_ends.isEmpty(); }
    /// Text i (from 0); valid until the list changes.
    QStringView at(qsizetype i) const
    {
        const qsizetype begin = i == 0 ? 0 : qsizetype(m_ends.at(i - 1));
        return QStringView(m_text).sliced(begin, qsizetype(m_ends.at(i)) - begin);
    }
    QString value(qsizetype i) const { return at(i).toString(); }

    void append(QStringView text);
    void clear();

    QStringList toStringList() const;
    QString join(QStringView separator) const;
    QString join(QChar separator) const { return join(QStringView(&separator, 1)); }

    bool operator==(const TextList &) const = default;
    bool operator==(const QStringList &other) const;

private:
    QString m_text;
    // 32 bits are enough: a card file is refused above 1 GiB, far below 2^32 characters.
    QList<quint32> m_ends;
};
