#include "cli/DuplicatesOutput.h"

#include "cli/JsonText.h"
#include "cli/Output.h"
#include "results/CardExport.h"

#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Groups are turned into bytes about this many characters at a time.
constexpr qsizetype kPiece = qsizetype(1) << 16;

void appendJsonCard(QString &text, const DuplicateCard &card, bool first,
                    const std::function<void()> &writeIfLong)
{
    text.append(first ? u"{\"file\": "_s : u", {\"file\": "_s);
    appendJsonString(text, card.file, writeIfLong);
    text.append(u", \"card\": "_s + QString::number(card.place.number) + u", \"line\": "_s
                + QString::number(card.place.line) + u", \"contact\": "_s);
    appendJsonString(text, card.contact, writeIfLong);
    text.append(u", \"shared\": "_s);
    appendJsonString(text, card.shared, writeIfLong);
    text.append(u'}');
}

} // namespace

void DuplicatesListener::duplicateKeys(qsizetype index, FileDuplicateKeys &&keys)
{
    m_finder.addFile(m_files ? m_files->at(index).fullPath() : QString(), std::move(keys));
}

bool writeDuplicateGroups(const DuplicateGroups &groups, bool json, Output &out,
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
    // A group is written a card at a time: a group of many cards never stands whole.
    for (qsizetype g = 0; g < groups.size(); ++g) {
        if (json)
            text.append(u"{\"cards\": ["_s);
        bool first = true;
        const QStringList shared = groups.readGroup(g, [&](const DuplicateCard &card) {
            if (json)
                appendJsonCard(text, card, std::exchange(first, false), writeIfLong);
            else
                appendDuplicateCardLine(text, card, g + 1);
            if (cards)
                cards->add({card.file, {}, {}, card.contact, {}, card.place});
            writeIfLong();
        });
        if (json) {
            text.append(u"], \"shared\": ["_s);
            for (qsizetype i = 0; i < shared.size(); ++i) {
                if (i > 0)
                    text.append(u", "_s);
                appendJsonString(text, shared.at(i), writeIfLong);
            }
            text.append(groups.weak(g) ? u"], \"weak\": true}\n"_s : u"], \"weak\": false}\n"_s);
        } else {
            text.append(u"\r\n"_s);
        }
        writeIfLong();
    }
    out.writeText(text);
    return !out.failed();
}
