#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

// Runs the cryptelle program the way a script does: without a controlling
// terminal, the password (when given) on descriptor 3, its output kept.
namespace clitest {

struct Result
{
    int status = -1; // exit status, or 128 + signal
    std::string out;
    std::string err;
};

struct Call
{
    std::vector<std::string> args;
    std::string password;         // sent on descriptor 3 with --passphrase-fd 3; empty: none
    std::vector<std::string> env; // "NAME=value" added to a clean environment
    std::string folder;           // working folder
};

[[nodiscard]] Result run(const Call& call);

// Starts the program and returns at once; its output is dropped.
[[nodiscard]] pid_t start(const Call& call);
[[nodiscard]] int wait(pid_t child);

} // namespace clitest
