#pragma once

#include <QString>
#include <chrono>

namespace zqvtools {

enum class Registration { Register, Unregister };

inline constexpr std::chrono::milliseconds kRegistrationLimit{10000};

// Loads the library at `path` and runs its "DllRegisterServer" or
// "DllUnregisterServer" on a thread of its own, waiting at most `limit`.
// True when the entry point returned within the limit. A missing file, a
// failed load or a missing entry point give false and nothing else. On
// time-out the thread is left to finish on its own and the library stays
// loaded under it; the caller goes on.
[[nodiscard]] bool SelfRegisterLibrary(const QString& path,
                                       Registration registration,
                                       std::chrono::milliseconds limit = kRegistrationLimit);

} // namespace zqvtools
