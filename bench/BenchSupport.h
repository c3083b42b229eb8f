#pragma once

// What the whole-path benchmarks share: starting a program (on a pseudo-terminal
// when it asks for a passphrase), flushing its output, dropping the page cache,
// and reporting medians with their range.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline void fail(const std::string& what)
{
    std::fprintf(stderr, "bench: %s\n", what.c_str());
    std::exit(1);
}

inline void shell(const std::string& command)
{
    if (std::system(command.c_str()) != 0)
        fail("failed: " + command);
}

// Writes back every dirty page, then empties the page cache, so the next run
// reads its input from the disk. Needs root.
inline void dropCaches()
{
    ::sync();
    std::ofstream control("/proc/sys/vm/drop_caches");
    control << "3\n";
    control.flush();
    if (!control)
        fail("cannot drop the page cache (run as root)");
}

// Reads a file once so the next run finds it in the page cache.
inline void warm(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail("cannot read " + path);
    std::vector<char> buffer(1 << 20);
    while (::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
}

inline bool fsyncPath(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

struct Launch
{
    explicit Launch(std::vector<std::string> command,
                    std::vector<std::string> env = {},
                    std::string pass = {},
                    std::vector<std::string> toFlush = {},
                    std::string workFolder = {})
        : argv(std::move(command))
        , environment(std::move(env))
        , passphrase(std::move(pass))
        , flush(std::move(toFlush))
        , folder(std::move(workFolder))
    {
    }

    std::vector<std::string> argv;
    std::vector<std::string> environment; // "NAME=value", added to ours
    // When set, the program runs on a pseudo-terminal and gets this line
    // after every prompt that mentions a passphrase.
    std::string passphrase;
    std::vector<std::string> flush; // files forced to disk after it ends, inside the timing
    std::string folder;             // working folder, when not ours
};

struct Outcome
{
    double seconds = 0;
    long maxRssKiB = 0;
    std::string output; // what it printed on standard output (or the terminal)
};

namespace detail {

[[noreturn]] inline void execute(const Launch& launch)
{
    if (!launch.folder.empty() && ::chdir(launch.folder.c_str()) != 0)
        ::_exit(126);
    for (const std::string& entry : launch.environment)
        ::putenv(const_cast<char*>(entry.c_str()));
    std::vector<char*> args;
    for (const std::string& arg : launch.argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    std::perror(args[0]);
    ::_exit(127);
}

// Hands what `fd` gives to `each(text)` until it ends or `each` says stop.
template <typename Each> void readAll(int fd, Each each)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        // On a terminal, EIO once the program has closed it.
        if (n <= 0 || !each(std::string_view(buffer, static_cast<std::size_t>(n))))
            return;
    }
}

// Answers passphrase prompts on the terminal's master side until the program closes it.
inline void talk(int master, const std::string& passphrase, std::string& seen)
{
    std::size_t answered = 0;
    readAll(master, [&](std::string_view text) {
        seen.append(text);
        std::size_t prompts = 0;
        for (auto at = seen.find("assphrase"); at != std::string::npos; at = seen.find("assphrase", at + 1))
            ++prompts;
        const auto tail = seen.find_last_not_of(" \r\n");
        if (prompts > answered && tail != std::string::npos && seen[tail] == ':') {
            const std::string line = passphrase + "\n";
            if (::write(master, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
                return false;
            answered = prompts;
        }
        return true;
    });
}

} // namespace detail

// Runs a program to its end, then flushes its outputs; the time covers both.
// Exits the benchmark if the program fails.
inline Outcome run(const Launch& launch)
{
    Outcome outcome;
    const auto start = Clock::now();
    pid_t pid = -1;
    int reader = -1;
    if (!launch.passphrase.empty()) {
        pid = ::forkpty(&reader, nullptr, nullptr, nullptr);
        if (pid == 0)
            detail::execute(launch);
        if (pid < 0)
            fail("forkpty failed");
        detail::talk(reader, launch.passphrase, outcome.output);
    } else {
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0)
            fail("pipe failed");
        pid = ::fork();
        if (pid == 0) {
            ::dup2(pipeFds[1], STDOUT_FILENO);
            detail::execute(launch);
        }
        if (pid < 0)
            fail("fork failed");
        ::close(pipeFds[1]);
        reader = pipeFds[0];
        detail::readAll(reader, [&](std::string_view text) {
            outcome.output.append(text);
            return true;
        });
    }
    ::close(reader);
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    for (const std::string& path : launch.flush) {
        if (!fsyncPath(path))
            fail("cannot flush " + path);
    }
    outcome.seconds = secondsSince(start);
    outcome.maxRssKiB = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string command;
        for (const std::string& arg : launch.argv)
            command += arg + " ";
        fail("program failed: " + command + "\n" + outcome.output);
    }
    return outcome;
}

// One measured quantity over the rounds.
struct Series
{
    std::vector<double> values;

    [[nodiscard]] double median() const
    {
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        const std::size_t n = v.size();
        return n == 0 ? 0 : (n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
    }
    [[nodiscard]] double min() const { return values.empty() ? 0 : *std::min_element(values.begin(), values.end()); }
    [[nodiscard]] double max() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }
    // "2.97 (2.90–3.10)"
    [[nodiscard]] std::string text() const
    {
        char buffer[96];
        std::snprintf(buffer, sizeof buffer, "%.2f (%.2f–%.2f)", median(), min(), max());
        return buffer;
    }
};

// Ratio of one tool's time to another's, taken round by round (both ran in
// the same round, so they met the same machine), with the median and range.
inline Series ratios(const Series& ours, const Series& peer)
{
    Series result;
    for (std::size_t i = 0; i < std::min(ours.values.size(), peer.values.size()); ++i)
        result.values.push_back(ours.values[i] / peer.values[i]);
    return result;
}

// This program's own path, to start itself again for the runs it times.
inline std::string selfPath()
{
    char path[4096] = {};
    if (::readlink("/proc/self/exe", path, sizeof path - 1) < 0)
        fail("cannot find this program");
    return path;
}

inline std::string loadText()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

} // namespace bench
