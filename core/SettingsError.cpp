#include "SettingsError.h"

#include "FileUpdate.h"

namespace zqvcore {

namespace {

std::string whatText(const QString& description, int systemError)
{
    QString text = description;
    if (systemError != 0)
        text += QLatin1String(": ") + zqvcore::systemErrorText(systemError);
    return text.toStdString();
}

} // namespace

SettingsError::SettingsError(std::uint32_t number, const QString& description, int systemError)
    : std::runtime_error(whatText(description, systemError))
    , m_number(number)
    , m_description(description)
    , m_systemError(systemError)
{
}

QString SettingsError::systemErrorText() const
{
    return m_systemError == 0 ? QString() : zqvcore::systemErrorText(m_systemError);
}

} // namespace zqvcore
