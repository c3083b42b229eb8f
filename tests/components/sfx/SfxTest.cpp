#include <QString>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "Crypto.h"
#include "FileCipher.h"
#include "QtText.h"
#include "SfxExtractor.h"
#include "SfxFormat.h"
#include "StreamHelpers.h"
#include "TempDir.h"

using namespace testsupport;

namespace {

const zqvcrypto::Argon2Params kCheap{64, 1, 1};

// A self-extracting file in front of the build's extractor; the stored name
// is the source's own when none is given.
zqvcrypto::CryptoError makeSfx(const std::string& source,
                               const std::string& exe,
                               const QString& title,
                               const std::string& password,
                               const QString& storedName = {})
{
    zqvcrypto::SfxJob job;
    job.stubPath = QString::fromLatin1(ZQVSFX_PATH);
    job.source = q(source);
    job.destination = q(exe);
    job.storedName = storedName;
    job.title = title;
    return zqvcrypto::makeSelfExtracting(job, streamtest::bytesOf(password), kCheap);
}

std::string capture(const std::string& command)
{
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>&1").c_str(), "r"), ::pclose);
    std::string out;
    char buffer[512];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr)
        out += buffer;
    return out;
}

// Runs a command without a controlling terminal; returns its exit status.
int exitStatus(const std::string& command)
{
    const int status = std::system(("setsid -w sh -c '" + command + "' </dev/null >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class SfxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        writeFile(dir.file("report.pdf"), std::string(300000, 'r') + "end");
        ASSERT_EQ(::mkdir(dir.file("out").c_str(), 0700), 0);
        exe = dir.file("report.pdf.exe");
        ASSERT_EQ(makeSfx(dir.file("report.pdf"), exe, QStringLiteral("Cryptelle"), "open sesame"),
                  zqvcrypto::CryptoError::None);
        askpass("open sesame");
    }

    // A helper program that prints the password, as ZQV_ASKPASS expects.
    void askpass(const std::string& password) { writeAskpass(dir.file("askpass.sh"), password); }

    TempDir dir;
    std::string exe;
};

TEST_F(SfxTest, ExtractorNeedsOnlyTheCLibraryAndStaysSmall)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "a sanitizer build links its runtime into the extractor";
#endif
    const std::string needed = capture("readelf -d " + std::string(ZQVSFX_PATH) + " | grep NEEDED");
    std::string rest = needed;
    for (const char* allowed : {"[libc.so.6]", "[ld-linux-x86-64.so.2]", "[libm.so.6]"}) {
        for (auto at = rest.find(allowed); at != std::string::npos; at = rest.find(allowed))
            rest.erase(at, std::strlen(allowed));
    }
    EXPECT_EQ(rest.find('['), std::string::npos) << needed;
    struct stat info
    {
    };
    ASSERT_EQ(::stat(ZQVSFX_PATH, &info), 0);
    EXPECT_LE(info.st_size, 4 * 1024 * 1024);
    ASSERT_EQ(::stat(exe.c_str(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IXUSR);
}

TEST_F(SfxTest, ExtractsThroughTheAskpassHelperIntoTheOutputFolder)
{
    EXPECT_EQ(exitStatus("ZQV_ASKPASS=" + dir.file("askpass.sh") + " " + exe + " --output " + dir.file("out")), 0);
    EXPECT_EQ(listFolder(dir.file("out")), "report.pdf");
    EXPECT_EQ(readFile(dir.file("out/report.pdf")), readFile(dir.file("report.pdf")));
}

TEST_F(SfxTest, NameCollisionNeverReplacesAFile)
{
    writeFile(dir.file("out/report.pdf"), "someone else's file");
    EXPECT_EQ(exitStatus("ZQV_ASKPASS=" + dir.file("askpass.sh") + " " + exe + " --output " + dir.file("out")), 0);
    EXPECT_EQ(readFile(dir.file("out/report.pdf")), "someone else's file");
    EXPECT_EQ(readFile(dir.file("out/report (1).pdf")), readFile(dir.file("report.pdf")));
}

TEST_F(SfxTest, ExtractsNextToItselfByDefault)
{
    ASSERT_EQ(::unlink(dir.file("report.pdf").c_str()), 0);
    EXPECT_EQ(exitStatus("ZQV_ASKPASS=" + dir.file("askpass.sh") + " " + exe), 0);
    EXPECT_EQ(readFile(dir.file("report.pdf")), std::string(300000, 'r') + "end");
}

TEST_F(SfxTest, ThreeWrongPasswordsStopWithNothingWritten)
{
    askpass("not it");
    EXPECT_EQ(exitStatus("ZQV_ASKPASS=" + dir.file("askpass.sh") + " " + exe + " --output " + dir.file("out")),
              zqvsfx::kWrongPassword);
    EXPECT_EQ(listFolder(dir.file("out")), "");
    const std::string said =
        capture("ZQV_ASKPASS=" + dir.file("askpass.sh") + " setsid -w " + exe + " --output " + dir.file("out"));
    EXPECT_NE(said.find("try again"), std::string::npos) << said;
}

TEST_F(SfxTest, DamagedOrTruncatedFilesAreRefusedWithNothingWritten)
{
    std::string bytes = readFile(exe);
    const std::string flipped = dir.file("flipped.exe");
    std::string changed = bytes;
    changed[changed.size() - 1000] ^= 0x20;
    writeFile(flipped, changed);
    const std::string truncated = dir.file("truncated.exe");
    writeFile(truncated, bytes.substr(0, bytes.size() - 10));
    for (const std::string& file : {flipped, truncated}) {
        ASSERT_EQ(::chmod(file.c_str(), 0700), 0);
        EXPECT_EQ(exitStatus("ZQV_ASKPASS=" + dir.file("askpass.sh") + " " + file + " --output " + dir.file("out")),
                  zqvsfx::kDamaged)
            << file;
    }
    EXPECT_EQ(listFolder(dir.file("out")), "");
}

TEST_F(SfxTest, WithoutTerminalOrHelperItExplainsWhatToDo)
{
    EXPECT_EQ(exitStatus("env -u DISPLAY -u WAYLAND_DISPLAY -u SSH_ASKPASS " + exe + " --output " + dir.file("out")),
              zqvsfx::kNoWayToAsk);
    EXPECT_EQ(exitStatus(exe + " --bogus"), zqvsfx::kUsage);
    EXPECT_NE(capture(exe + " --help").find("Exit status"), std::string::npos);
}

// Adds what the terminal shows to `seen` until `wanted` is among it (for
// ten seconds at most); whether it came.
bool readTerminalUntil(int master, std::string& seen, const std::string& wanted)
{
    char buffer[256];
    for (int i = 0; i < 100 && seen.find(wanted) == std::string::npos; ++i) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            seen.append(buffer, static_cast<std::size_t>(n));
        }
    }
    return seen.find(wanted) != std::string::npos;
}

