// Kills each operation at random points and checks what a crash leaves:
// the source intact, the destination absent or complete and valid, and no
// file of ours in the folder.
#include <QString>
#include <chrono>
#include <csignal>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include <UnnamedOutput.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FileCipher.h"
#include "QtText.h"
#include "TempDir.h"

extern char** environ;

using namespace testsupport;

namespace {

constexpr int kKills = 20;
const std::string kPassword = "crash test";

std::string patterned(std::size_t size, unsigned seed)
{
    std::string text(size, '\0');
    std::uint32_t state = seed;
    for (char& c : text) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return text;
}

pid_t start(const std::vector<std::string>& arguments, const std::vector<std::string>& extraEnvironment = {})
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environment(extraEnvironment);
    for (char** entry = environ; *entry != nullptr; ++entry)
        environment.emplace_back(*entry);
    std::vector<char*> envp;
    for (const std::string& entry : environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t child = -1;
    const int spawned = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? child : -1;
}

int finish(pid_t child)
{
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::set<std::string> namesIn(const std::string& folder)
{
    std::set<std::string> names;
    std::istringstream listed(listFolder(folder));
    for (std::string name; listed >> name;)
        names.insert(name);
    return names;
}

std::string decryptToString(const TempDir& scratch, const std::string& encrypted)
{
    const std::string out = scratch.file("check");
    ::unlink(out.c_str());
    const zqvcrypto::FileJob job{q(encrypted), q(out), false, false, {}, {}};
    const auto bytes = zqvcrypto::Bytes(reinterpret_cast<const unsigned char*>(kPassword.data()), kPassword.size());
    if (zqvcrypto::decryptFile(job, bytes) != zqvcrypto::CryptoError::None)
        return "<not a valid encrypted file>";
    return readFile(out);
}

class CrashTest : public ::testing::TestWithParam<std::string>
{
protected:
    void SetUp() override
    {
        work = dir.file("work");
        ASSERT_EQ(::mkdir(work.c_str(), 0700), 0);
        plain = patterned(3 << 20, 7);
        writeFile(work + "/plain.bin", plain);
        writeAskpass(scratch.file("askpass.sh"), kPassword);
        const std::string op = GetParam();
        if (op == "decrypt" || op == "extract") {
            const std::string made = work + (op == "decrypt" ? "/plain.bin.zqv" : "/plain.bin.exe");
            ASSERT_EQ(
                finish(start(
                    {CRASH_WORKER, op == "decrypt" ? "encrypt" : "make", work + "/plain.bin", made, ZQVSFX_PATH})),
                0);
            ASSERT_EQ(::rename(work.c_str(), dir.file("kept").c_str()), 0);
            ASSERT_EQ(::mkdir(work.c_str(), 0700), 0);
            source = work + (op == "decrypt" ? "/plain.bin.zqv" : "/plain.bin.exe");
            ASSERT_EQ(::rename((dir.file("kept") + made.substr(work.size())).c_str(), source.c_str()), 0);
            destination = op == "decrypt" ? work + "/plain.bin" : work + "/out/plain.bin";
            if (op == "extract") {
                ASSERT_EQ(::mkdir((work + "/out").c_str(), 0700), 0);
            }
        } else if (op == "pack") {
            source = work + "/tree";
            ASSERT_EQ(::mkdir(source.c_str(), 0700), 0);
            ASSERT_EQ(::mkdir((source + "/sub").c_str(), 0700), 0);
            writeFile(source + "/a.bin", patterned(1 << 20, 1));
            writeFile(source + "/sub/b.bin", patterned(2 << 20, 2));
            destination = work + "/tree.zip.zqv";
        } else {
            source = work + "/plain.bin";
            destination = work + (op == "encrypt" ? "/plain.bin.zqv" : "/plain.bin.exe");
        }
        sourceBefore = snapshot(source);
    }

    std::string snapshot(const std::string& path) const
    {
        struct stat info
        {
        };
        if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            return readFile(path + "/a.bin") + readFile(path + "/sub/b.bin");
        return readFile(path);
    }

    pid_t launch() const
    {
        const std::string op = GetParam();
        if (op == "extract")
            return start({source, "--output", work + "/out"}, {"ZQV_ASKPASS=" + scratch.file("askpass.sh")});
        return start({CRASH_WORKER, op, source, destination, ZQVSFX_PATH});
    }

    // The destination, when present, holds exactly what the operation makes.
    std::string destinationProblem() const
    {
        const std::string op = GetParam();
        if (op == "decrypt" || op == "extract")
            return readFile(destination) == plain ? std::string() : "wrong plaintext";
        if (op == "encrypt")
            return decryptToString(scratch, destination) == plain ? std::string() : "does not decrypt to the source";
        if (op == "pack") {
            const std::string zip = scratch.file("check.zip");
            ::unlink(zip.c_str());
            writeFile(zip, decryptToString(scratch, destination));
            return run("unzip -tq '" + zip + "'") ? std::string() : "not a valid archive";
        }
        const std::string out = scratch.file("extracted");
        if (!run("rm -rf '" + out + "' && mkdir '" + out + "'"))
            return "no folder to extract into";
        if (finish(start({destination, "--output", out}, {"ZQV_ASKPASS=" + scratch.file("askpass.sh")})) != 0)
            return "does not extract";
        return readFile(out + "/plain.bin") == plain ? std::string() : "extracts something else";
    }

    TempDir dir;
    TempDir scratch;
    std::string work;
    std::string plain;
    std::string source;
    std::string destination;
    std::string sourceBefore;
};

TEST_P(CrashTest, AKillAnywhereLeavesTheSourceAndNothingHalfWritten)
{
    // How long one uninterrupted run takes, to spread the kills over it.
    const auto began = std::chrono::steady_clock::now();
    ASSERT_EQ(finish(launch()), 0);
    const auto took = std::chrono::steady_clock::now() - began;
    ASSERT_TRUE(destinationProblem().empty());
    ASSERT_EQ(::unlink(destination.c_str()), 0);
    const std::set<std::string> before = namesIn(work);
    const std::string outFolder = work + "/out";

    std::mt19937 random(20261207u + static_cast<unsigned>(GetParam().size()));
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
    std::uniform_int_distribution<long> at(0, span + span / 10);
    int completed = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        const long delay = at(random);
        const pid_t child = launch();
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(delay));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);

