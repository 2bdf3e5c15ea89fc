#include "card/clsVCF.h"

#include "card/CardParser.h"
#include "card/FileExists.h"

#include <QFileInfo>

// A 0-byte file reads as this text, which holds no colon, so it yields an empty record.
static constexpr char kEmptyFileText[] = "empty file";

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
    if (!FileExists(path))
        return {};
    // A folder or device has no size worth asking about; readWholeFile refuses it.
    const QFileInfo info(path);
    if (info.isFile() && info.size() == 0)
        return {QByteArray(kEmptyFileText), CardEncoding::Legacy};
    return prepareCardBytes(readWholeFile(path));
}
