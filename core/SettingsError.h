#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <utility>

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

// What the settings store reports when a call fails: a number, the
// description, and the system's error code when a file step failed (0
// otherwise), with the reason in words when it is more than that code says
// (a named pipe where the file belongs, a file over the size limit).
class SettingsError
{
public:
    SettingsError(std::uint32_t number, const QString& description, int systemError = 0, QString reason = {});

    [[nodiscard]] std::uint32_t number() const { return m_number; }
    // The same number as a signed 32-bit value, the way older callers print it.
    [[nodiscard]] std::int32_t signedNumber() const { return static_cast<std::int32_t>(m_number); }
    [[nodiscard]] const QString& description() const { return m_description; }
    [[nodiscard]] int systemError() const { return m_systemError; }
    // Why, in words: the reason given, else the system's own words for
    // systemError(); empty when there is neither.
    [[nodiscard]] QString systemErrorText() const;

private:
    std::uint32_t m_number;
    QString m_description;
    int m_systemError;
    QString m_reason;
};

// A settings call's outcome: its value, or the error. Nothing is thrown.
template <typename T> class SettingsResult
{
public:
    SettingsResult(T value)
        : m_value(std::move(value))
    {
    }
    SettingsResult(SettingsError error)
        : m_error(std::move(error))
    {
    }

    [[nodiscard]] bool ok() const { return !m_error.has_value(); }
    explicit operator bool() const { return ok(); }
    // Only when ok().
    [[nodiscard]] const T& value() const { return *m_value; }
    [[nodiscard]] T valueOr(T fallback) const { return ok() ? *m_value : std::move(fallback); }
    // Only when not ok().
    [[nodiscard]] const SettingsError& error() const { return *m_error; }

private:
    std::optional<T> m_value;
    std::optional<SettingsError> m_error;
};

// The value of a save that worked.
struct SettingsSaved
{
};
using SettingsSaveResult = SettingsResult<SettingsSaved>;

} // namespace zqvcore
