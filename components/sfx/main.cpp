// The extractor that travels in front of every self-extracting file.
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <openssl/crypto.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "SfxExtractor.h"

namespace {

const char* const kHelp = "Usage: %s [--output FOLDER]\n"
                          "\n"
                          "Extracts the encrypted file carried inside this program. You need the\n"
                          "password it was made with.\n"
                          "\n"
                          "The file is extracted next to this program, or into FOLDER with --output.\n"
                          "An existing file is never replaced: if the name is taken, the file is saved\n"
                          "as \"name (1).ext\", \"name (2).ext\" and so on. Nothing is written under the\n"
                          "final name until the whole content has been decrypted and checked.\n"
                          "\n"
                          "The password is asked for in this order:\n"
                          "  1. the program named by ZQV_ASKPASS, when that is set (even on a\n"
                          "     terminal): it is run with the prompt as its argument and must print\n"
                          "     the password; if it cannot be run or fails, nothing else is tried;\n"
                          "  2. the terminal, without showing what is typed;\n"
                          "  3. the program named by SSH_ASKPASS, in the same way as ZQV_ASKPASS;\n"
                          "  4. on a desktop, zenity or kdialog, when installed.\n"
                          "After three wrong passwords it stops.\n"
                          "\n"
                          "Control characters and direction marks in the stored name and title are\n"
                          "replaced, a leading dot is dropped, and a name too long for the folder is\n"
                          "shortened (keeping its extension).\n"
                          "\n"
                          "Exit status:\n"
                          "  0  the file was extracted\n"
                          "  1  wrong usage\n"
                          "  2  this file is damaged or incomplete; nothing was extracted\n"
                          "  3  three wrong passwords; nothing was extracted\n"
                          "  4  the file could not be written\n"
                          "  5  there was no way to ask for the password\n";

void writeText(int fd, const std::string& text)
{
    // A prompt that cannot be shown is not worth failing over.
    if (::write(fd, text.data(), text.size()) < 0)
        return;
}

void cleanse(std::string& text)
{
    if (!text.empty())
        OPENSSL_cleanse(text.data(), text.size());
    text.clear();
}

// The terminal's settings while echo is off, for the signal handler.
int g_quietTty = -1;
termios g_savedTerminal{};
volatile sig_atomic_t g_echoOff = 0;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Ctrl-C, a closed terminal or a kill at the prompt must not leave the
// terminal without echo: restore it, then end as the signal would have.
void restoreTerminalAndEnd(int signal)
{
    if (g_echoOff != 0) {
        ::tcsetattr(g_quietTty, TCSANOW, &g_savedTerminal);
        static const char kNewline = '\n';
        if (::write(g_quietTty, &kNewline, 1) < 0) {
            // Nothing more can be done in a signal handler.
        }
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

class QuietTerminal
{
public:
    QuietTerminal(int tty, const termios& saved)
    {
        g_quietTty = tty;
        g_savedTerminal = saved;
        struct sigaction action
        {
        };
        action.sa_handler = restoreTerminalAndEnd;
        ::sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
            ::sigaction(kEndingSignals[i], &action, &m_previous[i]);
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        quiet.c_lflag |= ICANON;
        g_echoOff = 1;
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    ~QuietTerminal()
    {
        ::tcsetattr(g_quietTty, TCSAFLUSH, &g_savedTerminal);
        g_echoOff = 0;
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i)
            ::sigaction(kEndingSignals[i], &m_previous[i], nullptr);
    }
    QuietTerminal(const QuietTerminal&) = delete;
    QuietTerminal& operator=(const QuietTerminal&) = delete;

private:
    struct sigaction m_previous[std::size(kEndingSignals)] = {};
};

// Reads one line from the terminal with echo off.
std::optional<std::string> askTerminal(const std::string& prompt)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (tty < 0)
        return std::nullopt;
    termios saved{};
    std::optional<QuietTerminal> quiet;
    if (::tcgetattr(tty, &saved) == 0)
        quiet.emplace(tty, saved);
    writeText(tty, prompt);
    std::string line;
    char c = 0;
    bool gotAny = false;
    while (::read(tty, &c, 1) == 1) {
        gotAny = true;
        if (c == '\n' || c == '\r')
            break;
        line.push_back(c);
    }
    quiet.reset();
    writeText(tty, "\n");
    ::close(tty);
    if (!gotAny)
        return std::nullopt;
    return line;
}

// Runs a helper that prints the password on its standard output. `named`
// says where the helper came from, for the message when it fails.
std::optional<std::string>
askProgram(const std::vector<std::string>& command, const std::string& named, std::string& whyNot)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return std::nullopt;
    const pid_t child = ::fork();
    if (child < 0)
        return std::nullopt;
    if (child == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (const std::string& part : command)
            argv.push_back(const_cast<char*>(part.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    std::string output;
    char buffer[256];
    ssize_t n = 0;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0)
        output.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    OPENSSL_cleanse(buffer, sizeof buffer);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        cleanse(output);
        const std::string helper = "The password helper " + command.front() + named;
        whyNot = WIFEXITED(status) && WEXITSTATUS(status) == 127 ? helper + " could not be run. Nothing was extracted."
                                                                 : helper + " gave no password. Nothing was extracted.";
        return std::nullopt;
    }
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    return output;
}

bool onPath(const char* program)
{
    const char* path = std::getenv("PATH");
    if (path == nullptr)
        return false;
    std::string folders(path);
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = folders.find(':', start);
        const std::string candidate =
            folders.substr(start, end == std::string::npos ? std::string::npos : end - start) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return true;
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return false;
}

std::optional<std::string> askPassword(int attempt, std::string& whyNot)
{
    const std::string prompt =
        attempt == 1 ? "Password: " : "Password (attempt " + std::to_string(attempt) + " of 3): ";
    // An explicit helper wins, so scripts and tests can answer.
    if (const char* helper = std::getenv("ZQV_ASKPASS"); helper != nullptr && *helper != '\0')
        return askProgram({helper, prompt}, " (named by ZQV_ASKPASS)", whyNot);
    if (auto typed = askTerminal(prompt))
        return typed;
    if (const char* helper = std::getenv("SSH_ASKPASS"); helper != nullptr && *helper != '\0')
        return askProgram({helper, prompt}, " (named by SSH_ASKPASS)", whyNot);
    const bool desktop = std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
    if (desktop && onPath("zenity"))
        return askProgram({"zenity", "--password", "--title=Encrypted file"}, std::string(), whyNot);
    if (desktop && onPath("kdialog"))
        return askProgram({"kdialog", "--password", prompt, "--title", "Encrypted file"}, std::string(), whyNot);
    return std::nullopt;
}

std::string selfPath(const char* argv0)
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0)
        return std::string(buffer, static_cast<std::size_t>(n));
    return argv0;
}

} // namespace

int main(int argc, char** argv)
{
    zqvsfx::Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::printf(kHelp, argv[0]);
            return zqvsfx::kExtracted;
        }
        if (argument == "--output" && i + 1 < argc) {
            options.outputDir = argv[++i];
            continue;
        }
        std::fprintf(stderr, "Unknown argument: %s\n", argument.c_str());
        std::fprintf(stderr, kHelp, argv[0]);
        return zqvsfx::kUsage;
    }
    options.selfPath = selfPath(argv[0]);
    std::printf("Encrypted file. Enter the password to extract it (--help for more).\n");
    std::fflush(stdout);

    std::string lastPassword;
    const int result = zqvsfx::extract(
        options,
        [&lastPassword](int attempt, std::string& whyNot) {
            cleanse(lastPassword);
            auto password = askPassword(attempt, whyNot);
            if (password)
                lastPassword = *password;
            return password;
        },
        [](const std::string& line) { std::printf("%s\n", line.c_str()); },
        [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    cleanse(lastPassword);
    return result;
}
