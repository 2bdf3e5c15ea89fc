#include "search/FieldMatching.h"

#include "card/clsVCF.h"
#include "search/TextMatcher.h"

#include <algorithm>

const std::array<ContactFieldInfo, kContactFieldCount> &searchedContactFields()
{
    static const auto fields = [] {
        auto sorted = declaredContactFields();
        std::sort(
            sorted.begin(), sorted.end(),
            [](const ContactFieldInfo &a, const ContactFieldInfo &b) { return a.name < b.name; });
        return sorted;
    }();
    return fields;
}

const QString &searchedFieldTag(std::size_t f)
{
    static const auto tags = [] {
        std::array<QString, kContactFieldCount> names;
        const auto &fields = searchedContactFields();
        for (std::size_t i = 0; i < fields.size(); ++i)
            names[i] = QString(fields[i].name);
        return names;
    }();
    return tags[f];
}

void AddFieldMatches(const ContactFields &card, const QString &path, const QString &searchText,
                     bool ignoreCase, QList<ResultRow> &rows)
{
    AddFieldMatches(card, path, TextMatcher(searchText, ignoreCase), rows);
}

void AddFieldMatches(const ContactFields &card, const QString &path, const TextMatcher &matcher,
                     QList<ResultRow> &rows)
{
    ResultRow cardRow;
    cardRow.File = path;
    cardRow.Text = matcher.text();
    forEachFieldMatch(card, cardRow, matcher,
                      [&rows](ResultRow &&row) { rows.append(std::move(row)); });
}

void AddFieldMatches(const clsVCF &record, const QString &path, const QString &searchText,
                     bool ignoreCase, QList<ResultRow> &rows)
{
    AddFieldMatches(record.Fields(), path, searchText, ignoreCase, rows);
}
