// The extractor that travels in front of every self-extracting file.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <AskPass.h>
#include <openssl/crypto.h>
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

void cleanse(std::string& text)
{
    if (!text.empty())
        OPENSSL_cleanse(text.data(), text.size());
    text.clear();
}

std::string lineText(const cryptelle::PasswordLine& line)
{
    return std::string(line.data(), line.size());
}

// Reads one line from the terminal with echo off.
std::optional<std::string> askTerminal(const std::string& prompt)
{
    cryptelle::PasswordLine line;
    switch (cryptelle::askTerminal(prompt.c_str(), line)) {
    case cryptelle::AskOutcome::Got:
        return lineText(line);
    case cryptelle::AskOutcome::TooLong:
        return std::string(); // no password of ours is that long: a wrong one
    default:
        return std::nullopt;
    }
}

// Runs a helper that prints the password on its standard output. `named`
// says where the helper came from, for the message when it fails.
std::optional<std::string>
askProgram(const std::vector<std::string>& command, const std::string& named, std::string& whyNot)
{
    cryptelle::PasswordLine line;
    const std::string helper = "The password helper " + command.front() + named;
    switch (cryptelle::askHelper(command, line)) {
    case cryptelle::AskOutcome::Got:
        return lineText(line);
    case cryptelle::AskOutcome::Empty:
        return std::string();
    case cryptelle::AskOutcome::NotRun:
        whyNot = helper + " could not be run. Nothing was extracted.";
        return std::nullopt;
    case cryptelle::AskOutcome::TooLong:
        whyNot = "The password from " + command.front() + named + " is longer than 4096 bytes. Nothing was extracted.";
        return std::nullopt;
    default:
        whyNot = helper + " gave no password. Nothing was extracted.";
        return std::nullopt;
    }
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
