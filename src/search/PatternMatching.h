#pragma once

#include "search/TextFolding.h"
#include "search/ValueMatcher.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// Search texts read as regular expressions in RE2's syntax. RE2 matches in time linear in
// the value, so no pattern or value can make a search hang.

/// Why the pattern is not a regular expression, read as the matcher reads it (without its
/// accents when they are removed): RE2's message and the character (1-based) where the
/// fault lies, as "bad repetition operator: ** at character 2"; empty when it is one.
QString patternProblem(const QString &pattern, bool removeAccents = false);
/// The first problem of the patterns, with the pattern it is in; empty when there is none.
QString patternsProblem(const QStringList &patterns, bool removeAccents);

/// The matcher that finds the pattern somewhere in values. Letter case is ignored by RE2's
/// case-insensitive matching; accents are ignored by removing them from the value and from
/// the characters written in the pattern. A pattern that is not valid matches nothing.
/// With wholeWords a match must be preceded and followed by the value's start or end or by
/// a character that is not a letter, a mark, a digit or a connector ("_"): RE2's \b knows
/// ASCII words only and no linear search can ask ICU's word boundaries of every match, so
/// this is the rule of \b over Unicode letters. It differs from the text search's words
/// where those join letters across punctuation ("O'Brien", "3.14") or split scripts
/// written without spaces.
std::shared_ptr<const ValueMatcher> makePatternMatcher(const QString &pattern, TextFolding folding,
                                                       bool wholeWords = false);

/// Texts that every match of the patterns holds one of, letter case aside (they are in
/// lower case), with accents removed as the matcher removes them; none when RE2 names no
/// such texts for some pattern.
std::optional<QStringList> patternLiterals(const QStringList &patterns, bool removeAccents);
