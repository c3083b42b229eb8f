#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zqvdod {

// Matches a name against a pattern holding only '*' and '?'. Every other
// character, a leading dot included, stands for itself.
[[nodiscard]] bool matchesWildcard(std::string_view pattern, std::string_view name);
[[nodiscard]] bool hasWildcard(std::string_view text);

// The caller's path made absolute against the current directory. The last
// component is kept as written, so a link there is never resolved. Empty when
// the result would not fit the platform's path limit.
[[nodiscard]] std::optional<std::string> absolutePath(const char* path);

// Splits at the last '/': the folder keeps its trailing '/', the name may be empty.
struct SplitPath
{
    std::string folder;
    std::string name;
};
[[nodiscard]] SplitPath splitPath(const std::string& path);

// The name the file has after step `step` (0 = 'A') of the rename sweep: every
// byte of the name becomes the letter, except the dots.
[[nodiscard]] std::string sweepName(std::string_view name, int step);

} // namespace zqvdod
