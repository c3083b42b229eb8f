#include "MainSettings.h"

#include <QDir>
#include <QSettings>

namespace zqvwindow {
namespace {

// PLACEHOLDER until the shared settings store lands: the same file, read and
// written through QSettings, without the store's error numbers.
QString placeholderFile()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QLatin1String("/.config");
    return config + QLatin1String("/ZQV/ZQV.conf");
}

} // namespace

QString UserSettings::GetSetting(const QString& section, const QString& key, const QString& defaultValue)
{
    QSettings store(placeholderFile(), QSettings::IniFormat);
    if (store.status() != QSettings::NoError)
        throw SettingsProblem(0, QStringLiteral("Could not open registry section"));
    return store.value(section + QLatin1Char('/') + key, defaultValue).toString();
}

void UserSettings::SaveSetting(const QString& section, const QString& key, const QString& value)
{
    QSettings store(placeholderFile(), QSettings::IniFormat);
    store.setValue(section + QLatin1Char('/') + key, value);
    store.sync();
    if (store.status() != QSettings::NoError)
        throw SettingsProblem(0, QStringLiteral("Could not save the setting"));
}

} // namespace zqvwindow