TEST_F(SfxTest, AsksOnTheTerminalWithoutEcho)
{
    int master = -1;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::unsetenv("ZQV_ASKPASS");
        const std::string out = dir.file("out");
        ::execl(exe.c_str(), exe.c_str(), "--output", out.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string seen;
    auto readUntil = [&](const std::string& wanted) { return readTerminalUntil(master, seen, wanted); };
    ASSERT_TRUE(readUntil("Password: ")) << seen;
    ASSERT_EQ(::write(master, "open sesame\n", 12), 12);
    readUntil("extracted");
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
    EXPECT_EQ(seen.find("open sesame"), std::string::npos) << "the password must not be echoed";
    EXPECT_EQ(readFile(dir.file("out/report.pdf")), readFile(dir.file("report.pdf")));
}

// The extractor on a terminal of its own: what it shows, and the terminal's state.
class OnTerminal
{
public:
    OnTerminal(const std::string& exe, const std::string& out, const char* askpass)
    {
        m_child = ::forkpty(&m_master, nullptr, nullptr, nullptr);
        if (m_child == 0) {
            if (askpass != nullptr)
                ::setenv("ZQV_ASKPASS", askpass, 1);
            else
                ::unsetenv("ZQV_ASKPASS");
            ::execl(exe.c_str(), exe.c_str(), "--output", out.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        m_slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY);
    }
    ~OnTerminal()
    {
        if (m_child > 0 && m_status < 0)
            ::kill(m_child, SIGKILL), ::waitpid(m_child, nullptr, 0);
        ::close(m_slave);
        ::close(m_master);
    }
    bool readUntil(const std::string& wanted) { return readTerminalUntil(m_master, seen, wanted); }
    // Collects the output until the program has ended; the test holds the
    // terminal open, so the end is seen by waiting, not by an end of input.
    int wait()
    {
        char buffer[256];
        int status = 0;
        for (bool ended = false;;) {
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                const ssize_t n = ::read(m_master, buffer, sizeof buffer);
                if (n > 0) {
                    seen.append(buffer, static_cast<std::size_t>(n));
                    continue;
                }
            }
            if (ended)
                break;
            ended = ::waitpid(m_child, &status, WNOHANG) == m_child;
        }
        m_status = status;
        return status;
    }
    bool echoOn() const
    {
        termios now{};
        return ::tcgetattr(m_slave, &now) == 0 && (now.c_lflag & ECHO) != 0;
    }
    void signal(int number) const { ::kill(m_child, number); }

    std::string seen;

private:
    int m_master = -1;
    int m_slave = -1;
    pid_t m_child = -1;
    int m_status = -1;
};

TEST_F(SfxTest, TheAskpassHelperWinsEvenOnATerminalAsTheHelpSays)
{
    const std::string help = capture(exe + " --help");
    const auto helper = help.find("ZQV_ASKPASS");
    const auto terminal = help.find("the terminal");
    ASSERT_NE(helper, std::string::npos) << help;
    EXPECT_LT(helper, terminal) << help;

    OnTerminal run(exe, dir.file("out"), dir.file("askpass.sh").c_str());
    const int status = run.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << run.seen;
    EXPECT_EQ(run.seen.find("Password"), std::string::npos) << run.seen;
    EXPECT_EQ(readFile(dir.file("out/report.pdf")), readFile(dir.file("report.pdf")));
}

TEST_F(SfxTest, AMissingAskpassHelperIsNamedInTheMessage)
{
    const std::string missing = dir.file("no-such-helper");
    OnTerminal run(exe, dir.file("out"), missing.c_str());
    const int status = run.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == zqvsfx::kNoWayToAsk) << run.seen;
    EXPECT_NE(run.seen.find(missing), std::string::npos) << run.seen;
    EXPECT_NE(run.seen.find("could not be run"), std::string::npos) << run.seen;
    EXPECT_EQ(run.seen.find("set ZQV_ASKPASS"), std::string::npos) << run.seen;
}

