#pragma once

#include <functional>
#include <string>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

// Runs `work` in a forked child with a wall-clock alarm and a cap on its
// address space, and hands back what it wrote. A call that would block
// forever or grow without bound then ends the child (the result says so)
// instead of hanging or exhausting the whole test run.
struct ChildOutcome
{
    bool finished = false; // exited normally with status 0
    std::string output;
    std::string how; // "killed by signal N", "exit status N" when not finished
};

inline ChildOutcome
runInChild(const std::function<std::string()>& work, unsigned alarmSeconds = 20, rlim_t addressSpace = rlim_t(2) << 30)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return {false, {}, "no pipe"};
    const pid_t child = ::fork();
    if (child < 0)
        return {false, {}, "no fork"};
    if (child == 0) {
        ::close(pipeFds[0]);
        const rlimit limit{addressSpace, addressSpace};
        ::setrlimit(RLIMIT_AS, &limit);
        ::alarm(alarmSeconds);
        std::string text;
        try {
            text = work();
        } catch (...) {
            ::_exit(3);
        }
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t wrote = ::write(pipeFds[1], text.data() + done, text.size() - done);
            if (wrote <= 0)
                ::_exit(4);
            done += static_cast<size_t>(wrote);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    ChildOutcome outcome;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        outcome.output.append(buffer, static_cast<size_t>(got));
    ::close(pipeFds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        outcome.finished = true;
    else if (WIFSIGNALED(status))
        outcome.how = "killed by signal " + std::to_string(WTERMSIG(status));
    else
        outcome.how = "exit status " + std::to_string(WEXITSTATUS(status));
    return outcome;
}

} // namespace testsupport
