#include "search/SearchSets.h"

#include "base/SettingsStore.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

QString colonForm(const QStringList &sets)
{
    QString stored;
    for (const QString &entry : sets)
        stored += u"::"_s + entry;
    return stored;
}

QStringList colonFormEntries(const QString &stored)
{
    return stored.split(u"::"_s, Qt::SkipEmptyParts);
}

/// The non-empty strings of a text that parses whole as a JSON array of strings.
std::optional<QStringList> jsonFormEntries(const QString &stored)
{
    if (!stored.startsWith(u'['))
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(stored.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QStringList entries;
    for (const QJsonValue &value : document.array()) {
        if (!value.isString())
            return std::nullopt;
        if (!value.toString().isEmpty())
            entries.append(value.toString());
    }
    return entries;
}

} // namespace

QString findSetsText(const QStringList &sets)
{
    const QString stored = colonForm(sets);
    if (colonFormEntries(stored) == sets)
        return stored;
    // The "::" form has always been written as "" or as text that begins with "::",
    // so a JSON array cannot be taken for a value written that way; and a value typed
    // by hand is taken for one only when the whole text parses as an array of strings.
    QJsonArray array;
    for (const QString &entry : sets)
        array.append(entry);
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

QStringList findSetsFromText(const QString &stored)
{
    if (std::optional<QStringList> entries = jsonFormEntries(stored))
        return *entries;
    return colonFormEntries(stored);
}

void StoreFindSets(SettingsStore &settings, const QStringList &sets)
{
    settings.WriteSetting(u"FindSets"_s, findSetsText(sets));
}

QStringList mergedFindSets(const QStringList &stored, const QStringList &before,
                           const QStringList &sets)
{
    if (stored == before)
        return sets;
    // How often each entry was added (above 0) or removed (below 0).
    QHash<QString, qsizetype> change;
    for (const QString &entry : sets)
        ++change[entry];
    for (const QString &entry : before)
        --change[entry];
    // A change another window has made already is not made twice: an entry both
    // windows added is stored once, and one both removed is not taken out again.
    QHash<QString, qsizetype> other;
    for (const QString &entry : stored)
        ++other[entry];
    for (const QString &entry : before)
        --other[entry];
    for (auto it = change.begin(); it != change.end(); ++it) {
        const qsizetype done = other.value(it.key());
        if (*it > 0 && done > 0)
            *it -= qMin(*it, done);
        else if (*it < 0 && done < 0)
            *it -= qMax(*it, done);
    }
    QStringList merged;
    merged.reserve(stored.size() + sets.size());
    for (const QString &entry : stored) {
        const auto removed = change.find(entry);
        if (removed != change.end() && *removed < 0)
            ++*removed;
        else
            merged.append(entry);
    }
    for (const QString &entry : sets) {
        const auto added = change.find(entry);
        if (*added > 0) {
            --*added;
            merged.append(entry);
        }
    }
    return merged;
}

QStringList StoreFindSets(SettingsStore &settings, const QStringList &sets,
                          const QStringList &before)
{
    settings.reload();
    QStringList merged = mergedFindSets(LoadFindSets(settings), before, sets);
    StoreFindSets(settings, merged);
    return merged;
}

QStringList LoadFindSets(const SettingsStore &settings)
{
    return findSetsFromText(settings.ReadSetting(u"FindSets"_s, QString()));
}
