#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace zqvsfx {

// Exit codes of the extractor, also listed by --help.
enum ExitCode : int {
    kExtracted = 0,
    kUsage = 1,
    kDamaged = 2,
    kWrongPassword = 3,
    kCannotWrite = 4,
    kNoWayToAsk = 5,
};

inline constexpr int kAttempts = 3;

struct Options
{
    std::string selfPath;  // the self-extracting file itself
    std::string outputDir; // where to extract; next to selfPath when empty
};

// Asks for the password; nothing when there is no way to ask.
using PasswordPrompt = std::function<std::optional<std::string>(int attempt)>;
using Report = std::function<void(const std::string& line)>;

// Reduces a stored name to one safe file name: no folders, no "..", no control characters.
[[nodiscard]] std::string safeBaseName(const std::string& stored);
// "name.ext", "name (1).ext", "name (2).ext", ... for the given attempt.
[[nodiscard]] std::string numberedName(const std::string& name, int number);

[[nodiscard]] int
extract(const Options& options, const PasswordPrompt& prompt, const Report& say, const Report& complain);

} // namespace zqvsfx
