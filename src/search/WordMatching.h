#pragma once

#include "search/TextFolding.h"
#include "search/ValueMatcher.h"

#include <QString>
#include <QStringView>

#include <memory>

// "Whole words only": a search text matches only where it starts and ends at a word
// boundary of the value. The boundaries are those of ICU's word break iterator on the
// value as written (the Unicode word boundaries, with ICU's dictionaries for scripts
// written without spaces): "O'Brien", "3.14", "abc123" and "ann@example.com" are one word
// each. With letter case or accents folded, the text is found in
// the value's folded form and must cover whole characters there, and the places where it
// starts and ends are taken back to the value's own positions: "strasse" is a whole word of
// "Straße 5", "s" is no word of "ß", and "jose" is one of "Jose\u0301" (an accent that
// follows the last letter belongs to it).

/// True when form, the folded form of a search text, occurs in the folded form of value
/// starting and ending at word boundaries of value. An empty form is a word of every value
/// that is not empty.
bool holdsWholeWord(QStringView value, QStringView form, TextFolding folding);

/// The matcher that finds needle as text (see makeTextMatcher) only where it is a run of
/// whole words.
std::shared_ptr<const ValueMatcher> makeWholeWordMatcher(const QString &needle,
                                                         TextFolding folding);
