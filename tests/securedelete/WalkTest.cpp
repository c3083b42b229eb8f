#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "PathPattern.h"
#include "RecordingOps.h"
#include "Shredder.h"
#include "TempDir.h"
#include "WipePatterns.h"

using namespace testsupport;
using zqvdod::Shredder;

namespace {

struct WildcardCase
{
    const char* pattern;
    const char* name;
    bool matches;
};

class WildcardTest : public ::testing::TestWithParam<WildcardCase>
{
};

TEST_P(WildcardTest, MatchesLikeTheFolderEnumeration)
{
    const auto& c = GetParam();
    EXPECT_EQ(zqvdod::matchesWildcard(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
}

INSTANTIATE_TEST_SUITE_P(Patterns,
                         WildcardTest,
                         ::testing::Values(WildcardCase{"*.tmp", "a.tmp", true},
                                           WildcardCase{"*.tmp", ".tmp", true},
                                           WildcardCase{"*.tmp", "a.tmp.bak", false},
                                           WildcardCase{"*", ".hidden", true},
                                           WildcardCase{"?.txt", "a.txt", true},
                                           WildcardCase{"?.txt", "ab.txt", false},
                                           WildcardCase{"a*b*c", "aXbYbZc", true},
                                           WildcardCase{"a*b*c", "aXbYbZ", false},
                                           WildcardCase{"[ab].txt", "a.txt", false},
                                           WildcardCase{"[ab].txt", "[ab].txt", true},
                                           WildcardCase{"**", "", true},
                                           WildcardCase{"Notes.TXT", "notes.txt", false}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(SweepNameTest, KeepsDotsAndLength)
{
    EXPECT_EQ(zqvdod::sweepName("report.old.doc", 0), "AAAAAA.AAA.AAA");
    EXPECT_EQ(zqvdod::sweepName("a.b.c", 25), "Z.Z.Z");
    EXPECT_EQ(zqvdod::sweepName("secret", 25), "ZZZZZZ");
    EXPECT_EQ(zqvdod::sweepName(".bashrc", 1), ".BBBBBB");
}

TEST(PathTest, RelativePathIsResolvedAgainstCurrentFolderWithoutResolvingTheLastComponent)
{
    TempDir dir;
    char saved[4096];
    ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    const auto full = zqvdod::absolutePath("notes.txt");
    ASSERT_EQ(::chdir(saved), 0);
    ASSERT_TRUE(full);
    EXPECT_EQ(*full, dir.path() + "/notes.txt");
    EXPECT_FALSE(zqvdod::absolutePath(""));
    EXPECT_FALSE(zqvdod::absolutePath(nullptr));
    EXPECT_FALSE(zqvdod::absolutePath(("/" + std::string(5000, 'x')).c_str()));
}

TEST(WipePatternsTest, BuildsZerosOnesAndTheSeededSequence)
{
    zqvdod::WipePatterns patterns;
    EXPECT_FALSE(patterns.prepared());
    ASSERT_TRUE(patterns.prepare(1));
    ASSERT_TRUE(patterns.prepared());
    // seed 1: 1*214013+2531011 = 2745024 -> (2745024>>16)&0x7FFF = 41
    EXPECT_EQ(patterns.buffer(2)[0], 41);
    std::uint32_t state = 1;
    for (std::size_t j = 0; j < zqvdod::WipePatterns::kSize; ++j) {
        const auto expected = static_cast<unsigned char>(zqvdod::WipePatterns::nextRandom(state));
        ASSERT_EQ(patterns.buffer(2)[j], expected) << j;
        ASSERT_EQ(patterns.buffer(0)[j], 0x00);
        ASSERT_EQ(patterns.buffer(1)[j], 0xFF);
    }
}

class WalkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir.write({{"a.tmp", "alpha"},
                   {".b.tmp", "beta"},
                   {"keep.txt", "keep"},
                   {"sub.tmp/inner.tmp", "inner"},
                   {"sub.tmp/other", "other"}});
    }

    int shred(const std::string& path) { return shredder.shred(path.c_str()); }

    TempDir dir;
    zqvdod::FileOps ops;
    Shredder shredder{ops};
};

TEST_F(WalkTest, PatternTreatsMatchingFilesDirectlyInTheFolderOnly)
{
    EXPECT_EQ(shred(dir.file("*.tmp")), 0);
    EXPECT_EQ(listFolder(dir.path()), "keep.txt sub.tmp");
    EXPECT_EQ(listFolder(dir.file("sub.tmp")), "inner.tmp other");
    EXPECT_EQ(readFile(dir.file("sub.tmp/inner.tmp")), "inner");
}

TEST_F(WalkTest, LoneAsteriskTreatsEveryFileAndNoFolder)
{
    EXPECT_EQ(shred(dir.file("*")), 0);
    EXPECT_EQ(listFolder(dir.path()), "sub.tmp");
    EXPECT_EQ(listFolder(dir.file("sub.tmp")), "inner.tmp other");
}

TEST_F(WalkTest, QuestionMarkMatchesOneCharacter)
{
    writeFile(dir.file("x.tmp"), "x");
    EXPECT_EQ(shred(dir.file("?.tmp")), 0);
    EXPECT_EQ(listFolder(dir.path()), ".b.tmp keep.txt sub.tmp");
}

TEST_F(WalkTest, FolderPathsAndMissingNamesChangeNothing)
{
    const std::string before = listFolder(dir.path());
    for (const std::string& path : {dir.file("sub.tmp"),
                                    dir.file("sub.tmp/"),
                                    dir.path() + "/",
                                    dir.file("."),
                                    dir.file(".."),
                                    std::string("/"),
                                    dir.file("missing.txt"),
                                    dir.file("*.none"),
                                    dir.file("nofolder/*")}) {
        EXPECT_EQ(shred(path), 1) << "nothing wiped is not success: " << path;
    }
    EXPECT_EQ(listFolder(dir.path()), before);
    EXPECT_EQ(listFolder(dir.file("sub.tmp")), "inner.tmp other");
}

TEST_F(WalkTest, AFileThatReallyHasTheWildcardNameIsTheOneFileMeant)
{
    dir.write({{"rep*.txt", "the one"}, {"rep1.txt", "neighbour"}, {"report-final.txt", "neighbour"}});
    EXPECT_EQ(shred(dir.file("rep*.txt")), 0);
    EXPECT_EQ(listFolder(dir.path()), ".b.tmp a.tmp keep.txt rep1.txt report-final.txt sub.tmp");
    // No file of that name: the name is a pattern again.
    EXPECT_EQ(shred(dir.file("rep?.txt")), 0);
    EXPECT_EQ(listFolder(dir.path()), ".b.tmp a.tmp keep.txt report-final.txt sub.tmp");
}

TEST_F(WalkTest, RelativeNameIsWipedInTheCurrentFolder)
{
    char saved[4096];
    ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    const int result = shredder.shred("keep.txt");
    ASSERT_EQ(::chdir(saved), 0);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(exists(dir.file("keep.txt")));
    EXPECT_TRUE(exists(dir.file("a.tmp")));
}

TEST_F(WalkTest, ExistingSweepNamesAreNotMatchedTwice)
{
    // The sweep of one match passes through names the same pattern matches.
    writeFile(dir.file("AAAAAAA"), "first");
    writeFile(dir.file("hello12"), "second");
    RecordingOps recording;
    Shredder counted{recording};
    EXPECT_EQ(counted.shred(dir.file("???????").c_str()), 0);
    EXPECT_EQ(listFolder(dir.path()), ".b.tmp a.tmp keep.txt sub.tmp");
    EXPECT_EQ(recording.opened.size(), 2u);
}

} // namespace
