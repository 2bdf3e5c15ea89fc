#include "card/clsVCF.h"

#include "card/CardParser.h"

clsVCF::clsVCF() : m_cards{ContactFields{}} {}

void clsVCF::setFilename(const QString &path)
{
    m_filename = path;
    ParseCard();
}

void clsVCF::SelectCard(qsizetype index)
{
    if (index >= 0 && index < m_cards.size())
        m_current = index;
}

void clsVCF::ParseCard()
{
    m_current = 0;
    try {
        const CardBytes text = ReadFileText(m_filename);
        m_cards = CardParser::parseAll(text);
    } catch (...) {
        // The record never shows an earlier file's values, also when this one fails.
        m_cards = {ContactFields{}};
        throw;
    }
}

CardBytes clsVCF::ReadFileText(const QString &path)
{
    return readCardFile(path);
}
