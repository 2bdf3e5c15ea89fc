#pragma once

#include <QString>

/// How a search text is compared with values, beside the text itself.
struct MatchOptions
{
    bool ignoreCase = true;
    /// Letters match whatever their accents and other marks.
    bool ignoreAccents = false;
    /// A search text that looks like a phone number matches telephone values by their
    /// digits and as the same number in another form.
    bool phoneNumbers = false;
    /// The region phone numbers without a country code are read in, as two letters;
    /// empty for the region of the system's locale.
    QString region;
    /// The search text is a regular expression (RE2's syntax), matched against the value
    /// as written (phone numbers are not read as numbers then).
    bool regularExpression = false;
    /// A match must start and end at word boundaries of the value (see WordMatching.h);
    /// telephone values matched as numbers are not affected.
    bool wholeWords = false;

    bool operator==(const MatchOptions &) const = default;
};
