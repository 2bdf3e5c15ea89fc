#pragma once

#include <QString>

/// One hit: the card file's path as the file list shows it, the field's tag and
/// the matching value.
struct ResultRow
{
    QString File;
    QString Tag;
    QString Value;

    bool operator==(const ResultRow &) const = default;
};
