#include <cstdlib>
#include <string>
#include <vector>

#include <UnnamedOutput.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "TempDir.h"

using cryptelle::UnnamedOutput;
using namespace testsupport;

namespace {

const std::string kPlaintext = "the whole decrypted plaintext";

// What each leftover held once it was overwritten, before it was emptied.
std::vector<std::string>& seenAfterOverwrite()
{
    static std::vector<std::string> seen;
    return seen;
}

void observe(int fd)
{
    struct stat info
    {
    };
    ASSERT_EQ(::fstat(fd, &info), 0);
    std::string content(static_cast<std::size_t>(info.st_size), 'x');
    ASSERT_EQ(::pread(fd, content.data(), content.size(), 0), info.st_size);
    seenAfterOverwrite().push_back(content);
}

class LeftoverPartialsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const char* previous = std::getenv("XDG_STATE_HOME");
        m_previous = previous != nullptr ? previous : "";
        ASSERT_EQ(::setenv("XDG_STATE_HOME", state.path().c_str(), 1), 0);
        ASSERT_EQ(::mkdir(dir.file("out").c_str(), 0700), 0);
        seenAfterOverwrite().clear();
        cryptelle::setLeftoverObserver(observe);
    }
    void TearDown() override
    {
        cryptelle::setLeftoverObserver(nullptr);
        UnnamedOutput::forceNamedFallback(false);
        if (m_previous.empty())
            ::unsetenv("XDG_STATE_HOME");
        else
            ::setenv("XDG_STATE_HOME", m_previous.c_str(), 1);
    }

    // A run on a file system without unnamed files, killed while it writes:
    // it never discards its output.
    void killedRun(const std::string& folder)
    {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            UnnamedOutput::forceNamedFallback(true);
            auto* output = new UnnamedOutput; // never destroyed: the process just ends
            if (!output->open(folder) || output->kind() != UnnamedOutput::Kind::Named ||
                ::write(output->fd(), kPlaintext.data(), kPlaintext.size()) != static_cast<ssize_t>(kPlaintext.size()))
                ::_exit(1);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    std::string record() const
    {
        return exists(cryptelle::leftoverRecordPath()) ? readFile(cryptelle::leftoverRecordPath()) : std::string();
    }

    TempDir state;
    TempDir dir;

private:
    std::string m_previous;
};

TEST_F(LeftoverPartialsTest, AKilledRunsPartialIsOverwrittenAndRemovedAtTheNextStart)
{
    killedRun(dir.file("out"));
    const std::string left = listFolder(dir.file("out"));
    ASSERT_EQ(left.rfind(UnnamedOutput::kTemporaryPrefix, 0), 0u) << left;
    EXPECT_EQ(readFile(dir.file("out/" + left)), kPlaintext);
    EXPECT_EQ(cryptelle::leftoverRecordPath(), state.path() + "/ZQV/partial-folders");
    EXPECT_NE(record().find(dir.file("out") + '\0'), std::string::npos);

    // The next start, whatever folder it works in.
    cryptelle::wipeRecordedLeftovers();
    EXPECT_EQ(listFolder(dir.file("out")), "");
    ASSERT_EQ(seenAfterOverwrite().size(), 1u);
    EXPECT_EQ(seenAfterOverwrite()[0], std::string(kPlaintext.size(), '\0'));
    EXPECT_EQ(record(), "") << "a folder left clean is forgotten";
}

TEST_F(LeftoverPartialsTest, ARunningOutputsPartialStaysAndItsFolderStaysRecorded)
{
    UnnamedOutput::forceNamedFallback(true);
    UnnamedOutput running;
    ASSERT_TRUE(running.open(dir.file("out")));
    ASSERT_EQ(running.kind(), UnnamedOutput::Kind::Named);
    ASSERT_EQ(::write(running.fd(), "mine", 4), 4);
    cryptelle::wipeRecordedLeftovers();
    EXPECT_TRUE(seenAfterOverwrite().empty());
    EXPECT_NE(record().find(dir.file("out")), std::string::npos);

    ASSERT_EQ(running.commit("done", false), UnnamedOutput::Result::Done);
    EXPECT_EQ(readFile(dir.file("out/done")), "mine");
    cryptelle::wipeRecordedLeftovers();
    EXPECT_EQ(record(), "");
    EXPECT_EQ(listFolder(dir.file("out")), "done");
}

TEST_F(LeftoverPartialsTest, ADiscardedNamedOutputIsOverwrittenBeforeItGoes)
{
    {
        UnnamedOutput output;
        ASSERT_TRUE(output.open(dir.file("out"), UnnamedOutput::Kind::Named));
        ASSERT_EQ(::write(output.fd(), kPlaintext.data(), kPlaintext.size()), static_cast<ssize_t>(kPlaintext.size()));
    }
    EXPECT_EQ(listFolder(dir.file("out")), "");
    ASSERT_EQ(seenAfterOverwrite().size(), 1u);
    EXPECT_EQ(seenAfterOverwrite()[0], std::string(kPlaintext.size(), '\0'));
}

TEST_F(LeftoverPartialsTest, ALeftoverInAFolderOpenedAgainIsWipedThereToo)
{
    killedRun(dir.file("out"));
    UnnamedOutput next;
    ASSERT_TRUE(next.open(dir.file("out"), UnnamedOutput::Kind::Named));
    ASSERT_EQ(seenAfterOverwrite().size(), 1u);
    EXPECT_EQ(seenAfterOverwrite()[0], std::string(kPlaintext.size(), '\0'));
    next.discard();
    EXPECT_EQ(listFolder(dir.file("out")), "");
}

TEST_F(LeftoverPartialsTest, ARecordThatIsNotOurPlainFileIsNeverReadOrWritten)
{
    killedRun(dir.file("out"));
    const std::string path = cryptelle::leftoverRecordPath();
    const std::string kept = readFile(path);
    ASSERT_EQ(::unlink(path.c_str()), 0);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    cryptelle::wipeRecordedLeftovers(); // must not block on the FIFO
    ASSERT_EQ(::unlink(path.c_str()), 0);
    writeFile(dir.file("elsewhere"), kept);
    ASSERT_EQ(::symlink(dir.file("elsewhere").c_str(), path.c_str()), 0);
    cryptelle::wipeRecordedLeftovers();
    EXPECT_TRUE(seenAfterOverwrite().empty());
    EXPECT_EQ(readFile(dir.file("elsewhere")), kept);
    EXPECT_NE(listFolder(dir.file("out")), "") << "only a real record leads the cleaning";
}

} // namespace
