#include <cerrno>
#include <functional>
#include <string>

#include <FileIdentity.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TempDir.h"

using cryptelle::HeldFile;
using cryptelle::IdentityCheck;
using namespace testsupport;

namespace {

// What happens to the file (named "f" in the folder) after it was held.
struct MutationCase
{
    const char* name;
    std::function<void(const TempDir&)> mutate;
    IdentityCheck expected;
};

void PrintTo(const MutationCase& c, std::ostream* os)
{
    *os << c.name;
}

class HeldFileCheckTest : public ::testing::TestWithParam<MutationCase>
{
protected:
    TempDir dir;
};

TEST_P(HeldFileCheckTest, TellsTheHeldFileFromWhateverThePathNamesNow)
{
    writeFile(dir.file("f"), "the content that was read");
    HeldFile held;
    ASSERT_TRUE(held.open(dir.file("f")));
    GetParam().mutate(dir);
    EXPECT_EQ(held.check(), GetParam().expected);
    // The path-only check sees the same as the held descriptor's, except
    // that it cannot see a write to a file it does not hold.
    const IdentityCheck byPath = cryptelle::checkPath(dir.file("f"), held.identity());
    EXPECT_EQ(byPath, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Mutations,
    HeldFileCheckTest,
    ::testing::Values(MutationCase{"Untouched", [](const TempDir&) {}, IdentityCheck::Unchanged},
                      MutationCase{"AppendedInPlace",
                                   [](const TempDir& d) {
                                       const int fd = ::open(d.file("f").c_str(), O_WRONLY | O_APPEND);
                                       ASSERT_GE(fd, 0);
                                       ASSERT_EQ(::write(fd, "+", 1), 1);
                                       ::close(fd);
                                   },
                                   IdentityCheck::Changed},
                      MutationCase{"TruncatedInPlace",
                                   [](const TempDir& d) { ASSERT_EQ(::truncate(d.file("f").c_str(), 3), 0); },
                                   IdentityCheck::Changed},
                      MutationCase{"ReplacedByRename",
                                   [](const TempDir& d) {
                                       // An editor's atomic save: a new file renamed over the old name.
                                       writeFile(d.file("new"), "the content that was read");
                                       ASSERT_EQ(::rename(d.file("new").c_str(), d.file("f").c_str()), 0);
                                   },
                                   IdentityCheck::Replaced},
                      MutationCase{"ReplacedByLinkToAnotherFile",
                                   [](const TempDir& d) {
                                       writeFile(d.file("other"), "x");
                                       ASSERT_EQ(::unlink(d.file("f").c_str()), 0);
                                       ASSERT_EQ(::symlink(d.file("other").c_str(), d.file("f").c_str()), 0);
                                   },
                                   IdentityCheck::Replaced},
                      MutationCase{"ReplacedByFifo",
                                   [](const TempDir& d) {
                                       ASSERT_EQ(::unlink(d.file("f").c_str()), 0);
                                       ASSERT_EQ(::mkfifo(d.file("f").c_str(), 0600), 0);
                                   },
                                   IdentityCheck::Replaced},
                      MutationCase{"Removed",
                                   [](const TempDir& d) { ASSERT_EQ(::unlink(d.file("f").c_str()), 0); },
                                   IdentityCheck::Gone},
                      MutationCase{"FolderRemoved",
                                   [](const TempDir& d) {
                                       ASSERT_EQ(::unlink(d.file("f").c_str()), 0);
                                       ASSERT_EQ(::mkdir(d.file("f").c_str(), 0700), 0);
                                   },
                                   IdentityCheck::Replaced}),
    [](const ::testing::TestParamInfo<MutationCase>& info) { return std::string(info.param.name); });

TEST(HeldFileTest, RenamedAwayAndBackIsNoLongerTheUntouchedFile)
{
    TempDir dir;
    writeFile(dir.file("f"), "content");
    HeldFile held;
    ASSERT_TRUE(held.open(dir.file("f")));
    ASSERT_EQ(::rename(dir.file("f").c_str(), dir.file("g").c_str()), 0);
    EXPECT_EQ(held.check(), IdentityCheck::Gone);
    ASSERT_EQ(::rename(dir.file("g").c_str(), dir.file("f").c_str()), 0);
    // Same file again; whether its change time moved depends on the clock's
    // granularity, so only "not replaced" is certain.
    EXPECT_NE(held.check(), IdentityCheck::Replaced);
    EXPECT_NE(held.check(), IdentityCheck::Gone);
}

TEST(HeldFileTest, RefusesWhatIsNotARegularFileWithoutBlocking)
{
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0700), 0);
    writeFile(dir.file("target"), "t");
    ASSERT_EQ(::symlink(dir.file("target").c_str(), dir.file("link").c_str()), 0);
    for (const char* name : {"fifo", "folder", "missing", "link"}) {
        HeldFile held;
        EXPECT_FALSE(held.open(dir.file(name))) << name;
        EXPECT_FALSE(held.isOpen()) << name;
    }
}

TEST(HeldFileTest, FollowedLinkIsCheckedAsTheLinkAndTheFileItLedTo)
{
    TempDir dir;
    writeFile(dir.file("target"), "t");
    writeFile(dir.file("elsewhere"), "e");
    ASSERT_EQ(::symlink(dir.file("target").c_str(), dir.file("link").c_str()), 0);
    HeldFile held;
    ASSERT_TRUE(held.open(dir.file("link"), HeldFile::Access::Read, true));
    EXPECT_EQ(held.check(), IdentityCheck::Unchanged);
    ASSERT_EQ(::unlink(dir.file("link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("elsewhere").c_str(), dir.file("link").c_str()), 0);
    EXPECT_EQ(held.check(), IdentityCheck::Replaced);
}

TEST(HeldFileTest, ReadOrWriteFallsBackToReadingWhereWritingIsNotAllowed)
{
    TempDir dir;
    writeFile(dir.file("rw"), "a");
    writeFile(dir.file("ro"), "b");
    ASSERT_EQ(::chmod(dir.file("ro").c_str(), 0400), 0);
    HeldFile writable;
    ASSERT_TRUE(writable.open(dir.file("rw"), HeldFile::Access::ReadOrWrite));
    EXPECT_TRUE(writable.writable());
    HeldFile readOnly;
    ASSERT_TRUE(readOnly.open(dir.file("ro"), HeldFile::Access::ReadOrWrite));
    if (::geteuid() != 0) {
        EXPECT_FALSE(readOnly.writable());
    }
    char byte = 0;
    EXPECT_EQ(::pread(readOnly.fd(), &byte, 1, 0), 1);
    EXPECT_EQ(byte, 'b');
    HeldFile reading;
    ASSERT_TRUE(reading.open(dir.file("rw")));
    EXPECT_FALSE(reading.writable());
}

TEST(HeldFileTest, MovedHeldFileKeepsItsDescriptorAndIdentity)
{
    TempDir dir;
    writeFile(dir.file("f"), "content");
    HeldFile first;
    ASSERT_TRUE(first.open(dir.file("f")));
    const int fd = first.fd();
    HeldFile second = std::move(first);
    EXPECT_EQ(second.fd(), fd);
    EXPECT_EQ(second.path(), dir.file("f"));
    EXPECT_EQ(second.check(), IdentityCheck::Unchanged);
}

} // namespace
