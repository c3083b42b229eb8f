#include <cerrno>
#include <string>

#include <FileSteps.h>
#include <FolderWalk.h>
#include <UnnamedOutput.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "TempDir.h"

using cryptelle::UnnamedOutput;
using namespace testsupport;

namespace {

void put(int fd, const std::string& text)
{
    ASSERT_TRUE(cryptelle::writeAll(fd, text.data(), text.size()));
}

class UnnamedOutputTest : public ::testing::TestWithParam<UnnamedOutput::Kind>
{
protected:
    TempDir dir;
};

TEST_P(UnnamedOutputTest, NothingCarriesTheNameBeforeCommitAndNothingStaysAfterDiscard)
{
    {
        UnnamedOutput output;
        ASSERT_TRUE(output.open(dir.path(), GetParam()));
        ASSERT_EQ(output.kind(), GetParam());
        put(output.fd(), "half of it");
        // Only a named fallback shows, and only under our hidden prefix, readable by us alone.
        const std::string listed = listFolder(dir.path());
        if (GetParam() == UnnamedOutput::Kind::Unnamed) {
            EXPECT_EQ(listed, "");
        } else {
            ASSERT_EQ(listed.rfind(UnnamedOutput::kTemporaryPrefix, 0), 0u) << listed;
            struct stat info
            {
            };
            ASSERT_EQ(::stat(dir.file(listed).c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, 0600u);
        }
    }
    EXPECT_EQ(listFolder(dir.path()), "");
}

TEST_P(UnnamedOutputTest, CommitGivesTheNameAndNeverReplacesUnlessAsked)
{
    writeFile(dir.file("taken"), "someone's file");
    UnnamedOutput output;
    ASSERT_TRUE(output.open(dir.path(), GetParam()));
    put(output.fd(), "new content");
    EXPECT_EQ(output.commit("taken", false), UnnamedOutput::Result::Exists);
    EXPECT_EQ(readFile(dir.file("taken")), "someone's file");
    // Refused once, the output is still there for another name.
    EXPECT_EQ(output.commit("free", false), UnnamedOutput::Result::Done);
    EXPECT_EQ(readFile(dir.file("free")), "new content");
    EXPECT_EQ(listFolder(dir.path()), "free taken");

    UnnamedOutput replacing;
    ASSERT_TRUE(replacing.open(dir.path(), GetParam()));
    put(replacing.fd(), "replacement");
    EXPECT_EQ(replacing.commit("taken", true), UnnamedOutput::Result::Done);
    EXPECT_EQ(readFile(dir.file("taken")), "replacement");
    EXPECT_EQ(listFolder(dir.path()), "free taken");
    struct stat info
    {
    };
    ASSERT_EQ(::stat(dir.file("taken").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_P(UnnamedOutputTest, RefusesNamesWithAFolderPartAndMissingFolders)
{
    UnnamedOutput output;
    EXPECT_FALSE(output.open(dir.file("missing"), GetParam()));
    ASSERT_TRUE(output.open(dir.path(), GetParam()));
    EXPECT_EQ(output.commit("../escape", false), UnnamedOutput::Result::Failed);
    EXPECT_EQ(output.commit("", false), UnnamedOutput::Result::Failed);
}

INSTANTIATE_TEST_SUITE_P(Kinds,
                         UnnamedOutputTest,
                         ::testing::Values(UnnamedOutput::Kind::Unnamed, UnnamedOutput::Kind::Named));

TEST(StaleTemporariesTest, AbandonedOnesGoAndHeldOnesAndOthersStay)
{
    TempDir dir;
    const std::string abandoned = std::string(UnnamedOutput::kTemporaryPrefix) + "abandoned";
    writeFile(dir.file(abandoned), "left by a killed run");
    writeFile(dir.file(".zqv-other"), "not ours");
    UnnamedOutput running;
    ASSERT_TRUE(running.open(dir.path(), UnnamedOutput::Kind::Named));
    EXPECT_EQ(listFolder(dir.path()).find("abandoned"), std::string::npos);

    // Another output in the same folder must not take the running one's file.
    UnnamedOutput second;
    ASSERT_TRUE(second.open(dir.path(), UnnamedOutput::Kind::Named));
    put(running.fd(), "still mine");
    EXPECT_EQ(running.commit("done", false), UnnamedOutput::Result::Done);
    EXPECT_EQ(readFile(dir.file("done")), "still mine");
    EXPECT_TRUE(exists(dir.file(".zqv-other")));
}

TEST(RenameNoReplaceTest, MovesOnlyToAFreeName)
{
    TempDir dir;
    writeFile(dir.file("a"), "A");
    writeFile(dir.file("b"), "B");
    EXPECT_FALSE(cryptelle::renameNoReplace(dir.file("a"), dir.file("b")));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(readFile(dir.file("b")), "B");
    EXPECT_TRUE(cryptelle::renameNoReplace(dir.file("a"), dir.file("c")));
    EXPECT_EQ(listFolder(dir.path()), "b c");
}

// Both ways of renaming without replacing: the kernel's, and the one taken
// where the file system lacks it.
using RenameFunction = bool (*)(int, const char*, int, const char*);

struct RenameCase
{
    const char* name;
    bool fromFolder;   // the entry moved is a folder (holding one file)
    const char* taken; // what is already under the new name: "", "file", "folder", "full folder"
    bool moves;
};

class RenameNoReplaceTableTest : public ::testing::TestWithParam<std::tuple<RenameFunction, RenameCase>>
{
protected:
    TempDir dir;
};

TEST_P(RenameNoReplaceTableTest, MovesFilesAndFoldersOnlyToAFreeNameAndLosesNothing)
{
    const auto& [function, c] = GetParam();
    if (c.fromFolder) {
        ASSERT_EQ(::mkdir(dir.file("from").c_str(), 0700), 0);
        writeFile(dir.file("from/inside"), "moved content");
    } else {
        writeFile(dir.file("from"), "moved content");
    }
    const std::string taken = c.taken;
    if (taken == "file")
        writeFile(dir.file("to"), "someone's file");
    if (taken == "folder" || taken == "full folder") {
        ASSERT_EQ(::mkdir(dir.file("to").c_str(), 0700), 0);
    }
    if (taken == "full folder")
        writeFile(dir.file("to/theirs"), "someone's file");

    const bool moved = function(AT_FDCWD, dir.file("from").c_str(), AT_FDCWD, dir.file("to").c_str());
    EXPECT_EQ(moved, c.moves);
    const std::string movedPath = c.fromFolder ? "/inside" : "";
    if (c.moves) {
        EXPECT_FALSE(exists(dir.file("from")));
        EXPECT_EQ(readFile(dir.file("to") + movedPath), "moved content");
        return;
    }
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(readFile(dir.file("from") + movedPath), "moved content");
    if (taken == "file") {
        EXPECT_EQ(readFile(dir.file("to")), "someone's file");
    }
    if (taken == "folder") {
        EXPECT_EQ(listFolder(dir.file("to")), "") << "an empty folder of someone's is never replaced either";
    }
    if (taken == "full folder") {
        EXPECT_EQ(listFolder(dir.file("to")), "theirs");
    }
    EXPECT_EQ(listFolder(dir.path()), "from to");
}

INSTANTIATE_TEST_SUITE_P(
    Cases,
    RenameNoReplaceTableTest,
    ::testing::Combine(::testing::Values(&cryptelle::renameNoReplaceAt, &cryptelle::renameNoReplaceFallbackAt),
                       ::testing::Values(RenameCase{"FileToFree", false, "", true},
                                         RenameCase{"FileOntoFile", false, "file", false},
                                         RenameCase{"FileOntoFolder", false, "folder", false},
                                         RenameCase{"FolderToFree", true, "", true},
                                         RenameCase{"FolderOntoFile", true, "file", false},
                                         RenameCase{"FolderOntoEmptyFolder", true, "folder", false},
                                         RenameCase{"FolderOntoFullFolder", true, "full folder", false})),
    [](const auto& info) {
        return std::string(std::get<0>(info.param) == &cryptelle::renameNoReplaceAt ? "Kernel_" : "Fallback_") +
               std::get<1>(info.param).name;
    });

TEST(PathPartsTest, FolderAndName)
{
    EXPECT_EQ(cryptelle::folderOf("/a/b/c.txt"), "/a/b");
    EXPECT_EQ(cryptelle::folderOf("/c.txt"), "/");
    EXPECT_EQ(cryptelle::folderOf("c.txt"), ".");
    EXPECT_EQ(cryptelle::nameOf("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(cryptelle::nameOf("c.txt"), "c.txt");
}

TEST(FolderWalkTest, OpensOnlyTheEntryThatWasListed)
{
    TempDir dir;
    dir.write({{"plain", "inside"}, {"swapped", "inside too"}, {"outside", "secret from elsewhere"}});
    ASSERT_EQ(::symlink(dir.file("outside").c_str(), dir.file("link").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0700), 0);
    const cryptelle::UniqueFd folder(::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY));
    std::vector<cryptelle::FolderEntry> entries;
    ASSERT_TRUE(cryptelle::listFolder(folder.get(), entries));
    std::string seen;
    for (const auto& entry : entries)
        seen += entry.name + (entry.isFile() ? ":f " : entry.isFolder() ? ":d " : ":o ");
    EXPECT_EQ(seen, "link:o outside:f plain:f sub:d swapped:f ");

    // Held open, the listed file keeps its inode number from being reused.
    const cryptelle::UniqueFd original(::open(dir.file("swapped").c_str(), O_RDONLY));
    // The listed file is replaced by a link to a file outside after the listing.
    ASSERT_EQ(::unlink(dir.file("swapped").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("outside").c_str(), dir.file("swapped").c_str()), 0);
    EXPECT_LT(cryptelle::openListedEntry(folder.get(), entries[4], O_RDONLY), 0);
    // Replaced by another regular file: a different inode, refused just the same.
    ASSERT_EQ(::unlink(dir.file("swapped").c_str()), 0);
    writeFile(dir.file("swapped"), "planted");
    EXPECT_LT(cryptelle::openListedEntry(folder.get(), entries[4], O_RDONLY), 0);
    EXPECT_EQ(errno, ESTALE);
    EXPECT_LT(cryptelle::openListedEntry(folder.get(), entries[0], O_RDONLY), 0);

    const cryptelle::UniqueFd plain(cryptelle::openListedEntry(folder.get(), entries[2], O_RDONLY));
    ASSERT_GE(plain.get(), 0);
    char buffer[16] = {};
    EXPECT_EQ(::read(plain.get(), buffer, sizeof buffer), 6);
    EXPECT_EQ(std::string(buffer), "inside");
}

} // namespace
