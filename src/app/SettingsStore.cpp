#include "app/SettingsStore.h"

#include "app/Failure.h"

#include <QSettings>

using namespace Qt::StringLiterals;

namespace {

const QString kSection = u"Quillory"_s;

QString keyPath(const QString &key)
{
    return kSection + u'/' + key;
}

} // namespace

SettingsStore::SettingsStore()
    : m_settings(
        std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, u"Brenmoor"_s))
{}

SettingsStore::SettingsStore(const QString &filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::ReadSetting(const QString &key, const QVariant &defaultValue) const
{
    const QVariant value = m_settings->value(keyPath(key));
    if (!value.isValid())
        return defaultValue.toString();
    // A value written as a list (by hand, with commas) comes back as a list; keep its text.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u", "_s);
    return value.toString();
}

void SettingsStore::WriteSetting(const QString &key, const QString &value)
{
    m_settings->setValue(keyPath(key), value);
    m_settings->sync();
    if (m_settings->status() == QSettings::AccessError)
        throw Failure(u"Cannot write the settings file "_s + m_settings->fileName());
}

QString SettingsStore::fileName() const
{
    return m_settings->fileName();
}

QString booleanText(bool value)
{
    return value ? u"True"_s : u"False"_s;
}

bool textToBoolean(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(u"True"_s, Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(u"False"_s, Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double number = trimmed.toDouble(&ok);
    if (!ok)
        throw Failure(u"Type mismatch"_s);
    return number != 0.0;
}