        SCOPED_TRACE("killed after " + std::to_string(delay) + " us of " + std::to_string(span));
        EXPECT_EQ(snapshot(source), sourceBefore);
        std::set<std::string> now = namesIn(work);
        if (exists(destination)) {
            ++completed;
            EXPECT_EQ(destinationProblem(), "");
            ASSERT_EQ(::unlink(destination.c_str()), 0);
            now = namesIn(work);
        }
        EXPECT_EQ(now, before) << "a file of ours was left in the folder";
        if (GetParam() == "extract") {
            EXPECT_EQ(listFolder(outFolder), "");
        }
    }
    // Some kills should land before the end, or the test proves nothing.
    EXPECT_LT(completed, kKills);
}

// Where outputs must have a name while they are written, a kill leaves a
// partial behind; the next start (what wipeRecordedLeftovers does for either
// program) finds it from the per-user record, whatever folder it works in.
class NamedFallbackCrashTest : public CrashTest
{
};

TEST_P(NamedFallbackCrashTest, APartialLeftByAKillIsGoneAfterTheNextStart)
{
    const std::string state = scratch.file("state");
    ASSERT_EQ(::setenv("XDG_STATE_HOME", state.c_str(), 1), 0);
    const std::vector<std::string> environment{"CRASH_NAMED_FALLBACK=1", "XDG_STATE_HOME=" + state};
    const std::vector<std::string> arguments{CRASH_WORKER, GetParam(), source, destination, ZQVSFX_PATH};
    const auto began = std::chrono::steady_clock::now();
    ASSERT_EQ(finish(start(arguments, environment)), 0);
    const auto took = std::chrono::steady_clock::now() - began;
    ASSERT_EQ(::unlink(destination.c_str()), 0);
    const std::set<std::string> before = namesIn(work);

    std::mt19937 random(20261208u + static_cast<unsigned>(GetParam().size()));
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
    std::uniform_int_distribution<long> at(0, span);
    int leftBehind = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        const long delay = at(random);
        const pid_t child = start(arguments, environment);
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(std::chrono::microseconds(delay));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        SCOPED_TRACE("killed after " + std::to_string(delay) + " us of " + std::to_string(span));
        ::unlink(destination.c_str());
        if (namesIn(work) != before)
            ++leftBehind;
        cryptelle::wipeRecordedLeftovers();
        EXPECT_EQ(namesIn(work), before) << "a partial of ours survived the next start";
        EXPECT_EQ(snapshot(source), sourceBefore);
    }
    ::unsetenv("XDG_STATE_HOME");
    // Kills that left nothing would prove nothing.
    EXPECT_GT(leftBehind, 0);
}

INSTANTIATE_TEST_SUITE_P(Operations,
                         NamedFallbackCrashTest,
                         ::testing::Values("encrypt", "decrypt"),
                         [](const auto& info) { return info.param; });

INSTANTIATE_TEST_SUITE_P(Operations,
                         CrashTest,
                         ::testing::Values("encrypt", "decrypt", "pack", "make", "extract"),
                         [](const auto& info) { return info.param; });

TEST(PackPermissionsTest, WhileAFolderIsPackedNoOtherAccountCanReadAnythingInTheDestination)
{
    TempDir dir;
    const std::string tree = dir.file("tree");
    const std::string destination = dir.file("dest");
    ASSERT_EQ(::mkdir(tree.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(destination.c_str(), 0755), 0);
    for (int i = 0; i < 8; ++i)
        writeFile(tree + "/part" + std::to_string(i), patterned(2 << 20, static_cast<unsigned>(i)));
    const mode_t previous = ::umask(022);
    const pid_t child = start({CRASH_WORKER, "pack", tree, destination + "/tree.zip.zqv"});
    ::umask(previous);
    ASSERT_GT(child, 0);
    int looks = 0;
    std::set<std::string> readable;
    for (;;) {
        for (const std::string& name : namesIn(destination)) {
            struct stat info
            {
            };
            if (::stat((destination + "/" + name).c_str(), &info) == 0 && (info.st_mode & 077) != 0)
                readable.insert(name);
        }
        ++looks;
        if (::waitpid(child, nullptr, WNOHANG) == child)
            break;
    }
    EXPECT_TRUE(readable.empty()) << *readable.begin();
    EXPECT_GT(looks, 1);
    EXPECT_EQ(listFolder(destination), "tree.zip.zqv");
}

} // namespace
