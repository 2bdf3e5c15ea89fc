#include "results/DuplicateRows.h"

using namespace Qt::StringLiterals;

QStringList duplicateCaptions()
{
    return {u"File"_s, u"Group"_s, u"Shared"_s, u"Contact"_s};
}

QList<ResultRow> duplicateRows(const QList<DuplicateGroup> &groups)
{
    QList<ResultRow> rows;
    for (qsizetype g = 0; g < groups.size(); ++g) {
        const DuplicateGroup &group = groups.at(g);
        const QString number = QString::number(g + 1);
        for (const DuplicateCard &card : group.cards)
            rows.append({card.file, number + u", card "_s + QString::number(card.place.number),
                         card.shared, card.contact, {}, card.place});
    }
    return rows;
}
