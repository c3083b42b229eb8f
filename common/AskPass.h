#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace cryptelle {

// Asking for a password from a terminal without echo, or from a helper
// program that prints it (as ZQV_ASKPASS and SSH_ASKPASS name them). Plain C++
// and the C library only, so the self-extracting program can carry it too.
//
// The answer is one line (its newline, and a carriage return before it, not
// kept) in a buffer the caller owns and clears; nothing here keeps a copy.
class PasswordLine
{
public:
    static constexpr std::size_t kCapacity = 4096;

    PasswordLine() = default;
    ~PasswordLine() { clear(); }
    PasswordLine(const PasswordLine&) = delete;
    PasswordLine& operator=(const PasswordLine&) = delete;

    [[nodiscard]] const char* data() const { return m_bytes; }
    [[nodiscard]] std::size_t size() const { return m_size; }
    [[nodiscard]] bool empty() const { return m_size == 0; }
    // Overwrites what it held.
    void clear();

private:
    friend class AskPassReader;
    char m_bytes[kCapacity] = {};
    std::size_t m_size = 0;
};

enum class AskOutcome {
    Got,         // a line was read
    Empty,       // the end came before anything was read (no terminal input, or a helper printed nothing)
    TooLong,     // longer than PasswordLine::kCapacity bytes
    ReadFailed,  // reading failed
    NoTerminal,  // there is no terminal to ask on
    NotRun,      // the helper could not be started
    HelperFailed // the helper ended with a failure (a non-zero status or a signal)
};

// Shows `prompt` on /dev/tty and reads a line with echo off. Ctrl-C, a closed
// terminal, a kill or Ctrl-Z at the prompt restore the terminal before the
// program ends.
[[nodiscard]] AskOutcome askTerminal(const char* prompt, PasswordLine& line);

// Runs `command` (its first word looked up in PATH) and reads the first line
// it prints; anything after that line is read and dropped, so the helper
// never blocks on a full pipe.
[[nodiscard]] AskOutcome askHelper(const std::vector<std::string>& command, PasswordLine& line);

// Reads one line from an open descriptor, one byte at a time, so nothing after
// the newline is taken from a descriptor others share.
[[nodiscard]] AskOutcome readPasswordLine(int fd, PasswordLine& line);

// The helper named in an environment variable, or null when it is unset or empty.
[[nodiscard]] const char* helperNamedBy(const char* variable);

} // namespace cryptelle
