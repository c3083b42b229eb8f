#include <QString>
#include <cstdio>
#include <cstring>
#include <memory>

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Crypto.h"
#include "QtText.h"
#include "SelfExtracting.h"
#include "SfxExtractor.h"
#include "TempDir.h"

using namespace testsupport;

namespace {

const zqvcrypto::Argon2Params kCheap{64, 1, 1};

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
        zqvcrypto::SfxJob job;
        job.stubPath = QString::fromLatin1(ZQVSFX_PATH);
        job.source = q(dir.file("report.pdf"));
        job.destination = q(exe);
        job.title = QStringLiteral("Cryptelle");
        const std::string password = "open sesame";
        ASSERT_EQ(zqvcrypto::makeSelfExtracting(
                      job,
                      zqvcrypto::Bytes(reinterpret_cast<const unsigned char*>(password.data()), password.size()),
                      kCheap),
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
    auto readUntil = [&](const std::string& wanted) {
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
    };
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

TEST(SfxNamesTest, StoredNamesAreReducedToASafeBaseName)
{
    EXPECT_EQ(zqvsfx::safeBaseName("../../etc/passwd"), "passwd");
    EXPECT_EQ(zqvsfx::safeBaseName("C:\\Users\\a\\doc.txt"), "doc.txt");
    EXPECT_EQ(zqvsfx::safeBaseName("a\x01\x1b[31mb"), "a[31mb");
    EXPECT_EQ(zqvsfx::safeBaseName(".."), "extracted-file");
    EXPECT_EQ(zqvsfx::safeBaseName("dir/"), "extracted-file");
    EXPECT_EQ(zqvsfx::numberedName("report.pdf", 1), "report (1).pdf");
    EXPECT_EQ(zqvsfx::numberedName(".bashrc", 2), ".bashrc (2)");
    EXPECT_EQ(zqvsfx::numberedName("noext", 3), "noext (3)");
}

} // namespace
