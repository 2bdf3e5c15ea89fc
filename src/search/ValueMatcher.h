#pragma once

#include "search/TextFolding.h"

#include <QString>
#include <QStringView>

#include <memory>

/// Tests whether values match one search text. Made once per change of the criteria
/// and shared by the threads of a search: matches() is const and keeps no state.
class ValueMatcher
{
public:
    virtual ~ValueMatcher() = default;
    /// Asked only for values that are not empty.
    virtual bool matches(QStringView value) const = 0;
};

/// The matcher that compares needle as text: exactly (no folding), with letter case
/// folded, without accents, or both.
std::shared_ptr<const ValueMatcher> makeTextMatcher(const QString &needle, TextFolding folding);
