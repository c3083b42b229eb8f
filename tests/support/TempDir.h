#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <utility>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with everything
// in it when the helper goes.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const std::string& path() const { return m_path; }
    [[nodiscard]] std::string file(const std::string& name) const { return m_path + "/" + name; }
    // Writes each file, given by its name inside the folder and its content,
    // with the folders above it. A name that ends in '/' is an empty folder.
    void write(std::initializer_list<std::pair<std::string, std::string>> files) const;

private:
    std::string m_path;
};

void writeFile(const std::string& path, const std::string& content);
[[nodiscard]] std::string readFile(const std::string& path);
[[nodiscard]] bool exists(const std::string& path);
// Entries of a folder, sorted, without "." and "..".
[[nodiscard]] std::string listFolder(const std::string& path);
// An executable script that prints `password`, for ZQV_ASKPASS.
void writeAskpass(const std::string& path, const std::string& password);
// Runs a shell command quietly; true when it exits with 0.
[[nodiscard]] bool run(const std::string& command);

// "f" + std::to_string(i) appends instead of prefixing a temporary: the
// packager's optimiser warns, wrongly, about "literal" + std::string&&.
inline std::string numbered(const char* prefix, long long number)
{
    std::string text = prefix;
    text += std::to_string(number);
    return text;
}

} // namespace testsupport
