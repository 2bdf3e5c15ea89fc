#pragma once

#include <QHash>
#include <QString>
#include <QVariant>

#include <memory>

class QSettings;

/// The per-user settings of application "Brenmoor", section "Quillory": one text
/// value per key, in an INI file under the user's configuration folder.
class SettingsStore final
{
public:
    /// The user's store (XDG_CONFIG_HOME, else ~/.config).
    SettingsStore();
    /// A store kept in the given file.
    explicit SettingsStore(const QString &filePath);
    ~SettingsStore();

    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    /// The stored text of key; the default turned into text when the key is absent
    /// (a number default gives its decimal digits).
    QString ReadSetting(const QString &key, const QVariant &defaultValue) const;
    /// Stores the text at once; throws Failure when the store cannot be written. A
    /// value that could not be written is still read back, and is written again with
    /// the next write. Before the first write into a file that does not parse, the
    /// file is copied to "<file>.damaged" (or "<file>.damaged-2", ...).
    void WriteSetting(const QString &key, const QString &value);
    /// Keeps the text to be written with the next write or flush; it reads back at
    /// once. For a value that changes key by key: every write rewrites the whole file.
    void WriteSettingLater(const QString &key, const QString &value);
    /// Writes the texts kept by WriteSettingLater; throws Failure as WriteSetting does.
    void flush();
    /// Reads the file again, so that what another program stored since shows.
    void reload();

    QString fileName() const;

private:
    std::unique_ptr<QSettings> openSettings() const;
    void writeUnsaved();
    void keepDamagedFile();

    QString m_filePath; // empty for the user's store
    std::unique_ptr<QSettings> m_settings;
    QHash<QString, QString> m_unsaved; // not yet written, or written while the store failed
    bool m_damageKept = false;
};

/// "True" or "False".
QString booleanText(bool value);

/// The text-to-Boolean conversion of stored options: "True" and "False" in any
/// letter case, or a number (zero is false, any other number true). Throws
/// Failure("Type mismatch") for any other text.
bool textToBoolean(const QString &text);
