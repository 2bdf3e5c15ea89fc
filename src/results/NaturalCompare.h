#pragma once

#include <QStringView>
#include <QtGlobal>

#include <compare>

/// Compares two cells in natural order: runs of the digits 0 to 9 by their number (so
/// "file2" comes before "file10", whatever their length and leading zeros), other
/// characters by their case-folded code points. Texts equal in that order are compared
/// by their code units, so that the order is total. Returns <0, 0 or >0.
int naturalCompare(QStringView a, QStringView b);

/// The start of a text's natural order in eight 16-bit tokens, the first in the highest
/// bits, for sorting many cells without reading them again and again. A smaller key
/// means a text that naturalCompare() puts first; equal keys decide nothing.
struct NaturalKey
{
    quint64 high = 0;
    quint64 low = 0;

    auto operator<=>(const NaturalKey &) const = default;
};

/// The key of text from position from on, for texts that all begin with the same
/// from code units (see naturalKeyStart()).
NaturalKey naturalKey(QStringView text, qsizetype from = 0);

/// Where the keys of texts that all begin with shared may start: the end of shared,
/// moved back so that it splits neither a run of digits nor a surrogate pair.
qsizetype naturalKeyStart(QStringView shared);
