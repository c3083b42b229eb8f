#include <UniqueFd.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "RecordingOps.h"
#include "Shredder.h"
#include "TempDir.h"

using namespace testsupport;
using zqvdod::Shredder;

namespace {

std::string markerContent(std::size_t size)
{
    std::string content(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        content[i] = static_cast<char>('a' + i % 26);
    return content;
}

bool allBytes(const std::string& content, unsigned char value)
{
    return content.find_first_not_of(static_cast<char>(value)) == std::string::npos;
}

bool repeatsBuffer(const std::string& content, const unsigned char* buffer)
{
    for (std::size_t i = 0; i < content.size(); ++i) {
        if (static_cast<unsigned char>(content[i]) != buffer[i % zqvdod::WipePatterns::kSize])
            return false;
    }
    return true;
}

class PerFileTest : public ::testing::Test
{
protected:
    TempDir dir;
    RecordingOps ops;
    Shredder shredder{ops};
};

class SizeTest : public PerFileTest, public ::testing::WithParamInterface<std::size_t>
{
};

TEST_P(SizeTest, EachPatternCoversTheWholeFileAndIsSyncedBeforeTheNext)
{
    const std::size_t size = GetParam();
    const std::string path = dir.file("secret.doc");
    writeFile(path, markerContent(size));

    EXPECT_EQ(shredder.shred(path.c_str()), 0);
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(listFolder(dir.path()), "");

    if (size == 0) {
        // Nothing to overwrite: emptied, renamed, deleted, buffers never built.
        ASSERT_EQ(ops.syncs.size(), 1u);
        EXPECT_FALSE(shredder.patterns().prepared());
    } else {
        ASSERT_EQ(ops.syncs.size(), 4u);
        for (int i = 0; i < 3; ++i)
            ASSERT_EQ(ops.syncs[static_cast<std::size_t>(i)].size, size) << "pattern " << i;
        EXPECT_TRUE(allBytes(ops.syncs[0].content, 0x00));
        EXPECT_TRUE(allBytes(ops.syncs[1].content, 0xFF));
        EXPECT_TRUE(repeatsBuffer(ops.syncs[2].content, shredder.patterns().buffer(2)));
    }
    EXPECT_EQ(ops.syncs.back().size, 0u) << "truncated before the sweep";
    ASSERT_EQ(ops.renames.size(), 26u);
    EXPECT_EQ(ops.renames.front(), dir.file("AAAAAA.AAA"));
    EXPECT_EQ(ops.renames.back(), dir.file("ZZZZZZ.ZZZ"));
    EXPECT_EQ(ops.removed, std::vector<std::string>{dir.file("ZZZZZZ.ZZZ")});
}

INSTANTIATE_TEST_SUITE_P(Sizes, SizeTest, ::testing::Values(0u, 1u, 65536u, 65537u, 3u * 1024 * 1024 + 17));

TEST_F(PerFileTest, SweepKeepsDotsAndNameLength)
{
    writeFile(dir.file("a.b.c"), "x");
    writeFile(dir.file("nodots"), "y");
    EXPECT_EQ(shredder.shred(dir.file("a.b.c").c_str()), 0);
    EXPECT_EQ(ops.removed.back(), dir.file("Z.Z.Z"));
    EXPECT_EQ(shredder.shred(dir.file("nodots").c_str()), 0);
    EXPECT_EQ(ops.removed.back(), dir.file("ZZZZZZ"));
    EXPECT_EQ(listFolder(dir.path()), "");
}

TEST_F(PerFileTest, ExistingCandidateStopsTheSweepAndIsNeverReplaced)
{
    writeFile(dir.file("hello"), "wipe me");
    writeFile(dir.file("CCCCC"), "bystander");
    EXPECT_EQ(shredder.shred(dir.file("hello").c_str()), 0);
    EXPECT_EQ(ops.renames, (std::vector<std::string>{dir.file("AAAAA"), dir.file("BBBBB")}));
    EXPECT_EQ(ops.removed, std::vector<std::string>{dir.file("BBBBB")});
    EXPECT_EQ(listFolder(dir.path()), "CCCCC");
    EXPECT_EQ(readFile(dir.file("CCCCC")), "bystander");
}

TEST_F(PerFileTest, FailedDeletionRenamesTheFileBackAndReportsFailure)
{
    writeFile(dir.file("report.txt"), "content");
    ops.failRemove = true;
    EXPECT_NE(shredder.shred(dir.file("report.txt").c_str()), 0);
    EXPECT_EQ(listFolder(dir.path()), "report.txt");
}

TEST_F(PerFileTest, FailedSyncKeepsTheFileUnderItsNameAndReportsFailure)
{
    writeFile(dir.file("report.txt"), markerContent(1000));
    ops.failSyncAt = 1;
    EXPECT_NE(shredder.shred(dir.file("report.txt").c_str()), 0);
    EXPECT_EQ(listFolder(dir.path()), "report.txt");
    EXPECT_TRUE(ops.renames.empty());
}

TEST_F(PerFileTest, ReadOnlyOrImmutableFileIsLeftUnchanged)
{
    const std::string path = dir.file("locked.txt");
    writeFile(path, "precious");
    if (!run("chattr +i '" + path + "'"))
        GTEST_SKIP() << "chattr +i is not available here (needs root and a file system that supports it)";
    const int result = shredder.shred(path.c_str());
    ASSERT_TRUE(run("chattr -i '" + path + "'"));
    EXPECT_NE(result, 0);
    EXPECT_EQ(readFile(path), "precious");
    EXPECT_TRUE(ops.renames.empty());
}

TEST_F(PerFileTest, SymbolicLinkIsRemovedAndItsTargetUntouched)
{
    writeFile(dir.file("target"), "target content");
    ASSERT_EQ(::symlink(dir.file("target").c_str(), dir.file("link").c_str()), 0);
    ASSERT_EQ(::symlink("/nonexistent/target", dir.file("dangling").c_str()), 0);
    EXPECT_EQ(shredder.shred(dir.file("link").c_str()), 0);
    EXPECT_EQ(shredder.shred(dir.file("dangling").c_str()), 0);
    EXPECT_EQ(listFolder(dir.path()), "target");
    EXPECT_EQ(readFile(dir.file("target")), "target content");
    EXPECT_TRUE(ops.opened.empty());
}

TEST_F(PerFileTest, FifosAndDeviceNodesAreNeverOpened)
{
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    const bool haveDevice = ::mknod(dir.file("nulldev").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    EXPECT_NE(shredder.shred(dir.file("*").c_str()), 0);
    EXPECT_TRUE(exists(dir.file("pipe")));
    if (haveDevice) {
        EXPECT_TRUE(exists(dir.file("nulldev")));
    }
    EXPECT_TRUE(ops.opened.empty());
    EXPECT_TRUE(ops.renames.empty());
}

TEST_F(PerFileTest, HardLinkedFileIsUnlinkedButNotOverwritten)
{
    writeFile(dir.file("one"), "shared content");
    ASSERT_EQ(::link(dir.file("one").c_str(), dir.file("two").c_str()), 0);
    EXPECT_NE(shredder.shred(dir.file("one").c_str()), 0);
    EXPECT_EQ(listFolder(dir.path()), "two");
    EXPECT_EQ(readFile(dir.file("two")), "shared content");
    EXPECT_TRUE(ops.opened.empty());
}

TEST_F(PerFileTest, FileSwappedAfterTheWalkIsNotWritten)
{
    writeFile(dir.file("victim"), "bystander data");
    static std::string swapIn;
    swapIn = dir.file("other");
    writeFile(swapIn, "other data");
    // Between the walk's look at the file and the open, another file takes its name.
    ops.beforeOpen = [](const std::string& path) { ::rename(swapIn.c_str(), path.c_str()); };
    EXPECT_NE(shredder.shred(dir.file("victim").c_str()), 0);
    EXPECT_EQ(readFile(dir.file("victim")), "other data");
}

TEST_F(PerFileTest, AFileOpenElsewhereIsLeftAloneAsInUse)
{
    const std::string path = dir.file("open.log");
    writeFile(path, "being written");
    ops.realLease = true;
    {
        const cryptelle::UniqueFd writer(::open(path.c_str(), O_WRONLY | O_APPEND));
        ASSERT_GE(writer.get(), 0);
        EXPECT_EQ(shredder.shred(path.c_str()), 1);
        EXPECT_EQ(readFile(path), "being written");
        EXPECT_TRUE(ops.renames.empty());
    }
    ops.keepContent = false;
    EXPECT_EQ(shredder.shred(path.c_str()), 0);
    EXPECT_FALSE(exists(path));
}

TEST_F(PerFileTest, WithoutALeaseWhatGrewDuringThePassesIsOverwrittenToo)
{
    const std::string path = dir.file("growing.log");
    writeFile(path, markerContent(5000));
    ops.afterSync = [&path](std::size_t count) {
        if (count != 1)
            return;
        const cryptelle::UniqueFd writer(::open(path.c_str(), O_WRONLY | O_APPEND));
        const std::string more(3000, 'Q');
        ASSERT_EQ(::write(writer.get(), more.data(), more.size()), static_cast<ssize_t>(more.size()));
    };
    EXPECT_EQ(shredder.shred(path.c_str()), 0);
    ASSERT_GE(ops.syncs.size(), 2u);
    // The last sync before emptying saw the whole grown file, with nothing of the appended bytes left.
    const RecordingOps::Snapshot& last = ops.syncs[ops.syncs.size() - 2];
    EXPECT_EQ(last.size, 8000u);
    EXPECT_EQ(last.content.find("QQQQ"), std::string::npos);
    EXPECT_TRUE(repeatsBuffer(last.content.substr(0, 5000), shredder.patterns().buffer(2)));
}

TEST_F(PerFileTest, AnUnnamedFileIsOverwrittenAndEmptiedThroughItsDescriptor)
{
    const cryptelle::UniqueFd file(::open(dir.path().c_str(), O_TMPFILE | O_RDWR, 0600));
    ASSERT_GE(file.get(), 0);
    const std::string content = markerContent(70000);
    ASSERT_EQ(::write(file.get(), content.data(), content.size()), static_cast<ssize_t>(content.size()));
    EXPECT_TRUE(shredder.wipeContent(file.get()));
    ASSERT_EQ(ops.syncs.size(), 4u);
    EXPECT_TRUE(allBytes(ops.syncs[0].content, 0x00));
    EXPECT_TRUE(allBytes(ops.syncs[1].content, 0xFF));
    EXPECT_EQ(ops.syncs[2].size, 70000u);
    EXPECT_EQ(ops.syncs[3].size, 0u);
    EXPECT_TRUE(ops.renames.empty());
}

TEST_F(PerFileTest, SparseFileIsOverwrittenOnlyWhereItHoldsData)
{
    const std::string path = dir.file("sparse.img");
    const std::string chunk = markerContent(65536);
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::pwrite(fd, chunk.data(), chunk.size(), 0), 65536);
        ASSERT_EQ(::pwrite(fd, chunk.data(), chunk.size(), 8 << 20), 65536);
        ASSERT_EQ(::ftruncate(fd, 16 << 20), 0);
        ASSERT_EQ(::fsync(fd), 0);
        ::close(fd);
    }
    struct stat before
    {
    };
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    if (static_cast<std::uint64_t>(before.st_blocks) * 512 >= (16u << 20))
        GTEST_SKIP() << "this file system does not keep holes";

    EXPECT_EQ(shredder.shred(path.c_str()), 0);
    EXPECT_FALSE(exists(path));
    ASSERT_EQ(ops.syncs.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        const auto& snapshot = ops.syncs[static_cast<std::size_t>(i)];
        EXPECT_EQ(snapshot.size, 16u << 20);
        EXPECT_LE(snapshot.blocks512, static_cast<std::uint64_t>(before.st_blocks)) << "a hole was filled";
    }
    EXPECT_TRUE(allBytes(ops.syncs[1].content.substr(0, 65536), 0xFF));
    EXPECT_TRUE(allBytes(ops.syncs[1].content.substr(8 << 20, 65536), 0xFF));
    EXPECT_TRUE(allBytes(ops.syncs[1].content.substr(65536, 65536), 0x00)) << "holes read as zeros";
}

TEST_F(PerFileTest, PassCountIsTheOneKnob)
{
    writeFile(dir.file("twice"), markerContent(5000));
    shredder.setPassCount(2);
    EXPECT_EQ(shredder.shred(dir.file("twice").c_str()), 0);
    EXPECT_EQ(ops.syncs.size(), 7u);
}

} // namespace
