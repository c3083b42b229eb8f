#include "PathPattern.h"

#include <climits>
#include <vector>

#include <unistd.h>

namespace zqvdod {

bool matchesWildcard(std::string_view pattern, std::string_view name)
{
    // Iterative matcher with single backtracking point: linear in practice and
    // no recursion depth to worry about on hostile patterns.
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool hasWildcard(std::string_view text)
{
    return text.find_first_of("*?") != std::string_view::npos;
}

std::optional<std::string> absolutePath(const char* path)
{
    if (path == nullptr || *path == '\0')
        return std::nullopt;
    std::string result;
    if (*path != '/') {
        std::vector<char> cwd(PATH_MAX);
        if (::getcwd(cwd.data(), cwd.size()) == nullptr)
            return std::nullopt;
        result = cwd.data();
        if (result.back() != '/')
            result += '/';
    }
    result += path;
    if (result.size() >= PATH_MAX)
        return std::nullopt;
    return result;
}

SplitPath splitPath(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return {std::string(), path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

std::string sweepName(std::string_view name, int step)
{
    std::string result(name);
    const char letter = static_cast<char>('A' + step);
    for (char& c : result) {
        if (c != '.')
            c = letter;
    }
    return result;
}

} // namespace zqvdod
