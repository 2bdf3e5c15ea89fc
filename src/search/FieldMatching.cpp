#include "search/FieldMatching.h"

#include "search/TextMatcher.h"

#include <algorithm>

using namespace Qt::StringLiterals;

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

const std::array<quint8, kContactFieldCount> &searchedFieldDeclaredIndexes()
{
    static const auto indexes = [] {
        std::array<quint8, kContactFieldCount> table{};
        const auto &searched = searchedContactFields();
        const auto &declared = declaredContactFields();
        for (std::size_t f = 0; f < searched.size(); ++f) {
            for (std::size_t d = 0; d < declared.size(); ++d) {
                if (declared[d].name == searched[f].name)
                    table[f] = quint8(d);
            }
        }
        return table;
    }();
    return indexes;
}

const std::array<ValueKind, kContactFieldCount> &searchedFieldKinds()
{
    static const auto kinds = [] {
        std::array<ValueKind, kContactFieldCount> table{};
        const auto &fields = searchedContactFields();
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const QLatin1StringView name = fields[i].name;
            const bool phone = name == "BusinessPhones"_L1 || name == "HomePhones"_L1
                || name == "HomeFax"_L1 || name == "Mobile"_L1 || name == "Pager"_L1;
            table[i] = phone ? ValueKind::Telephone : ValueKind::Text;
        }
        return table;
    }();
    return kinds;
}

FieldTag fieldOfTag(QStringView tag)
{
    qsizetype digits = tag.size();
    while (digits > 0 && tag.at(digits - 1).isDigit())
        --digits;
    const auto &fields = searchedContactFields();
    for (std::size_t f = 0; f < fields.size(); ++f) {
        if (tag == fields[f].name)
            return {int(f), 0};
        if (fields[f].isList() && digits < tag.size() && tag.first(digits) == fields[f].name) {
            bool ok = false;
            const quint64 position = tag.sliced(digits).toULongLong(&ok);
            if (ok && position >= 1)
                return {int(f), position};
        }
    }
    return {};
}

void AddFieldMatches(const ContactFields &card, const QString &path, const QString &searchText,
                     bool ignoreCase, QList<ResultRow> &rows)
{
    AddFieldMatches(card, path, TextMatcher(searchText, ignoreCase), rows);
}

void AddFieldMatches(const ContactFields &card, const QString &path, const TextMatcher &matcher,
                     QList<ResultRow> &rows)
{
    forEachFieldMatch(card, matcher, [&](const QString &tag, QString value) {
        rows.append({path, tag, std::move(value), {}, matcher.text()});
    });
}
