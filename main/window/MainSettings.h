#pragma once

#include <QString>
#include <stdexcept>

namespace zqvwindow {

// A settings failure as the main window shows it: the store's number and its
// description.
class SettingsProblem : public std::runtime_error
{
public:
    SettingsProblem(qint64 number, const QString& description)
        : std::runtime_error(description.toStdString())
        , m_number(number)
        , m_description(description)
    {
    }
    [[nodiscard]] qint64 number() const { return m_number; }
    [[nodiscard]] const QString& description() const { return m_description; }

private:
    qint64 m_number;
    QString m_description;
};

// The main window's view of the settings under the application name "ZQV".
// Both calls raise SettingsProblem; tests hand the window their own store.
class MainSettings
{
public:
    virtual ~MainSettings() = default;
    [[nodiscard]] virtual QString
    GetSetting(const QString& section, const QString& key, const QString& defaultValue) = 0;
    virtual void SaveSetting(const QString& section, const QString& key, const QString& value) = 0;
};

// The user's real settings store.
class UserSettings : public MainSettings
{
public:
    [[nodiscard]] QString GetSetting(const QString& section, const QString& key, const QString& defaultValue) override;
    void SaveSetting(const QString& section, const QString& key, const QString& value) override;
};

} // namespace zqvwindow
