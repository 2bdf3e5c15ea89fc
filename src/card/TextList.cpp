#include "card/TextList.h"

TextList::TextList(const QStringList &texts)
{
    m_ends.reserve(texts.size());
    for (const QString &text : texts)
        append(text);
}

void TextList::append(QStringView text)
{
    m_text.append(text);
    m_ends.append(quint32(m_text.size()));
}

void TextList::clear()
{
    m_text.clear();
    m_ends.clear();
}

QStringList TextList::toStringList() const
{
    QStringList texts;
    texts.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        texts.append(value(i));
    return texts;
}

QString TextList::join(QStringView separator) const
{
    QString joined;
    for (qsizetype i = 0; i < size(); ++i) {
        if (i > 0)
            joined.append(separator);
        joined.append(at(i));
    }
    return joined;
}

bool TextList::operator==(const QStringList &other) const
{
    if (other.size() != size())
        return false;
    for (qsizetype i = 0; i < size(); ++i) {
        if (at(i) != other.at(i))
            return false;
    }
    return true;
}
