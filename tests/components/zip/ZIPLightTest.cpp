#include "ZIPLight.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "QtText.h"
#include "TempDir.h"
#include "TreeHelpers.h"

using namespace testsupport;
using ziplight::ZIPLight;

namespace {

std::string quoted(const std::string& path)
{
    return "'" + path + "'";
}

class ZIPLightTest : public ::testing::Test
{
protected:
    void SetUp() override { makeAwkwardTree(dir.file("tree")); }

    bool pack(const std::string& archive, qint16 level, bool recursive, const QString& password = {})
    {
        zip.SourceDirectory = q(dir.file("tree"));
        zip.Password = password;
        zip.CompressionLevel = level;
        zip.FilesToProcess = QStringLiteral("*");
        zip.ZipFileName = q(archive);
        zip.Recursive = recursive;
        zip.progress = [this](const QString&, double value) { progress.push_back(value); };
        return zip.Add();
    }

    TempDir dir;
    ZIPLight zip;
    std::vector<double> progress;
};

TEST_F(ZIPLightTest, RecursiveArchivePassesRealToolsAndRestoresTheTree)
{
    const std::string archive = dir.file("tree.zip");
    ASSERT_TRUE(pack(archive, 6, true)) << zip.lastError().toStdString();
    EXPECT_TRUE(run("unzip -tq " + quoted(archive)));
    EXPECT_TRUE(run("7z t " + quoted(archive)));
    ASSERT_FALSE(progress.empty());
    EXPECT_DOUBLE_EQ(progress.back(), 100.0);
    ASSERT_TRUE(run("7z x -o" + quoted(dir.file("out")) + " " + quoted(archive)));
    EXPECT_TRUE(run("diff -r " + quoted(dir.file("tree")) + " " + quoted(dir.file("out"))));
    EXPECT_TRUE(exists(dir.file("out/empty folder")));
}

TEST_F(ZIPLightTest, PasswordMakesAes256EntriesThatNeedIt)
{
    const std::string archive = dir.file("locked.zip");
    ASSERT_TRUE(pack(archive, 6, true, QStringLiteral("zip secret")));
    EXPECT_TRUE(run("7z t '-pzip secret' " + quoted(archive)));
    EXPECT_FALSE(run("7z t -pwrong " + quoted(archive)));
    EXPECT_TRUE(run("7z l -slt " + quoted(archive) + " | grep -q 'Method = AES-256'"));
}

TEST_F(ZIPLightTest, LevelZeroStoresAndNonRecursiveTakesTopFilesOnly)
{
    const std::string archive = dir.file("flat.zip");
    ASSERT_TRUE(pack(archive, 0, false));
    EXPECT_TRUE(run("unzip -tq " + quoted(archive)));
    EXPECT_FALSE(run("7z l -slt " + quoted(archive) + " | grep -q 'Method = Deflate'"));
    EXPECT_EQ(zip.collectEntries(),
              QStringList({QStringLiteral(".hidden"), QStringLiteral("empty.bin"), QStringLiteral("top file.txt")}));
}

TEST_F(ZIPLightTest, LinksLeadingOutOfTheFolderAreNeverFollowed)
{
    writeFile(dir.file("outside.txt"), "outside secret");
    ASSERT_EQ(::symlink(dir.file("outside.txt").c_str(), dir.file("tree/link.txt").c_str()), 0);
    ASSERT_EQ(::symlink(dir.path().c_str(), dir.file("tree/link-folder").c_str()), 0);
    zip.SourceDirectory = q(dir.file("tree"));
    zip.Recursive = true;
    for (const QString& entry : zip.collectEntries())
        EXPECT_FALSE(entry.startsWith(QStringLiteral("link"))) << entry.toStdString();
}

TEST_F(ZIPLightTest, RefusesWhatItCannotDoWithoutLeavingAnArchive)
{
    writeFile(dir.file("existing.zip"), "not mine to replace");
    EXPECT_FALSE(pack(dir.file("existing.zip"), 6, true));
    EXPECT_EQ(readFile(dir.file("existing.zip")), "not mine to replace");

    zip.SourceDirectory = q(dir.file("missing"));
    zip.ZipFileName = q(dir.file("m.zip"));
    EXPECT_FALSE(zip.Add());
    EXPECT_FALSE(zip.lastError().isEmpty());
    EXPECT_FALSE(exists(dir.file("m.zip")));

    zip.SourceDirectory = q(dir.file("tree"));
    zip.ZipFileName = q(dir.file("no folder/x.zip"));
    EXPECT_FALSE(zip.Add());
}

TEST_F(ZIPLightTest, AFileSwappedForALinkWhilePackingIsNeverRead)
{
    writeFile(dir.file("outside.txt"), "outside secret");
    ASSERT_EQ(::mkdir(dir.file("two").c_str(), 0700), 0);
    // Both writers: libzip's, and ours for stored entries with a password.
    for (const QString& password : {QString(), QStringLiteral("pw")}) {
        writeFile(dir.file("two/a.txt"), "first");
        ::unlink(dir.file("two/b.txt").c_str());
        writeFile(dir.file("two/b.txt"), "second");
        zip.SourceDirectory = q(dir.file("two"));
        zip.ZipFileName = q(dir.file("two.zip"));
        zip.Password = password;
        zip.CompressionLevel = password.isEmpty() ? 6 : 0;
        bool swapped = false;
        // Once packing has begun, after the folder was listed, b.txt becomes a link out of the folder.
        zip.progress = [&](const QString&, double) {
            if (swapped)
                return;
            swapped = true;
            ASSERT_EQ(::unlink(dir.file("two/b.txt").c_str()), 0);
            ASSERT_EQ(::symlink(dir.file("outside.txt").c_str(), dir.file("two/b.txt").c_str()), 0);
        };
        EXPECT_FALSE(zip.Add()) << password.toStdString();
        EXPECT_TRUE(swapped);
        EXPECT_FALSE(exists(dir.file("two.zip")));
        EXPECT_EQ(listFolder(dir.path()), "outside.txt tree two");
    }
}

TEST_F(ZIPLightTest, EmptyFolderGivesAValidEmptyArchive)
{
    ASSERT_EQ(::mkdir(dir.file("nothing").c_str(), 0700), 0);
    zip.SourceDirectory = q(dir.file("nothing"));
    for (const QString& password : {QString(), QStringLiteral("pw")}) {
        const std::string archive = dir.file(password.isEmpty() ? "nothing.zip" : "nothing-pw.zip");
        zip.ZipFileName = q(archive);
        zip.Password = password;
        zip.CompressionLevel = 0;
        ASSERT_TRUE(zip.Add());
        EXPECT_TRUE(run("7z t " + quoted(archive)));
        EXPECT_EQ(readFile(archive).size(), 22u) << "the end record alone";
    }
}

} // namespace

