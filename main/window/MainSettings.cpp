#include "MainSettings.h"

#include "RegistrySettings.h"

namespace zqvwindow {
namespace {

const QString kAppName = QStringLiteral("ZQV");

} // namespace

zqvcore::SettingsResult<QString>
UserSettings::GetSetting(const QString& section, const QString& key, const QString& defaultValue)
{
    return zqvcore::RegistrySettings().GetSetting(kAppName, section, key, defaultValue);
}

zqvcore::SettingsSaveResult UserSettings::SaveSetting(const QString& section, const QString& key, const QString& value)
{
    return zqvcore::RegistrySettings().SaveSetting(kAppName, section, key, value);
}

} // namespace zqvwindow
