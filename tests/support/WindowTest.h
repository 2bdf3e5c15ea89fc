#pragma once

#include "ScriptedDesktop.h"
#include "gui/Form1.h"
#include "base/SettingsStore.h"

#include <QComboBox>
#include <QObject>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

/// The window's control of that object name and type; a test without it stops at once.
template<typename T = QWidget> T *control(QWidget &form, const QString &name)
{
    T *widget = form.findChild<T *>(name);
    if (!widget)
        qFatal("no control %s", qPrintable(name));
    return widget;
}

template<typename T = QWidget> T *control(QWidget &form, const char *name)
{
    return control<T>(form, QString::fromLatin1(name));
}

inline QPushButton *button(QWidget &form, const char *name)
{
    return control<QPushButton>(form, name);
}

/// The entries of the window's list of search sets (Combo1), top to bottom.
inline QStringList comboEntries(QWidget &form)
{
    auto *sets = control<QComboBox>(form, "Combo1");
    QStringList entries;
    for (int i = 0; i < sets->count(); ++i)
        entries.append(sets->itemText(i));
    return entries;
}

/// What every window test starts from: a temporary folder, a scripted desktop and a
/// settings file in that folder, made afresh for each test function.
class WindowTest : public QObject
{
protected:
    /// False when the temporary folder could not be made.
    bool makeFixture()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        if (!m_dir->isValid())
            return false;
        m_desktop = std::make_unique<ScriptedDesktop>();
        m_settings
            = std::make_unique<SettingsStore>(m_dir->filePath(QStringLiteral("settings.ini")));
        return true;
    }

    void dropFixture()
    {
        m_settings.reset();
        m_desktop.reset();
        m_dir.reset();
    }

    std::unique_ptr<Form1> startWindow(const QString &programFolder)
    {
        return std::make_unique<Form1>(*m_desktop, *m_settings, programFolder);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedDesktop> m_desktop;
    std::unique_ptr<SettingsStore> m_settings;
};
