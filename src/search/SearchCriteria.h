#pragma once

#include "search/MatchOptions.h"

#include <QString>
#include <QStringList>

/// What a search run looks for, as the window's controls say it at one moment.
struct SearchCriteria
{
    enum class Mode {
        None, ///< neither search option selected: nothing is searched
        This, ///< "Search for this:": the one search text
        Multiple, ///< "Search for multiple:": every search set in list order
    };

    Mode mode = Mode::This;
    QString text;
    QStringList sets;
    bool ignoreCase = true;
    /// "Phone numbers in any format".
    bool phoneNumbers = false;
    /// "Ignore accents".
    bool ignoreAccents = false;
    /// "Search all properties": the values of properties outside the fields too.
    bool allProperties = false;
    /// Two letters; empty for the region of the system's locale.
    QString region;
    /// "Regular expression": every search text is a pattern.
    bool regularExpression = false;
    /// "Only cards that hold every text": with several texts, a card gives its rows only
    /// when each of them matched one of its values.
    bool everyText = false;
    /// "Whole words only".
    bool wholeWords = false;
    /// "Search in:": the names of the fields, groups and properties searched (see
    /// FieldChoice); empty for every value.
    QStringList searchIn;
    /// Duplicate contacts are looked for: the duplicate keys of every card that takes
    /// part (each card with a row, or every card when there is no search text) are
    /// gathered as the cards are read.
    bool duplicates = false;

    /// True when a card must hold every text of several to give rows.
    bool needsEveryText() const { return everyText && searchTexts().size() > 1; }
    /// The texts to compare with, in order.
    QStringList searchTexts() const;
    /// How the texts are compared with values.
    MatchOptions matchOptions() const
    {
        return {ignoreCase, ignoreAccents, phoneNumbers, region, regularExpression, wholeWords};
    }

    bool operator==(const SearchCriteria &) const = default;
};

/// What either program's controls or options choose, before it becomes criteria.
struct SearchChoices
{
    /// "Search for this:" selected: the one text is searched.
    bool searchForThis = false;
    /// "Search for multiple:" selected: each set in turn (when "Search for this:" is not).
    bool searchForMultiple = false;
    QString text;
    QStringList sets;
    bool matchCase = false;
    bool phoneNumbers = false;
    bool ignoreAccents = false;
    bool allProperties = false;
    /// Two letters; empty for the region of the system's locale.
    QString region;
    bool regularExpression = false;
    bool everyText = false;
    bool wholeWords = false;
    /// The names of the fields, groups and properties searched; empty for every value.
    QStringList searchIn;

    /// Texts given as a list, as on the command line: one is searched as "Search for
    /// this:" searches, several each in turn.
    static SearchChoices forTexts(const QStringList &texts);
};

/// The criteria the choices ask for; with neither search option selected nothing is
/// searched.
SearchCriteria criteriaFor(const SearchChoices &choices);
