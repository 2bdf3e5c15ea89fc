#include "card/TextList.h"

TextList::TextList(const QStringList &texts)
{
    for (const QString &text : texts)
        append(text);
}

void TextList::append(QStringView text)
{
    m_text.append(text);
    if (m_size == 0)
        m_firstEnd = m_text.size();
    else
        m_ends.append(quint32(m_text.size()));
    ++m_size;
}

void TextList::append(QString &&text)
{
    if (m_size != 0) {
        append(QStringView(text));
        return;
    }
    m_text = std::move(text);
    m_firstEnd = m_text.size();
    m_size = 1;
}

void TextList::clear()
{
    *this = TextList();
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

namespace {

template<typename List> bool sameTexts(const TextList &list, const List &other)
{
    if (other.size() != list.size())
        return false;
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (list.at(i) != other.at(i))
            return false;
    }
    return true;
}

} // namespace

bool TextList::operator==(const TextList &other) const
{
    return sameTexts(*this, other);
}

bool TextList::operator==(const QStringList &other) const
{
    return sameTexts(*this, other);
}
