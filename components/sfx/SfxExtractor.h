#pragma once

#include <cstddef>
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

// Asks for the password; nothing when there is no way to ask, with the reason
// in `whyNot` when a particular way failed.
using PasswordPrompt = std::function<std::optional<std::string>(int attempt, std::string& whyNot)>;
using Report = std::function<void(const std::string& line)>;

// The text with every control character, escape, bidirectional override and
// invalid UTF-8 byte replaced, safe to print or to use in a name.
[[nodiscard]] std::string printable(const std::string& text, char replacement = '?');
// Reduces a stored name to one safe, visible file name: no folders, no
// leading dots, nothing that `printable` replaces.
[[nodiscard]] std::string safeBaseName(const std::string& stored);
// "name.ext", "name (1).ext", "name (2).ext", ... for the given attempt, at
// most `maxSize` bytes: the stem is shortened, the extension kept.
[[nodiscard]] std::string numberedName(const std::string& name, int number, std::size_t maxSize = 255);

[[nodiscard]] int
extract(const Options& options, const PasswordPrompt& prompt, const Report& say, const Report& complain);

} // namespace zqvsfx
