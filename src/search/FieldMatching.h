#pragma once

#include "card/ContactFields.h"
#include "results/ResultRow.h"

#include <QList>

class TextMatcher;
class clsVCF;

/// The 27 fields in the order they are searched (ascending by name).
const std::array<ContactFieldInfo, kContactFieldCount> &searchedContactFields();

/// Appends a row (path, tag, value) for every field value of the card that
/// contains the search text: text fields by their name, list elements by the
/// field's name, followed by the element's 1-based position when the list holds
/// more than one. ignoreCase selects Unicode case-insensitive comparison.
void AddFieldMatches(const ContactFields &card, const QString &path, const QString &searchText,
                     bool ignoreCase, QList<ResultRow> &rows);

/// The same with a prepared matcher, for many cards and one search text.
void AddFieldMatches(const ContactFields &card, const QString &path, const TextMatcher &matcher,
                     QList<ResultRow> &rows);

/// The same for the card the record currently describes.
void AddFieldMatches(const clsVCF &record, const QString &path, const QString &searchText,
                     bool ignoreCase, QList<ResultRow> &rows);
