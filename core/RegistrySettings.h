#pragma once

#include <QString>

#include "SettingsError.h"

namespace zqvcore {

// The program's settings: text values addressed by application name, section
// and key. Each application name has one INI file in the user's configuration
// folder ("<config>/ZQV/ZQV.conf"), a section per group, every value UTF-8
// text. Application name and section are trimmed of blanks; the key is used
// exactly as given. Every call returns its result: the value, or the
// SettingsError saying why not. A settings file that is not a regular file of
// at most 1 MiB (a named pipe, a link to a device) is reported, never read
// or replaced.
class RegistrySettings
{
public:
    // The user's configuration folder: $XDG_CONFIG_HOME, else ~/.config.
    RegistrySettings();
    explicit RegistrySettings(const QString& configFolder);

    SettingsSaveResult
    SaveSetting(const QString& appName, const QString& section, const QString& key, const QString& value) const;
    // The stored text, or `defaultValue` when the file, the section or the key is missing.
    [[nodiscard]] SettingsResult<QString>
    GetSetting(const QString& appName, const QString& section, const QString& key, const QString& defaultValue) const;

    // Where an application name's settings live.
    [[nodiscard]] QString settingsFile(const QString& appName) const;
    [[nodiscard]] const QString& configFolder() const { return m_configFolder; }

    [[nodiscard]] static QString defaultConfigFolder();

private:
    QString m_configFolder;
};

} // namespace zqvcore