namespace {

TEST(ZIPLightZip64Test, MoreThan65535EntriesStillMakeAValidArchive)
{
    TempDir dir;
    const std::string tree = dir.file("many");
    ASSERT_EQ(::mkdir(tree.c_str(), 0700), 0);
    constexpr int kFiles = 65600;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = tree + "/f" + std::to_string(i);
        const int fd = ::creat(name.c_str(), 0600);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    ZIPLight zip;
    zip.SourceDirectory = q(tree);
    zip.CompressionLevel = 0;
    zip.ZipFileName = q(dir.file("many.zip"));
    ASSERT_TRUE(zip.Add()) << zip.lastError().toStdString();
    const std::string listing = dir.file("listing.txt");
    // The helper silences output, so the listing is written by an inner shell.
    ASSERT_TRUE(run("sh -c \"7z l -slt " + quoted(dir.file("many.zip")) + " > " + quoted(listing) + "\""));
    const std::string text = readFile(listing);
    std::size_t entries = 0;
    for (auto at = text.find("\nPath = f"); at != std::string::npos; at = text.find("\nPath = f", at + 1))
        ++entries;
    EXPECT_EQ(entries, static_cast<std::size_t>(kFiles));
    EXPECT_TRUE(run("7z t " + quoted(dir.file("many.zip"))));
}

} // namespace
