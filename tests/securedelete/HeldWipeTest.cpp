#include <functional>
#include <string>

#include <FileIdentity.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "RecordingOps.h"
#include "Shredder.h"
#include "TempDir.h"
#include "WipeDescriptor.h"

using namespace testsupport;
using zqvdod::Shredder;

namespace {

const std::string kRead = "the content the operation read";
const std::string kNew = "an editor's new save of the same name";

// Puts a new file under the name, as an editor's atomic save does.
void replaceByRename(const TempDir& dir)
{
    writeFile(dir.file("new"), kNew);
    ASSERT_EQ(::rename(dir.file("new").c_str(), dir.file("a.bin").c_str()), 0);
}

enum class When { Never, BeforeTheWipe, DuringThePasses };

struct HeldCase
{
    const char* name;
    When when;
    Shredder::Outcome expected;
};

class HeldWipeTest : public ::testing::TestWithParam<HeldCase>
{
protected:
    TempDir dir;
    RecordingOps ops;
    Shredder shredder{ops};
};

TEST_P(HeldWipeTest, OnlyTheHeldFileIsWipedAndAFileInItsPlaceKeepsNameAndContent)
{
    writeFile(dir.file("a.bin"), kRead);
    cryptelle::HeldFile held;
    ASSERT_TRUE(held.open(dir.file("a.bin"), cryptelle::HeldFile::Access::ReadOrWrite));
    ASSERT_TRUE(held.writable());
    if (GetParam().when == When::BeforeTheWipe)
        replaceByRename(dir);
    if (GetParam().when == When::DuringThePasses) {
        ops.afterSync = [this](std::size_t count) {
            if (count == 1)
                replaceByRename(dir);
        };
    }

    EXPECT_EQ(shredder.treatHeld(dir.file("a.bin"), held.fd()), GetParam().expected);

    struct stat info
    {
    };
    ASSERT_EQ(::fstat(held.fd(), &info), 0);
    if (GetParam().when == When::Never) {
        EXPECT_EQ(listFolder(dir.path()), "");
        EXPECT_EQ(info.st_size, 0) << "emptied through the held descriptor";
        ASSERT_FALSE(ops.syncs.empty());
        EXPECT_EQ(ops.syncs.front().content.find("operation"), std::string::npos);
        return;
    }
    // Whatever was put in its place is exactly as it was, under its name, and
    // no renamed leftover of the sweep stays behind.
    EXPECT_EQ(listFolder(dir.path()), "a.bin");
    EXPECT_EQ(readFile(dir.file("a.bin")), kNew);
    if (GetParam().when == When::BeforeTheWipe) {
        EXPECT_TRUE(ops.syncs.empty()) << "nothing is written once the name leads elsewhere";
        EXPECT_EQ(info.st_size, static_cast<off_t>(kRead.size()));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replacements,
    HeldWipeTest,
    ::testing::Values(HeldCase{"NotReplaced", When::Never, Shredder::Outcome::Wiped},
                      HeldCase{"ReplacedBeforeTheWipe", When::BeforeTheWipe, Shredder::Outcome::NotTheHeldFile},
                      HeldCase{"ReplacedDuringThePasses", When::DuringThePasses, Shredder::Outcome::NotTheHeldFile}),
    [](const ::testing::TestParamInfo<HeldCase>& info) { return std::string(info.param.name); });

TEST(HeldWipeOtherTest, HeldForReadingOnlyIsKeptUnchanged)
{
    TempDir dir;
    writeFile(dir.file("a"), kRead);
    cryptelle::HeldFile held;
    ASSERT_TRUE(held.open(dir.file("a")));
    EXPECT_EQ(zqvdod::wipeHeldEntry(dir.file("a").c_str(), held.fd()), zqvdod::EntryOutcome::Kept);
    EXPECT_EQ(readFile(dir.file("a")), kRead);
}

TEST(HeldWipeOtherTest, HardLinkedHeldFileLosesOnlyThisNameAndKeepsItsContent)
{
    TempDir dir;
    writeFile(dir.file("a"), kRead);
    ASSERT_EQ(::link(dir.file("a").c_str(), dir.file("b").c_str()), 0);
    cryptelle::HeldFile held;
    ASSERT_TRUE(held.open(dir.file("a"), cryptelle::HeldFile::Access::ReadOrWrite));
    EXPECT_EQ(zqvdod::wipeHeldEntry(dir.file("a").c_str(), held.fd()), zqvdod::EntryOutcome::RemovedNotOverwritten);
    EXPECT_EQ(listFolder(dir.path()), "b");
    EXPECT_EQ(readFile(dir.file("b")), kRead);
}

TEST(HeldWipeOtherTest, RelativePathIsRefusedAndNothingChanges)
{
    TempDir dir;
    writeFile(dir.file("a"), kRead);
    cryptelle::HeldFile held;
    ASSERT_TRUE(held.open(dir.file("a"), cryptelle::HeldFile::Access::ReadOrWrite));
    EXPECT_EQ(zqvdod::wipeHeldEntry("a", held.fd()), zqvdod::EntryOutcome::Kept);
    EXPECT_EQ(readFile(dir.file("a")), kRead);
}

} // namespace
