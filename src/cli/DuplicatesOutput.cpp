#include "cli/DuplicatesOutput.h"

#include "cli/JsonText.h"
#include "cli/Output.h"
#include "results/CardExport.h"

using namespace Qt::StringLiterals;

namespace {

// Groups are turned into bytes about this many characters at a time.
constexpr qsizetype kPiece = qsizetype(1) << 16;

void appendJsonGroup(QString &text, const DuplicateGroup &group,
                     const std::function<void()> &writeIfLong)
{
    text.append(u"{\"cards\": ["_s);
    for (qsizetype i = 0; i < group.cards.size(); ++i) {
        const DuplicateCard &card = group.cards.at(i);
        text.append(i == 0 ? u"{\"file\": "_s : u", {\"file\": "_s);
        appendJsonString(text, card.file, writeIfLong);
        text.append(u", \"card\": "_s + QString::number(card.place.number) + u", \"line\": "_s
                    + QString::number(card.place.line) + u", \"contact\": "_s);
        appendJsonString(text, card.contact, writeIfLong);
        text.append(u", \"shared\": "_s);
        appendJsonString(text, card.shared, writeIfLong);
        text.append(u'}');
    }
    text.append(u"], \"shared\": ["_s);
    for (qsizetype i = 0; i < group.shared.size(); ++i) {
        if (i > 0)
            text.append(u", "_s);
        appendJsonString(text, group.shared.at(i), writeIfLong);
    }
    text.append(group.weak ? u"], \"weak\": true}\n"_s : u"], \"weak\": false}\n"_s);
}

} // namespace

void DuplicatesListener::duplicateKeys(qsizetype index, FileDuplicateKeys &&keys)
{
    m_finder.addFile(m_files ? m_files->at(index).fullPath() : QString(), std::move(keys));
}

bool writeDuplicateGroups(const QList<DuplicateGroup> &groups, bool json, Output &out,
                          MatchingCards *cards)
{
    QString text;
    const std::function<void()> writeIfLong = [&] {
        if (text.size() >= kPiece) {
            out.writeText(text);
            text.resize(0);
        }
    };
    if (!json && !groups.isEmpty())
        text = duplicatesCaptionLine();
    qsizetype number = 0;
    for (const DuplicateGroup &group : groups) {
        ++number;
        if (json)
            appendJsonGroup(text, group, writeIfLong);
        else
            appendDuplicateGroupLines(text, group, number);
        if (cards) {
            for (const DuplicateCard &card : group.cards)
                cards->add({card.file, {}, {}, card.contact, {}, card.place});
        }
        writeIfLong();
    }
    out.writeText(text);
    return !out.failed();
}
