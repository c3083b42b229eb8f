#pragma once

#include <QString>
#include <cstdint>
#include <stdexcept>

namespace zqvcore {

// Numbers of the settings errors, on the base for errors an application defines.
inline constexpr std::uint32_t kSettingsErrorBase = 0x80040000u;
inline constexpr std::uint32_t kAppNameEmpty = kSettingsErrorBase + 1000;
inline constexpr std::uint32_t kSectionEmpty = kSettingsErrorBase + 1001;
inline constexpr std::uint32_t kKeyEmpty = kSettingsErrorBase + 1002;
// + the system's error code, or + the stored value's type code.
inline constexpr std::uint32_t kSettingsSystemBase = kSettingsErrorBase + 2000;

// Type codes a value that is not a plain text reports.
inline constexpr std::uint32_t kBinaryValueType = 3;
inline constexpr std::uint32_t kOtherValueType = 4;
inline constexpr std::uint32_t kListValueType = 7;

// What the settings store raises: a number, the description, and the system's
// error code when a file step failed (0 otherwise).
class SettingsError : public std::runtime_error
{
public:
    SettingsError(std::uint32_t number, const QString& description, int systemError = 0);

    [[nodiscard]] std::uint32_t number() const { return m_number; }
    // The same number as a signed 32-bit value, the way older callers print it.
    [[nodiscard]] std::int32_t signedNumber() const { return static_cast<std::int32_t>(m_number); }
    [[nodiscard]] const QString& description() const { return m_description; }
    [[nodiscard]] int systemError() const { return m_systemError; }
    // The system's own words for systemError(), empty when there is none.
    [[nodiscard]] QString systemErrorText() const;

private:
    std::uint32_t m_number;
    QString m_description;
    int m_systemError;
};

} // namespace zqvcore
