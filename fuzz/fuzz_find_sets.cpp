// The stored form of the search sets: any text splits into non-empty entries
// without a crash, and those entries store and read back unchanged.

#include "search/SearchSets.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString stored = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList entries = findSetsFromText(stored);
    for (const QString &entry : entries) {
        if (entry.isEmpty() || entry.contains(QStringLiteral("::")))
            std::abort();
    }
    // Entries read from a stored form store and read back unchanged.
    if (findSetsFromText(findSetsText(entries)) != entries)
        std::abort();
    return 0;
}
