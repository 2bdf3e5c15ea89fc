#include "results/DuplicateRows.h"

#include <QSet>

using namespace Qt::StringLiterals;

QStringList duplicateCaptions()
{
    return {u"File"_s, u"Group"_s, u"Shared"_s, u"Contact"_s};
}

QList<ResultRow> duplicateRows(const DuplicateGroups &groups)
{
    QList<ResultRow> rows;
    // Cards of a group often show the same contact and share the same things: each such
    // text is held once.
    QSet<QString> texts;
    const auto once = [&texts](const QString &text) { return *texts.insert(text); };
    for (qsizetype g = 0; g < groups.size(); ++g) {
        const QString number = QString::number(g + 1);
        texts.clear();
        groups.readGroup(g, [&](const DuplicateCard &card) {
            rows.append({card.file, number + u", card "_s + QString::number(card.place.number),
                         once(card.shared), once(card.contact), {}, card.place});
        });
    }
    return rows;
}
