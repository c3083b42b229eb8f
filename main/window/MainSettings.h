#pragma once

#include <QString>

#include "SettingsError.h"

namespace zqvwindow {

// The main window's view of the settings under the application name "ZQV".
// Both calls return their result (the value or the store's SettingsError);
// tests hand the window their own store.
class MainSettings
{
public:
    virtual ~MainSettings() = default;
    [[nodiscard]] virtual zqvcore::SettingsResult<QString>
    GetSetting(const QString& section, const QString& key, const QString& defaultValue) = 0;
    virtual zqvcore::SettingsSaveResult
    SaveSetting(const QString& section, const QString& key, const QString& value) = 0;
};

// The user's real settings store.
class UserSettings : public MainSettings
{
public:
    [[nodiscard]] zqvcore::SettingsResult<QString>
    GetSetting(const QString& section, const QString& key, const QString& defaultValue) override;
    zqvcore::SettingsSaveResult SaveSetting(const QString& section, const QString& key, const QString& value) override;
};

} // namespace zqvwindow
