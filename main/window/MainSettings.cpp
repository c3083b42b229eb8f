#include "MainSettings.h"

#include "RegistrySettings.h"

namespace zqvwindow {
namespace {

const QString kAppName = QStringLiteral("ZQV");

SettingsProblem problemFrom(const zqvcore::SettingsError& error)
{
    QString description = error.description();
    if (const QString reason = error.systemErrorText(); !reason.isEmpty())
        description += QStringLiteral(" (%1)").arg(reason);
    return SettingsProblem(static_cast<qint64>(error.number()), description);
}

} // namespace

QString UserSettings::GetSetting(const QString& section, const QString& key, const QString& defaultValue)
{
    try {
        return zqvcore::RegistrySettings().GetSetting(kAppName, section, key, defaultValue);
    } catch (const zqvcore::SettingsError& error) {
        throw problemFrom(error);
    }
}

void UserSettings::SaveSetting(const QString& section, const QString& key, const QString& value)
{
    try {
        zqvcore::RegistrySettings().SaveSetting(kAppName, section, key, value);
    } catch (const zqvcore::SettingsError& error) {
        throw problemFrom(error);
    }
}

} // namespace zqvwindow
