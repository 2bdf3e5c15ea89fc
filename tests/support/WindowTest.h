#pragma once

#include "ScriptedDesktop.h"
#include "gui/Form1.h"
#include "base/SettingsStore.h"

#include <QObject>
#include <QTemporaryDir>

#include <memory>

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
