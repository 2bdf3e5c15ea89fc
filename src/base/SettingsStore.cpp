#include "base/SettingsStore.h"

#include "base/Failure.h"

#include <QFile>
#include <QSettings>

using namespace Qt::StringLiterals;

namespace {

const QString kSection = u"Quillory"_s;

QString keyPath(const QString &key)
{
    return kSection + u'/' + key;
}

} // namespace

SettingsStore::SettingsStore() : m_settings(openSettings()) {}

SettingsStore::SettingsStore(const QString &filePath)
    : m_filePath(filePath), m_settings(openSettings())
{}

std::unique_ptr<QSettings> SettingsStore::openSettings() const
{
    if (m_filePath.isEmpty())
        return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                           u"Brenmoor"_s);
    return std::make_unique<QSettings>(m_filePath, QSettings::IniFormat);
}

SettingsStore::~SettingsStore()
{
    // Texts kept for later are written now; no one is left to be told of a failure.
    try {
        flush();
    } catch (...) {}
}

QString SettingsStore::ReadSetting(const QString &key, const QVariant &defaultValue) const
{
    if (const auto unsaved = m_unsaved.constFind(key); unsaved != m_unsaved.cend())
        return *unsaved;
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
    // Values whose write failed are written again with this one, so a store that
    // could not be written for a while loses nothing once it can.
    m_unsaved.insert(key, value);
    writeUnsaved();
}

void SettingsStore::WriteSettingLater(const QString &key, const QString &value)
{
    m_unsaved.insert(key, value);
}

void SettingsStore::flush()
{
    if (!m_unsaved.isEmpty())
        writeUnsaved();
}

void SettingsStore::reload()
{
    m_settings->sync();
}

void SettingsStore::writeUnsaved()
{
    keepDamagedFile();
    // A QSettings judges writability when it is made and keeps a failed status for
    // its whole life, so every write gets a fresh one, judged on its own.
    auto settings = openSettings();
    for (auto entry = m_unsaved.cbegin(); entry != m_unsaved.cend(); ++entry)
        settings->setValue(keyPath(entry.key()), entry.value());
    settings->sync();
    const bool failed = settings->status() == QSettings::AccessError;
    m_settings = std::move(settings);
    if (failed)
        throw Failure(u"Cannot write the settings file "_s + m_settings->fileName());
    m_unsaved.clear();
}

void SettingsStore::keepDamagedFile()
{
    // A file that does not parse is rewritten from the entries that could be read,
    // so its bytes are copied aside once before the first write: nothing in it is lost.
    if (m_damageKept)
        return;
    // Sections are parsed when first used; listing every key parses them all, so
    // that a fault anywhere in the file shows in the status.
    (void)m_settings->allKeys();
    if (m_settings->status() != QSettings::FormatError) {
        m_damageKept = true;
        return;
    }
    const QString file = m_settings->fileName();
    if (!QFile::exists(file)) {
        m_damageKept = true;
        return;
    }
    QString copy = file + u".damaged"_s;
    for (int n = 2; QFile::exists(copy); ++n)
        copy = file + u".damaged-"_s + QString::number(n);
    if (!QFile::copy(file, copy))
        throw Failure(u"Cannot keep a copy of the damaged settings file "_s + file);
    m_damageKept = true;
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
