#include "AskPass.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include <fcntl.h>
#include <string.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "UniqueFd.h"

namespace cryptelle {

// Reads into a line; the one friend of PasswordLine.
class AskPassReader
{
public:
    static AskOutcome read(int fd, PasswordLine& line)
    {
        line.clear();
        bool any = false;
        for (;;) {
            char c = 0;
            const ssize_t n = ::read(fd, &c, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                line.clear();
                return AskOutcome::ReadFailed;
            }
            if (n == 0)
                break;
            any = true;
            if (c == '\n')
                break;
            if (line.m_size == PasswordLine::kCapacity) {
                line.clear();
                return AskOutcome::TooLong;
            }
            line.m_bytes[line.m_size++] = c;
        }
        if (line.m_size > 0 && line.m_bytes[line.m_size - 1] == '\r')
            line.m_bytes[--line.m_size] = '\0';
        return any ? AskOutcome::Got : AskOutcome::Empty;
    }
};

void PasswordLine::clear()
{
    ::explicit_bzero(m_bytes, sizeof m_bytes);
    m_size = 0;
}

namespace {

// The terminal's settings while echo is off, for the signal handler.
int g_tty = -1;
termios g_saved{};
volatile sig_atomic_t g_echoOff = 0;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};

// An interrupt at the prompt must not leave the terminal without echo:
// restore it, then end as the signal would have (a stop ends it as Ctrl-C
// would, since the prompt cannot be taken up again).
void restoreAndEnd(int signal)
{
    if (g_echoOff != 0) {
        ::tcsetattr(g_tty, TCSANOW, &g_saved);
        static const char kNewline = '\n';
        if (::write(g_tty, &kNewline, 1) < 0) {
            // Nothing more can be done in a signal handler.
        }
    }
    const int ending = signal == SIGTSTP ? SIGINT : signal;
    ::signal(ending, SIG_DFL);
    ::raise(ending);
}

class EchoOff
{
public:
    explicit EchoOff(int tty)
    {
        if (::tcgetattr(tty, &g_saved) != 0)
            return;
        g_tty = tty;
        struct sigaction action
        {
        };
        action.sa_handler = restoreAndEnd;
        ::sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
            ::sigaction(kEndingSignals[i], &action, &m_previous[i]);
        termios quiet = g_saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~(ECHO | ECHONL));
        quiet.c_lflag |= ICANON;
        g_echoOff = 1;
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    ~EchoOff()
    {
        if (g_tty < 0)
            return;
        ::tcsetattr(g_tty, TCSAFLUSH, &g_saved);
        g_echoOff = 0;
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
            ::sigaction(kEndingSignals[i], &m_previous[i], nullptr);
        g_tty = -1;
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    struct sigaction m_previous[std::size(kEndingSignals)] = {};
};

void say(int fd, const char* text)
{
    if (::write(fd, text, std::strlen(text)) < 0) {
        // A prompt that cannot be shown is not worth failing over.
    }
}

} // namespace

AskOutcome readPasswordLine(int fd, PasswordLine& line)
{
    return AskPassReader::read(fd, line);
}

AskOutcome askTerminal(const char* prompt, PasswordLine& line)
{
    line.clear();
    const UniqueFd tty(::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY));
    if (tty.get() < 0)
        return AskOutcome::NoTerminal;
    AskOutcome outcome = AskOutcome::Empty;
    {
        const EchoOff quiet(tty.get());
        say(tty.get(), prompt);
        outcome = AskPassReader::read(tty.get(), line);
    }
    say(tty.get(), "\n");
    return outcome;
}

AskOutcome askHelper(const std::vector<std::string>& command, PasswordLine& line)
{
    line.clear();
    if (command.empty())
        return AskOutcome::NotRun;
    // Made before the fork: the caller may have threads.
    std::vector<char*> argv;
    for (const std::string& part : command)
        argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return AskOutcome::NotRun;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return AskOutcome::NotRun;
    }
    if (child == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    const UniqueFd reader(pipeFds[0]);
    const AskOutcome outcome = AskPassReader::read(reader.get(), line);
    // Whatever the helper printed beyond the first line is not a password.
    char drain[256];
    while (::read(reader.get(), drain, sizeof drain) > 0) {
    }
    ::explicit_bzero(drain, sizeof drain);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
        line.clear();
        return AskOutcome::NotRun;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        line.clear();
        return AskOutcome::HelperFailed;
    }
    return outcome;
}

const char* helperNamedBy(const char* variable)
{
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

} // namespace cryptelle