TEST_F(SfxTest, SignalsAtThePromptGiveTheTerminalItsEchoBack)
{
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        OnTerminal run(exe, dir.file("out"), nullptr);
        ASSERT_TRUE(run.readUntil("Password: ")) << run.seen;
        EXPECT_FALSE(run.echoOn());
        run.signal(number);
        const int status = run.wait();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == number) << number;
        EXPECT_TRUE(run.echoOn()) << "signal " << number;
    }
    EXPECT_EQ(listFolder(dir.file("out")), "");
}

TEST(SfxNamesTest, StoredNamesAreReducedToASafeVisibleBaseName)
{
    const struct
    {
        std::string stored;
        std::string created;
    } cases[] = {
        {"../../etc/passwd", "passwd"},
        {"C:\\Users\\a\\doc.txt", "doc.txt"},
        {"a\x01\x1b[31mb", "a__[31mb"},
        {"..", "extracted-file"},
        {"dir/", "extracted-file"},
        {".bashrc", "bashrc"},
        {"...profile", "profile"},
        {"invoice\u202Efdp.exe", "invoice_fdp.exe"},
        {"a\u2066b\u200Fc", "a_b_c"},
        {"caf\xc3\xa9.txt", "caf\xc3\xa9.txt"},
        {"bad\xff\xc3.txt", "bad__.txt"},
        {"c1\xc2\x9b"
         "31m",
         "c1_31m"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(zqvsfx::safeBaseName(c.stored), c.created) << c.stored;
    EXPECT_EQ(zqvsfx::printable("Title\x1b]0;owned\x07 end"), "Title?]0;owned? end");
}

TEST(SfxNamesTest, NumberedNamesFitTheLimitAndKeepTheExtension)
{
    EXPECT_EQ(zqvsfx::numberedName("report.pdf", 1), "report (1).pdf");
    EXPECT_EQ(zqvsfx::numberedName("bashrc", 2), "bashrc (2)");
    EXPECT_EQ(zqvsfx::numberedName("noext", 3), "noext (3)");
    const std::string longName = std::string(300, 'a') + ".pdf";
    for (int number : {0, 1, 12}) {
        const std::string name = zqvsfx::numberedName(longName, number);
        EXPECT_EQ(name.size(), 255u) << name;
        EXPECT_EQ(name.substr(name.size() - 4), ".pdf");
    }
    EXPECT_NE(zqvsfx::numberedName(longName, 0), zqvsfx::numberedName(longName, 1));
    // Two-byte characters are never cut in half.
    std::string accented;
    for (int i = 0; i < 200; ++i)
        accented += "\xc3\xa9";
    const std::string cut = zqvsfx::numberedName(accented + ".txt", 0);
    EXPECT_LE(cut.size(), 255u);
    EXPECT_EQ(zqvsfx::printable(cut), cut);
}

// Self-extracting files with hostile stored names and titles.
class SfxHostileTest : public ::testing::Test
{
protected:
    std::string make(const std::string& storedName, const std::string& title)
    {
        writeFile(dir.file("content"), "payload");
        const std::string exe = dir.file("hostile.exe");
        ::unlink(exe.c_str());
        const std::string password = "pw";
        EXPECT_EQ(makeSfx(dir.file("content"), exe, QString::fromUtf8(title), password, QString::fromUtf8(storedName)),
                  zqvcrypto::CryptoError::None);
        writeAskpass(dir.file("askpass.sh"), password);
        return exe;
    }
    std::string runIn(const std::string& exe, const std::string& folder)
    {
        return capture("ZQV_ASKPASS=" + dir.file("askpass.sh") + " setsid -w " + exe + " --output " + folder +
                       "; echo \"exit=$?\"");
    }

    TempDir dir;
};

TEST_F(SfxHostileTest, TooLongANameIsShortenedNotRefused)
{
    ASSERT_EQ(::mkdir(dir.file("out").c_str(), 0700), 0);
    const std::string said = runIn(make(std::string(400, 'n') + ".tar.gz", "Cryptelle"), dir.file("out"));
    EXPECT_NE(said.find("exit=0"), std::string::npos) << said;
    const std::string created = listFolder(dir.file("out"));
    EXPECT_EQ(created.size(), 255u);
    EXPECT_EQ(created.substr(created.size() - 3), ".gz");
    EXPECT_EQ(readFile(dir.file("out/" + created)), "payload");
}

TEST_F(SfxHostileTest, EscapesAndHiddenNamesNeverReachTheTerminalOrTheFolder)
{
    ASSERT_EQ(::mkdir(dir.file("out").c_str(), 0700), 0);
    const std::string said = runIn(make(".hide\x1b[2J\u202Etxt", "Title\x1b]0;owned\x07"), dir.file("out"));
    EXPECT_NE(said.find("exit=0"), std::string::npos) << said;
    EXPECT_EQ(said.find('\x1b'), std::string::npos) << said;
    EXPECT_EQ(said.find('\x07'), std::string::npos) << said;
    EXPECT_EQ(listFolder(dir.file("out")), "hide_[2J_txt");
}

TEST_F(SfxHostileTest, AnEnvelopeCutInsideItsHeadIsDamageNotAWriteFailure)
{
    // A stream whose plaintext ends in the middle of the envelope's head.
    const std::string head = zqvcrypto::sfx::encodeEnvelopeHead("name.txt", "title");
    const std::string cut = head.substr(0, head.size() - 4);
    streamtest::StringSource in(cut);
    streamtest::StringSink stream;
    const std::string password = "pw";
    ASSERT_EQ(zqvcrypto::encryptStream(in, stream, streamtest::bytesOf(password), kCheap),
              zqvcrypto::CryptoError::None);
    const std::string stub = readFile(ZQVSFX_PATH);
    const auto trailer = zqvcrypto::sfx::encodeTrailer({stub.size(), stream.out.size()});
    const std::string exe = dir.file("cut.exe");
    writeFile(exe, stub + stream.out + std::string(trailer.begin(), trailer.end()));
    ASSERT_EQ(::chmod(exe.c_str(), 0700), 0);
    writeAskpass(dir.file("askpass.sh"), password);
    ASSERT_EQ(::mkdir(dir.file("out").c_str(), 0700), 0);
    EXPECT_NE(runIn(exe, dir.file("out")).find("exit=2"), std::string::npos);
    EXPECT_EQ(listFolder(dir.file("out")), "");
}

} // namespace
