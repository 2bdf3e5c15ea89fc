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

    bool operator==(const MatchOptions &) const = default;
};
