#pragma once

#include "card/ContactFields.h"
#include "search/FieldChoice.h"
#include "search/ResultRow.h"
#include "search/TextMatcher.h"

#include <QList>

/// The 27 fields in the order they are searched (ascending by name).
const std::array<ContactFieldInfo, kContactFieldCount> &searchedContactFields();
/// The tag of field f of searchedContactFields().
const QString &searchedFieldTag(std::size_t f);
/// The index in declaredContactFields() of field f of searchedContactFields().
const std::array<quint8, kContactFieldCount> &searchedFieldDeclaredIndexes();
/// The kind of the values of each field of searchedContactFields(): Telephone for
/// BusinessPhones, HomePhones, HomeFax, Mobile and Pager.
const std::array<ValueKind, kContactFieldCount> &searchedFieldKinds();

/// What a row's tag names: the field (an index into searchedContactFields(), -1 for
/// none, as for another property's tag) and, for an element of a list field, its 1-based
/// position (0 when the tag is the field's name alone).
struct FieldTag
{
    int field = -1;
    quint64 position = 0;
};
FieldTag fieldOfTag(QStringView tag);

/// Calls add(tag, value) for every field value of the card that contains the search
/// text, in order: text fields by their name, list elements by the field's name,
/// followed by the element's 1-based position when the list holds more than one; then
/// the values of the card's other properties, in their order, by the property's tag.
/// A text field whose value does not contain the search text gives, in its place, the
/// values that later lines wrote over in it that do (ContactFields::Overwritten), in
/// line order. Only the fields and properties the choice holds are searched. add may
/// return false to stop there; the answer is then false, else true.
template<typename Add>
bool forEachFieldMatchWhile(const ContactFields &card, const TextMatcher &matcher, Add &&add,
                            const FieldChoice &choice = {})
{
    const auto &fields = searchedContactFields();
    const auto &kinds = searchedFieldKinds();
    const auto &declaredIndexes = searchedFieldDeclaredIndexes();
    const OverwrittenValues &overwritten = card.Overwritten;
    for (std::size_t f = 0; f < fields.size(); ++f) {
        if (!choice.holdsField(f))
            continue;
        const ContactFieldInfo &field = fields[f];
        if (!field.isList()) {
            const QString &value = card.*field.text;
            if (matcher.matches(value, kinds[f])) {
                if (!add(searchedFieldTag(f), value))
                    return false;
            } else if (overwritten.fieldMask != 0) {
                const quint8 declared = declaredIndexes[f];
                if (!overwritten.holds(declared))
                    continue;
                for (qsizetype i = 0; i < overwritten.texts.size(); ++i) {
                    if (quint8(overwritten.fields.at(i)) == declared
                        && matcher.matches(overwritten.texts.at(i), kinds[f])
                        && !add(searchedFieldTag(f), overwritten.texts.value(i)))
                        return false;
                }
            }
            continue;
        }
        const TextList &values = card.*field.list;
        for (qsizetype p = 0; p < values.size(); ++p) {
            if (!matcher.matches(values.at(p), kinds[f]))
                continue;
            if (!add(values.size() == 1 ? searchedFieldTag(f)
                                        : searchedFieldTag(f) + QString::number(p + 1),
                     values.value(p)))
                return false;
        }
    }
    if (!choice.wantsOthers())
        return true;
    const OtherProperties &others = card.Others;
    for (qsizetype i = 0; i < others.values.size(); ++i) {
        if (choice.holdsOther(others.tags.at(i)) && matcher.matches(others.values.at(i))
            && !add(others.tags.value(i), others.values.value(i)))
            return false;
    }
    return true;
}

/// The same for an add that takes every value.
template<typename Add>
void forEachFieldMatch(const ContactFields &card, const TextMatcher &matcher, Add &&add,
                       const FieldChoice &choice = {})
{
    forEachFieldMatchWhile(
        card, matcher,
        [&add](const QString &tag, QString value) {
            add(tag, std::move(value));
            return true;
        },
        choice);
}

/// True when some value of the card that the choice holds contains the search text.
inline bool holdsFieldMatch(const ContactFields &card, const TextMatcher &matcher,
                            const FieldChoice &choice = {})
{
    return !forEachFieldMatchWhile(
        card, matcher, [](const QString &, const QString &) { return false; }, choice);
}

/// Appends the rows of forEachFieldMatch. ignoreCase selects Unicode case-insensitive
/// comparison.
void AddFieldMatches(const ContactFields &card, const QString &path, const QString &searchText,
                     bool ignoreCase, QList<ResultRow> &rows);

/// The same with a prepared matcher, for many cards and one search text.
void AddFieldMatches(const ContactFields &card, const QString &path, const TextMatcher &matcher,
                     QList<ResultRow> &rows);
