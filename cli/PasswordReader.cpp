#include "PasswordReader.h"

#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>

#include <UniqueFd.h>
#include <fcntl.h>
#include <openssl/crypto.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace cli {
namespace {

using zqvcrypto::SecureBuffer;

enum class LineResult { Line, Empty, TooLong, Failed };

// Reads bytes up to a newline (not kept) or the end into `line`, one at a
// time so nothing after the newline is taken from a shared descriptor.
LineResult readLine(int fd, SecureBuffer& line)
{
    SecureBuffer buffer(PasswordReader::kMaxLength);
    std::size_t size = 0;
    bool any = false;
    for (;;) {
        unsigned char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return LineResult::Failed;
        if (n == 0)
            break;
        any = true;
        if (c == '\n')
            break;
        if (size == buffer.size()) {
            c = 0;
            return LineResult::TooLong;
        }
        buffer.data()[size++] = c;
        c = 0;
    }
    if (size > 0 && buffer.data()[size - 1] == '\r')
        --size;
    if (!any)
        return LineResult::Empty;
    line = SecureBuffer(buffer.data(), size);
    return LineResult::Line;
}

// The terminal's settings while echo is off, for the signal handler.
int g_tty = -1;
termios g_saved{};
volatile sig_atomic_t g_echoOff = 0;
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};

// An interrupt at the prompt must not leave the terminal without echo.
void restoreAndEnd(int signal)
{
    if (g_echoOff != 0) {
        ::tcsetattr(g_tty, TCSANOW, &g_saved);
        static const char kNewline = '\n';
        if (::write(g_tty, &kNewline, 1) < 0) {
            // Nothing more can be done here.
        }
    }
    ::signal(signal == SIGTSTP ? SIGINT : signal, SIG_DFL);
    ::raise(signal == SIGTSTP ? SIGINT : signal);
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
        m_active = ::tcsetattr(tty, TCSAFLUSH, &quiet) == 0;
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
    bool m_active = false;
    struct sigaction m_previous[std::size(kEndingSignals)] = {};
};

void say(int fd, const char* text)
{
    if (::write(fd, text, std::strlen(text)) < 0) {
        // A prompt that cannot be shown is not worth failing over.
    }
}

enum class Asked { Got, Unavailable, Failed };

Asked askTerminal(const char* prompt, SecureBuffer& password, QString& whyNot)
{
    const cryptelle::UniqueFd tty(::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY));
    if (tty.get() < 0)
        return Asked::Unavailable;
    LineResult result = LineResult::Failed;
    {
        const EchoOff quiet(tty.get());
        say(tty.get(), prompt);
        result = readLine(tty.get(), password);
    }
    say(tty.get(), "\n");
    if (result == LineResult::Line)
        return Asked::Got;
    whyNot = result == LineResult::TooLong ? QStringLiteral("The password is longer than 4096 bytes.")
                                           : QStringLiteral("No password was typed.");
    return Asked::Failed;
}

// Runs a helper with the prompt as its argument; it prints the password.
Asked askHelper(const char* helper, const char* named, const char* prompt, SecureBuffer& password, QString& whyNot)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return Asked::Unavailable;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return Asked::Unavailable;
    }
    if (child == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        char* const argv[] = {const_cast<char*>(helper), const_cast<char*>(prompt), nullptr};
        ::execvp(helper, argv);
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    const cryptelle::UniqueFd reader(pipeFds[0]);
    const LineResult result = readLine(reader.get(), password);
    // Whatever the helper printed beyond the first line is not a password.
    char drain[256];
    while (::read(reader.get(), drain, sizeof drain) > 0) {
    }
    OPENSSL_cleanse(drain, sizeof drain);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const QString name =
        QString::fromLocal8Bit(helper) + QLatin1String(" (named by ") + QLatin1String(named) + QLatin1Char(')');
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        password = SecureBuffer();
        whyNot = WIFEXITED(status) && WEXITSTATUS(status) == 127
                     ? QLatin1String("The password helper ") + name + QLatin1String(" could not be run.")
                     : QLatin1String("The password helper ") + name + QLatin1String(" gave no password.");
        return Asked::Failed;
    }
    if (result == LineResult::Line)
        return Asked::Got;
    whyNot = result == LineResult::TooLong
                 ? QLatin1String("The password from ") + name + QLatin1String(" is longer than 4096 bytes.")
                 : QLatin1String("The password helper ") + name + QLatin1String(" gave no password.");
    return Asked::Failed;
}

const char* helperFrom(const char* variable)
{
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

Asked askOnce(const char* prompt, SecureBuffer& password, QString& whyNot)
{
    if (const char* helper = helperFrom("ZQV_ASKPASS"))
        return askHelper(helper, "ZQV_ASKPASS", prompt, password, whyNot);
    if (const Asked typed = askTerminal(prompt, password, whyNot); typed != Asked::Unavailable)
        return typed;
    if (const char* helper = helperFrom("SSH_ASKPASS"))
        return askHelper(helper, "SSH_ASKPASS", prompt, password, whyNot);
    whyNot = QStringLiteral("There is no terminal to ask for the password: use --passphrase-fd, or name a program "
                            "that prints it in ZQV_ASKPASS.");
    return Asked::Unavailable;
}

bool equal(const SecureBuffer& a, const SecureBuffer& b)
{
    return a.size() == b.size() && (a.size() == 0 || CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0);
}

} // namespace

bool PasswordReader::read(bool confirm, SecureBuffer& password, QString& whyNot) const
{
    password = SecureBuffer();
    if (m_descriptor >= 0) {
        const LineResult result = readLine(m_descriptor, password);
        if (result == LineResult::Failed) {
            whyNot = QStringLiteral("The password could not be read from descriptor %1.").arg(m_descriptor);
            return false;
        }
        if (result == LineResult::TooLong) {
            whyNot = QStringLiteral("The password is longer than 4096 bytes.");
            return false;
        }
    } else {
        if (askOnce("Password: ", password, whyNot) != Asked::Got)
            return false;
        if (confirm && !password.empty()) {
            SecureBuffer again;
            if (askOnce("Password again: ", again, whyNot) != Asked::Got)
                return false;
            if (!equal(password, again)) {
                password = SecureBuffer();
                whyNot = QStringLiteral("The passwords entered do not match.");
                return false;
            }
        }
    }
    if (password.empty()) {
        whyNot = QStringLiteral("Please enter a password.");
        return false;
    }
    return true;
}

bool passwordText(const SecureBuffer& password, QString& text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = decoder.decode(QByteArrayView(password.data(), static_cast<qsizetype>(password.size())));
    if (decoder.hasError()) {
        cleanse(text);
        return false;
    }
    return true;
}

void cleanse(QString& text)
{
    // Unshared here: the caller made it from the bytes and handed it to no one.
    std::fill(text.begin(), text.end(), QChar(u'\0'));
    text.clear();
}

} // namespace cli
