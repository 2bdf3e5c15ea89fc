// The stored form of the search sets. Any list of non-empty entries stores and reads
// back unchanged, in the "::" form whenever that form reads back unchanged and else in
// a form that never begins with "::" and is never empty. Any stored text loads without
// a crash into non-empty entries; one that does not begin with "[" loads by the "::"
// rule, as before.

#include "search/SearchSets.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdlib>

namespace {

const QString kColons = QStringLiteral("::");

QStringList colonRule(const QString &stored)
{
    return stored.split(kColons, Qt::SkipEmptyParts);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    // The input as a stored value.
    const QStringList loaded = findSetsFromText(text);
    for (const QString &entry : loaded) {
        if (entry.isEmpty())
            std::abort();
    }
    if (!text.startsWith(u'[') && loaded != colonRule(text))
        std::abort();

    // The input as a list: entries separated by NUL, the empty ones dropped.
    const QStringList sets = text.split(QChar(u'\0'), Qt::SkipEmptyParts);
    const QString stored = findSetsText(sets);
    if (findSetsFromText(stored) != sets)
        std::abort();
    QString colonForm;
    for (const QString &entry : sets)
        colonForm += kColons + entry;
    if (colonRule(colonForm) == sets ? stored != colonForm
                                     : stored.isEmpty() || stored.startsWith(kColons))
        std::abort();
    return 0;
}
