#pragma once

#include "search/Duplicates.h"
#include "search/ResultRow.h"

#include <QList>
#include <QStringList>

/// The captions of the duplicates table, in the results table's four columns: the
/// card's file, its group and number, what it shares and its contact.
QStringList duplicateCaptions();

/// The rows of the duplicates table: one per card of each group, in the groups' order,
/// with the group numbered from 1 and the card's number in its Group cell ("2, card 7")
/// and what it shares as its value; each row carries the card's place, so that the card
/// pane shows it and the cards can be saved.
QList<ResultRow> duplicateRows(const DuplicateGroups &groups);
