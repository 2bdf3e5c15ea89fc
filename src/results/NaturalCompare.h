#pragma once

#include <QStringView>

/// Compares two cells in natural order: runs of the digits 0 to 9 by their number (so
/// "file2" comes before "file10", whatever their length and leading zeros), other
/// characters by their case-folded code points. Texts equal in that order are compared
/// by their code units, so that the order is total. Returns <0, 0 or >0.
int naturalCompare(QStringView a, QStringView b);
