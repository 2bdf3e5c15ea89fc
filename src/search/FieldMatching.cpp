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

namespace {

const std::array<QString, kContactFieldCount> &fieldTags()
{
    static const auto tags = [] {
        std::array<QString, kContactFieldCount> names;
        const auto &fields = searchedContactFields();
        for (std::size_t i = 0; i < fields.size(); ++i)
            names[i] = QString(fields[i].name);
        return names;
    }();
    return tags;
}

} // namespace

void AddFieldMatches(const ContactFields &card, const QString &path, const QString &searchText,
                     bool ignoreCase, QList<ResultRow> &rows)
{
    AddFieldMatches(card, path, TextMatcher(searchText, ignoreCase), rows);
}

void AddFieldMatches(const ContactFields &card, const QString &path, const TextMatcher &matcher,
                     QList<ResultRow> &rows)
{
    const auto &fields = searchedContactFields();
    const auto &tags = fieldTags();
    for (std::size_t f = 0; f < fields.size(); ++f) {
        const ContactFieldInfo &field = fields[f];
        if (!field.isList()) {
            const QString &value = card.*field.text;
            if (matcher.matches(value))
                rows.append({path, tags[f], value});
            continue;
        }
        const QStringList &values = card.*field.list;
        for (qsizetype p = 0; p < values.size(); ++p) {
            if (!matcher.matches(values.at(p)))
                continue;
            rows.append({path, values.size() == 1 ? tags[f] : tags[f] + QString::number(p + 1),
                         values.at(p)});
        }
    }
}

void AddFieldMatches(const clsVCF &record, const QString &path, const QString &searchText,
                     bool ignoreCase, QList<ResultRow> &rows)
{
    AddFieldMatches(record.Fields(), path, searchText, ignoreCase, rows);
}
