#include "ZIPLight.h"

#include <cstdio>
#include <ctime>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

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

// What an archive says about one entry, read with libzip (no password needed).
struct StoredEntry
{
    bool found = false;
    mode_t mode = 0;
    std::time_t modified = 0;
    std::string data; // only for unencrypted entries
};

StoredEntry storedEntry(const std::string& archivePath, const std::string& name)
{
    StoredEntry result;
    int error = 0;
    zip_t* archive = zip_open(archivePath.c_str(), ZIP_RDONLY, &error);
    if (archive == nullptr)
        return result;
    const zip_int64_t index = zip_name_locate(archive, name.c_str(), 0);
    zip_stat_t stat;
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (index >= 0 && zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) == 0 &&
        zip_file_get_external_attributes(archive, static_cast<zip_uint64_t>(index), 0, &system, &attributes) == 0) {
        result.found = true;
        result.mode = system == ZIP_OPSYS_UNIX ? static_cast<mode_t>(attributes >> 16) : 0;
        result.modified = stat.mtime;
        if (stat.encryption_method == ZIP_EM_NONE) {
            zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0);
            if (file != nullptr) {
                char buffer[4096];
                const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
                if (n > 0)
                    result.data.assign(buffer, static_cast<std::size_t>(n));
                zip_fclose(file);
            }
        }
    }
    zip_discard(archive);
    return result;
}

std::string linkTarget(const std::string& path)
{
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    return n < 0 ? std::string("(not a link)") : std::string(buffer, static_cast<std::size_t>(n));
}

// Each of the archive's writers: libzip's (no password, to a file), ours with
// a password, and ours handing the archive on as it is made.
enum class Writer { Libzip, OwnWithPassword, Streamed };

class ZIPLightWriterTest : public ZIPLightTest, public ::testing::WithParamInterface<Writer>
{
protected:
    bool packWith(const std::string& archive)
    {
        zip.SourceDirectory = q(dir.file("tree"));
        zip.Recursive = true;
        zip.CompressionLevel = 6;
        zip.ZipFileName = q(archive);
        zip.Password = GetParam() == Writer::OwnWithPassword ? QStringLiteral("pw") : QString();
        if (GetParam() == Writer::Streamed) {
            FILE* out = std::fopen(archive.c_str(), "wbx");
            if (out == nullptr)
                return false;
            zip.ZipStream = [out](const unsigned char* data, std::size_t size) {
                return std::fwrite(data, 1, size, out) == size;
            };
            const bool added = zip.Add();
            std::fclose(out);
            return added;
        }
        return zip.Add();
    }
    [[nodiscard]] std::string sevenZipPassword() const
    {
        return GetParam() == Writer::OwnWithPassword ? "-ppw " : "-p ";
    }
};

