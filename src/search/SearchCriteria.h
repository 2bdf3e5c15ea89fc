#pragma once

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
    bool allProperties = false;

    /// The texts to compare with, in order.
    QStringList searchTexts() const;
};
