// The extractor that travels in front of every self-extracting file.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
                          "The password is asked for on the terminal (without showing it). Without a\n"
                          "terminal, the program named by ZQV_ASKPASS or SSH_ASKPASS is run with the\n"
                          "prompt as its argument and must print the password; on a desktop, zenity or\n"
                          "kdialog is used when installed. After three wrong passwords it stops.\n"
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

// Reads one line from the terminal with echo off.
std::optional<std::string> askTerminal(const std::string& prompt)
{
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (tty < 0)
        return std::nullopt;
    termios saved{};
    const bool isTerminal = ::tcgetattr(tty, &saved) == 0;
    if (isTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        quiet.c_lflag |= ICANON;
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
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
    if (isTerminal)
        ::tcsetattr(tty, TCSAFLUSH, &saved);
    writeText(tty, "\n");
    ::close(tty);
    if (!gotAny)
        return std::nullopt;
    return line;
}

// Runs a helper that prints the password on its standard output.
std::optional<std::string> askProgram(const std::vector<std::string>& command)
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

std::optional<std::string> askPassword(int attempt)
{
    const std::string prompt =
        attempt == 1 ? "Password: " : "Password (attempt " + std::to_string(attempt) + " of 3): ";
    // An explicit helper wins, so scripts and tests can answer.
    if (const char* helper = std::getenv("ZQV_ASKPASS"); helper != nullptr && *helper != '\0')
        return askProgram({helper, prompt});
    if (auto typed = askTerminal(prompt))
        return typed;
    if (const char* helper = std::getenv("SSH_ASKPASS"); helper != nullptr && *helper != '\0')
        return askProgram({helper, prompt});
    const bool desktop = std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr;
    if (desktop && onPath("zenity"))
        return askProgram({"zenity", "--password", "--title=Encrypted file"});
    if (desktop && onPath("kdialog"))
        return askProgram({"kdialog", "--password", prompt, "--title", "Encrypted file"});
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
        [&lastPassword](int attempt) {
            cleanse(lastPassword);
            auto password = askPassword(attempt);
            if (password)
                lastPassword = *password;
            return password;
        },
        [](const std::string& line) { std::printf("%s\n", line.c_str()); },
        [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    cleanse(lastPassword);
    return result;
}