TEST_P(ZIPLightWriterTest, LinksAreStoredAsLinksAndNeverFollowed)
{
    writeFile(dir.file("outside.txt"), "outside secret");
    using Links = std::vector<std::pair<std::string, std::string>>; // name in the folder, target
    const Links inward = {
        {"to top file", "top file.txt"},
        {"sub folder/down", "deeper/data.bin"},
        {"dangling", "nowhere/at all"},
    };
    // 7z itself refuses to restore these (its own rule against links with
    // "..", or absolute ones); unzip restores them as they are.
    const Links outward = {
        {"sub folder/up", "../Ünïcödé/café.txt"},
        {"outside", dir.file("outside.txt")},
        {"out of the folder", ".."},
    };
    const auto make = [this](const Links& links) {
        for (const auto& [name, target] : links)
            ASSERT_EQ(::symlink(target.c_str(), dir.file("tree/" + name).c_str()), 0) << name;
    };
    const auto checkStored = [&](const std::string& archive, const Links& links) {
        for (const auto& [name, target] : links) {
            const StoredEntry stored = storedEntry(archive, name);
            ASSERT_TRUE(stored.found) << name;
            EXPECT_TRUE(S_ISLNK(stored.mode)) << name;
            if (GetParam() != Writer::OwnWithPassword) {
                EXPECT_EQ(stored.data, target) << name;
            }
        }
    };
    const auto checkRestored = [&](const std::string& folder, const Links& links) {
        for (const auto& [name, target] : links)
            EXPECT_EQ(linkTarget(dir.file(folder + "/" + name)), target) << folder << ": " << name;
    };

    make(inward);
    ASSERT_EQ(::mkfifo(dir.file("tree/pipe").c_str(), 0600), 0);
    zip.SourceDirectory = q(dir.file("tree"));
    zip.Recursive = true;
    const QStringList listed = zip.collectEntries();
    for (const auto& [name, target] : inward)
        EXPECT_TRUE(listed.contains(q(name))) << name;
    EXPECT_FALSE(listed.contains(QStringLiteral("pipe")));

    const std::string archive = dir.file("links.zip");
    ASSERT_TRUE(packWith(archive)) << zip.lastError().toStdString();
    checkStored(archive, inward);
    ASSERT_TRUE(
        run("7z x -y " + sevenZipPassword() + "-o" + quoted(dir.file("7z")) + " " + quoted(archive) + " > /dev/null"));
    checkRestored("7z", inward);
    EXPECT_EQ(readFile(dir.file("7z/sub folder/notes.md")), std::string(100000, 'n'));

    make(outward);
    const std::string wider = dir.file("wider.zip");
    ASSERT_TRUE(packWith(wider)) << zip.lastError().toStdString();
    checkStored(wider, inward);
    checkStored(wider, outward);
    EXPECT_FALSE(run("grep -q 'outside secret' " + quoted(wider))) << "nothing outside the folder is read";
    if (GetParam() != Writer::OwnWithPassword) {
        // unzip has no WinZip AES.
        ASSERT_TRUE(run("unzip -q " + quoted(wider) + " -d " + quoted(dir.file("unzip"))));
        checkRestored("unzip", inward);
        checkRestored("unzip", outward);
    }
}

TEST_P(ZIPLightWriterTest, FoldersCarryTheirOwnDates)
{
    // Even seconds, as the zip date has two-second steps.
    const std::pair<const char*, std::time_t> folders[] = {
        {"sub folder", 1600000000},
        {"sub folder/deeper", 1500000000},
        {"empty folder", 1400000000},
    };
    for (const auto& [folder, when] : folders) {
        const struct timespec times[2] = {{when, 0}, {when, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, dir.file(std::string("tree/") + folder).c_str(), times, 0), 0);
    }
    const std::string archive = dir.file("dates.zip");
    ASSERT_TRUE(packWith(archive)) << zip.lastError().toStdString();
    for (const auto& [folder, when] : folders) {
        const StoredEntry stored = storedEntry(archive, std::string(folder) + "/");
        ASSERT_TRUE(stored.found) << folder;
        EXPECT_EQ(stored.modified, when) << folder;
    }
    ASSERT_TRUE(
        run("7z x -y " + sevenZipPassword() + "-o" + quoted(dir.file("out")) + " " + quoted(archive) + " > /dev/null"));
    struct stat info
    {
    };
    ASSERT_EQ(::stat(dir.file("out/empty folder").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1400000000);
}

INSTANTIATE_TEST_SUITE_P(Writers,
                         ZIPLightWriterTest,
                         ::testing::Values(Writer::Libzip, Writer::OwnWithPassword, Writer::Streamed),
                         [](const ::testing::TestParamInfo<Writer>& info) {
                             switch (info.param) {
                             case Writer::Libzip:
                                 return std::string("Libzip");
                             case Writer::OwnWithPassword:
                                 return std::string("OwnWithPassword");
                             case Writer::Streamed:
                                 return std::string("Streamed");
                             }
                             return std::string();
                         });

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
