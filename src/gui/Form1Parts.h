#pragma once

// What the window's files share: the captions that tell the search's state, and how
// stored sizes are read.

#include <QList>
#include <QString>

namespace {

const QString kStartSearching = QStringLiteral("Start Searching");
const QString kStopSearching = QStringLiteral("Stop Searching");
const QString kProgressIdle = QStringLiteral("Progress Bar");

/// Whole numbers from a stored "a,b,c" list, each from 1 to 99999; empty when the text
/// is not such a list of count numbers.
inline QList<int> storedSizes(const QString &text, qsizetype count)
{
    const QStringList parts = text.split(u',');
    if (parts.size() != count)
        return {};
    QList<int> sizes;
    for (const QString &part : parts) {
        bool ok = false;
        const int size = part.toInt(&ok);
        if (!ok || size <= 0 || size >= 100000)
            return {};
        sizes.append(size);
    }
    return sizes;
}

} // namespace
