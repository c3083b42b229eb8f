#include <string>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FileOps.h"
#include "Shredder.h"
#include "TempDir.h"

using namespace testsupport;

namespace {

constexpr uid_t kOtherUser = 65534;
constexpr uid_t kThirdUser = 65533;

// Runs one shred as another account, in a child process; its result code.
int shredAs(uid_t user, const std::string& path)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(user) != 0 || ::setuid(user) != 0)
            ::_exit(99);
        zqvdod::FileOps ops;
        zqvdod::Shredder shredder(ops);
        ::_exit(shredder.shred(path.c_str()));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class RemovabilityTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to act as other accounts";
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    }
    // A file anyone may write, owned by `owner`, in a subfolder with `folderMode`.
    std::string writableFile(const std::string& folder, mode_t folderMode, uid_t owner)
    {
        const std::string path = dir.file(folder);
        EXPECT_EQ(::mkdir(path.c_str(), folderMode), 0);
        EXPECT_EQ(::chmod(path.c_str(), folderMode), 0);
        const std::string file = path + "/data.txt";
        writeFile(file, "must survive whole");
        EXPECT_EQ(::chown(file.c_str(), owner, owner), 0);
        EXPECT_EQ(::chmod(file.c_str(), 0666), 0);
        return file;
    }

    TempDir dir;
};

TEST_F(RemovabilityTest, AFileThatCannotBeRemovedIsLeftByteForByte)
{
    const struct
    {
        const char* folder;
        mode_t mode;
        uid_t fileOwner;
    } cases[] = {
        {"readonly-folder", 0755, kOtherUser}, // the caller may write the file, not the folder
        {"sticky-folder", 01777, kThirdUser},  // /tmp's rule: only the owners may remove
    };
    for (const auto& c : cases) {
        const std::string file = writableFile(c.folder, c.mode, c.fileOwner);
        EXPECT_EQ(shredAs(kOtherUser, file), 1) << c.folder;
        EXPECT_EQ(readFile(file), "must survive whole") << c.folder;
        EXPECT_EQ(listFolder(dir.file(c.folder)), "data.txt") << c.folder;
    }
    // Its own file in the sticky folder the caller may remove.
    const std::string own = writableFile("sticky-own", 01777, kOtherUser);
    EXPECT_EQ(shredAs(kOtherUser, own), 0);
    EXPECT_EQ(listFolder(dir.file("sticky-own")), "");
}

TEST_F(RemovabilityTest, ABindMountedFileIsNeitherEmptiedNorItsSource)
{
    writeFile(dir.file("source.txt"), "the source's content");
    writeFile(dir.file("target.txt"), "");
    if (::mount(dir.file("source.txt").c_str(), dir.file("target.txt").c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "bind mounts are not allowed here";
    zqvdod::FileOps ops;
    zqvdod::Shredder shredder(ops);
    const int result = shredder.shred(dir.file("target.txt").c_str());
    const std::string seen = readFile(dir.file("target.txt"));
    ASSERT_EQ(::umount(dir.file("target.txt").c_str()), 0);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(seen, "the source's content");
    EXPECT_EQ(readFile(dir.file("source.txt")), "the source's content");
}

} // namespace
