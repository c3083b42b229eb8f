#include "SettingsError.h"

#include "FileUpdate.h"

namespace zqvcore {

SettingsError::SettingsError(std::uint32_t number, const QString& description, int systemError, QString reason)
    : m_number(number)
    , m_description(description)
    , m_systemError(systemError)
    , m_reason(std::move(reason))
{
}

QString SettingsError::systemErrorText() const
{
    if (!m_reason.isEmpty())
        return m_reason;
    return m_systemError == 0 ? QString() : zqvcore::systemErrorText(m_systemError);
}

} // namespace zqvcore
