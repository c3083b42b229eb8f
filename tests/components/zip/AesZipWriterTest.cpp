#include "AesZipWriter.h"

#include <algorithm>
#include <map>
#include <set>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include "QtText.h"
#include "TempDir.h"
#include "TreeHelpers.h"
#include "WinZipAes.h"
#include "ZIPLight.h"

using namespace testsupport;
using ziplight::AesZipWriter;
using ziplight::WinZipAes;
using ziplight::ZIPLight;

namespace {

std::string quoted(const std::string& path)
{
    return "'" + path + "'";
}

std::string patterned(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 9)) & 0xff);
    return bytes;
}

// Reads every entry back with libzip, an independent reader of the format.
std::map<std::string, std::string> readWithLibzip(const std::string& archive, const char* password, int& failures)
{
    std::map<std::string, std::string> content;
    failures = 0;
    int error = 0;
    zip_t* zip = zip_open(archive.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (zip == nullptr) {
        ++failures;
        return content;
    }
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const std::string name = zip_get_name(zip, static_cast<zip_uint64_t>(i), 0);
        zip_file_t* file = zip_fopen_index_encrypted(zip, static_cast<zip_uint64_t>(i), 0, password);
        if (file == nullptr) {
            ++failures;
            continue;
        }
        std::string bytes;
        char buffer[65536];
        zip_int64_t n = 0;
        while ((n = zip_fread(file, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, static_cast<std::size_t>(n));
        if (n < 0)
            ++failures;
        zip_fclose(file);
        content[name] = bytes;
    }
    zip_discard(zip);
    return content;
}

TEST(WinZipAesTest, PiecesOfAnySizeGiveTheSameEncryptionAndDecryptBack)
{
    const unsigned char salt[WinZipAes::kSaltSize] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const std::string plain = patterned(70001, 3); // past one batch of key stream
    std::string whole = plain;
    std::array<unsigned char, WinZipAes::kCheckSize> check{};
    std::array<unsigned char, WinZipAes::kMacSize> wholeMac{};
    {
        WinZipAes cipher;
        ASSERT_TRUE(cipher.beginWithSalt("secret", salt, check));
        ASSERT_TRUE(cipher.encrypt(reinterpret_cast<unsigned char*>(whole.data()), whole.size()));
        ASSERT_TRUE(cipher.finish(wholeMac));
    }
    EXPECT_NE(whole, plain);
    for (std::size_t step : {1u, 7u, 15u, 16u, 17u, 33u, 4096u, 65537u}) {
        std::string pieces = plain;
        WinZipAes cipher;
        std::array<unsigned char, WinZipAes::kCheckSize> again{};
        ASSERT_TRUE(cipher.beginWithSalt("secret", salt, again));
        EXPECT_EQ(again, check);
        for (std::size_t at = 0; at < pieces.size(); at += step)
            ASSERT_TRUE(cipher.encrypt(reinterpret_cast<unsigned char*>(pieces.data()) + at,
                                       std::min(step, pieces.size() - at)));
        std::array<unsigned char, WinZipAes::kMacSize> mac{};
        ASSERT_TRUE(cipher.finish(mac));
        EXPECT_TRUE(pieces == whole) << "pieces of " << step;
        EXPECT_EQ(mac, wholeMac) << "pieces of " << step;
    }
    std::string back = whole;
    WinZipAes cipher;
    ASSERT_TRUE(cipher.beginWithSalt("secret", salt, check));
    ASSERT_TRUE(cipher.decrypt(reinterpret_cast<unsigned char*>(back.data()), back.size()));
    std::array<unsigned char, WinZipAes::kMacSize> mac{};
    ASSERT_TRUE(cipher.finish(mac));
    EXPECT_TRUE(back == plain);
    EXPECT_EQ(mac, wholeMac);
}

class EncryptedArchiveTest : public ::testing::Test
{
protected:
    // Streamed, the archive is handed on as made and only then put in the file.
    bool pack(const std::string& tree,
              const std::string& archive,
              const QString& password,
              qint16 level = 0,
              bool streamed = false)
    {
        ZIPLight zip;
        zip.SourceDirectory = q(tree);
        zip.Password = password;
        zip.CompressionLevel = level;
        zip.ZipFileName = q(archive);
        zip.Recursive = true;
        zip.progress = [this](const QString&, double value) { progress.push_back(value); };
        std::string handedOn;
        if (streamed) {
            zip.ZipStream = [&handedOn](const unsigned char* data, std::size_t size) {
                handedOn.append(reinterpret_cast<const char*>(data), size);
                return true;
            };
        }
        const bool ok = zip.Add();
        error = zip.lastError().toStdString();
        if (ok && streamed)
            writeFile(archive, handedOn);
        return ok;
    }

    TempDir dir;
    std::vector<double> progress;
    std::string error;
};

TEST_F(EncryptedArchiveTest, OtherToolsReadEveryEntryOnlyWithThePassword)
{
    const std::string tree = dir.file("tree");
    makeAwkwardTree(tree);
    // Sizes around the small-file rule, the cipher block, its batches and the read pieces.
    std::map<std::string, std::string> sizes;
    for (std::size_t size : {1u, 15u, 16u, 17u, 19u, 20u, 21u, 65535u, 65537u, 524288u, 524291u, 1048577u}) {
        const std::string name = std::string("sizes/s").append(std::to_string(size));
        sizes[name] = patterned(size, static_cast<unsigned>(size));
    }
    ASSERT_EQ(::mkdir((tree + "/sizes").c_str(), 0755), 0);
    for (const auto& [name, bytes] : sizes)
        writeFile(tree + "/" + name, bytes);
    ASSERT_EQ(::chmod((tree + "/sizes/s1").c_str(), 0750), 0);

    writeFile(tree + "/sizes/zeros", std::string(3u << 20, '\0'));
    sizes["sizes/zeros"] = std::string(3u << 20, '\0');

    // Stored, and deflated at the fastest, the usual and the strongest level.
    for (const qint16 level : {0, 1, 6, 9}) {
        SCOPED_TRACE("level " + std::to_string(level));
        const std::string archive = dir.file("locked" + std::to_string(level) + ".zip");
        const std::string out = dir.file("out" + std::to_string(level));
        progress.clear();
        ASSERT_TRUE(pack(tree, archive, QStringLiteral("zip secret"), level)) << error;
        ASSERT_FALSE(progress.empty());
        EXPECT_DOUBLE_EQ(progress.back(), 100.0);

        EXPECT_TRUE(run("7z t '-pzip secret' " + quoted(archive)));
        EXPECT_FALSE(run("7z t -pwrong " + quoted(archive)));
        EXPECT_TRUE(run("7z l -slt " + quoted(archive) + " | grep -q 'Method = AES-256 " +
                        (level == 0 ? "Store" : "Deflate") + "'"));
        ASSERT_TRUE(run("7z x '-pzip secret' -o" + quoted(out) + " " + quoted(archive)));
        EXPECT_TRUE(run("diff -r " + quoted(tree) + " " + quoted(out)));
        EXPECT_TRUE(exists(out + "/empty folder"));
        struct stat info
        {
        };
        ASSERT_EQ(::stat((out + "/sizes/s1").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0750u) << "permission bits survive";
        ASSERT_EQ(::stat(archive.c_str(), &info), 0);
        if (level > 0) {
            EXPECT_LT(info.st_size, 2 << 20) << "the zeros were compressed";
        }

        int failures = 0;
        const auto content = readWithLibzip(archive, "zip secret", failures);
        EXPECT_EQ(failures, 0);
        for (const auto& [name, bytes] : sizes)
            EXPECT_TRUE(content.count(name) == 1 && content.at(name) == bytes) << name;
        EXPECT_EQ(content.at("Ünïcödé/café.txt"), "crème brûlée\n");
        readWithLibzip(archive, "wrong", failures);
        EXPECT_GT(failures, 0);
    }
}

TEST_F(EncryptedArchiveTest, StreamedArchivesAreReadByEveryToolWithAndWithoutAPassword)
{
    // Entries too large to be held whole say their sizes after their data;
    // strict readers check those against the directory.
    const std::string tree = dir.file("tree");
    makeAwkwardTree(tree);
    std::map<std::string, std::string> sizes;
    for (std::size_t size : {0u, 5u, 20u, 524000u, 524288u, 524400u, 3145733u}) {
        const std::string name = std::string("sizes/s").append(std::to_string(size));
        sizes[name] = patterned(size, static_cast<unsigned>(size));
    }
    sizes["sizes/zeros"] = std::string(2u << 20, '\0');
    ASSERT_EQ(::mkdir((tree + "/sizes").c_str(), 0755), 0);
    for (const auto& [name, bytes] : sizes)
        writeFile(tree + "/" + name, bytes);

    for (const QString& password : {QString(), QStringLiteral("zip secret")}) {
        for (const qint16 level : {0, 6}) {
            const std::string label = std::string(password.isEmpty() ? "plain" : "aes").append(std::to_string(level));
            SCOPED_TRACE(label);
            const std::string archive = dir.file(label + ".zip");
            const std::string out = dir.file(label);
            progress.clear();
            ASSERT_TRUE(pack(tree, archive, password, level, true)) << error;
            EXPECT_DOUBLE_EQ(progress.back(), 100.0);
            const std::string pass = password.isEmpty() ? std::string() : "'-p" + password.toStdString() + "' ";
            EXPECT_TRUE(run("7z t " + pass + quoted(archive)));
            ASSERT_TRUE(run("7z x " + pass + "-o" + quoted(out) + " " + quoted(archive)));
            EXPECT_TRUE(run("diff -r " + quoted(tree) + " " + quoted(out)));
            if (password.isEmpty()) {
                EXPECT_TRUE(run("unzip -tq " + quoted(archive)));
                EXPECT_TRUE(run("7z l -slt " + quoted(archive) +
                                " | grep -q 'Method = " + (level == 0 ? "Store" : "Deflate") + "'"));
                EXPECT_FALSE(run("7z l -slt " + quoted(archive) + " | grep -q 'Encrypted = +'"));
            } else {
                EXPECT_FALSE(run("7z t -pwrong " + quoted(archive)));
            }
            int failures = 0;
            const auto content = readWithLibzip(archive, password.isEmpty() ? nullptr : "zip secret", failures);
            EXPECT_EQ(failures, 0);
            for (const auto& [name, bytes] : sizes)
                EXPECT_TRUE(content.count(name) == 1 && content.at(name) == bytes) << name;
        }
    }
}

TEST_F(EncryptedArchiveTest, AStreamedFileOverFourGibibytesIsReadBackWhole)
{
    // Sizes after the data must then be ZIP64 too. The file is sparse and
    // stored, so the archive's data is zeros and is kept sparse on disk.
    const std::string tree = dir.file("tree");
    ASSERT_EQ(::mkdir(tree.c_str(), 0755), 0);
    constexpr off_t kSize = (off_t{4} << 30) + 4099;
    {
        const int big = ::open((tree + "/big").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(big, 0);
        ASSERT_EQ(::ftruncate(big, kSize), 0);
        ::close(big);
    }
    writeFile(tree + "/after", "the entry after the large one");
    const std::string archive = dir.file("big.zip");
    const int out = ::open(archive.c_str(), O_CREAT | O_WRONLY | O_EXCL, 0600);
    ASSERT_GE(out, 0);
    ZIPLight zip;
    zip.SourceDirectory = q(tree);
    zip.ZipFileName = q(archive);
    zip.CompressionLevel = 0;
    off_t at = 0;
    zip.ZipStream = [out, &at](const unsigned char* data, std::size_t size) {
        const bool zeros = std::all_of(data, data + size, [](unsigned char byte) { return byte == 0; });
        const bool ok = zeros || ::pwrite(out, data, size, at) == static_cast<ssize_t>(size);
        at += static_cast<off_t>(size);
        return ok;
    };
    ASSERT_TRUE(zip.Add()) << zip.lastError().toStdString();
    ASSERT_EQ(::ftruncate(out, at), 0);
    ::close(out);

    EXPECT_TRUE(run("7z t " + quoted(archive) + " > /dev/null"));
    int error = 0;
    zip_t* read = zip_open(archive.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    ASSERT_NE(read, nullptr) << error;
    zip_stat_t info;
    ASSERT_EQ(zip_stat(read, "big", 0, &info), 0);
    EXPECT_EQ(info.size, static_cast<zip_uint64_t>(kSize));
    zip_file_t* after = zip_fopen(read, "after", 0);
    ASSERT_NE(after, nullptr);
    char text[64] = {};
    EXPECT_EQ(zip_fread(after, text, sizeof text), 29);
    EXPECT_STREQ(text, "the entry after the large one");
    zip_fclose(after);
    zip_discard(read);
}

TEST_F(EncryptedArchiveTest, AStreamThatRefusesBytesFailsThePacking)
{
    const std::string tree = dir.file("tree");
    makeAwkwardTree(tree);
    writeFile(tree + "/large", patterned(3u << 20, 3));
    ZIPLight zip;
    zip.SourceDirectory = q(tree);
    zip.ZipFileName = q(dir.file("never.zip"));
    zip.Recursive = true;
    zip.CompressionLevel = 0;
    std::size_t taken = 0;
    zip.ZipStream = [&taken](const unsigned char*, std::size_t size) {
        if (taken > (1u << 20))
            return false;
        taken += size;
        return true;
    };
    EXPECT_FALSE(zip.Add());
    EXPECT_EQ(zip.lastError(), QStringLiteral("The archive could not be written: Write error: the output was closed."));
    EXPECT_EQ(listFolder(dir.path()), "tree");
}

TEST_F(EncryptedArchiveTest, ProgressGoesByBytesAndOnlyForwards)
{
    // One large file first, then many small ones: the bar follows the bytes,
    // not the count of entries.
    const std::string tree = dir.file("tree");
    ASSERT_EQ(::mkdir(tree.c_str(), 0755), 0);
    writeFile(tree + "/a large", patterned(8u << 20, 9));
    for (int i = 0; i < 20; ++i)
        writeFile(tree + "/small " + std::to_string(i), "x");
    ASSERT_TRUE(pack(tree, dir.file("p.zip"), QStringLiteral("pw"), 1)) << error;
    ASSERT_GE(progress.size(), 3u);
    EXPECT_DOUBLE_EQ(progress.front(), 0.0);
    EXPECT_DOUBLE_EQ(progress.back(), 100.0);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    const bool midway =
        std::any_of(progress.begin(), progress.end(), [](double value) { return value > 40.0 && value < 80.0; });
    EXPECT_TRUE(midway) << "reported while the large file was read";
}

TEST_F(EncryptedArchiveTest, ChangedBytesAreFoundByTheReaders)
{
    const std::string tree = dir.file("tree");
    ASSERT_EQ(::mkdir(tree.c_str(), 0755), 0);
    writeFile(tree + "/a.bin", patterned(100000, 1));
    const std::string archive = dir.file("a.zip");
    ASSERT_TRUE(pack(tree, archive, QStringLiteral("pw"))) << error;
    std::string bytes = readFile(archive);
    bytes[30 + 5 + 11 + 18 + 5000] ^= 0x01; // inside the encrypted data of a.bin
    writeFile(dir.file("changed.zip"), bytes);
    EXPECT_FALSE(run("7z t -ppw " + quoted(dir.file("changed.zip"))));
    int failures = 0;
    readWithLibzip(dir.file("changed.zip"), "pw", failures);
    EXPECT_GT(failures, 0);
}

TEST_F(EncryptedArchiveTest, NeverReplacesAnArchiveAndLeavesNothingOnFailure)
{
    const std::string tree = dir.file("tree");
    makeAwkwardTree(tree);
    writeFile(dir.file("existing.zip"), "not mine to replace");
    EXPECT_FALSE(pack(tree, dir.file("existing.zip"), QStringLiteral("pw")));
    EXPECT_EQ(error, "The archive already exists.");
    EXPECT_EQ(readFile(dir.file("existing.zip")), "not mine to replace");

    ASSERT_EQ(::chmod((tree + "/sub folder/notes.md").c_str(), 0), 0);
    if (::geteuid() != 0) {
        EXPECT_FALSE(pack(tree, dir.file("unreadable.zip"), QStringLiteral("pw")));
        EXPECT_EQ(error, "The file sub folder/notes.md could not be read.");
        EXPECT_EQ(listFolder(dir.path()), "existing.zip tree") << "no archive, no leftover";
    }
}

TEST_F(EncryptedArchiveTest, ManySmallFilesEachGetTheirOwnSalt)
{
    // Keys are derived ahead on other threads; a salt used twice would repeat
    // the key stream, so every entry's must differ.
    const std::string tree = dir.file("small");
    ASSERT_EQ(::mkdir(tree.c_str(), 0755), 0);
    constexpr int kFiles = 300;
    for (int i = 0; i < kFiles; ++i)
        writeFile(tree + "/f" + std::to_string(i), std::to_string(i * 7919));
    const std::string archive = dir.file("small.zip");
    ASSERT_TRUE(pack(tree, archive, QStringLiteral("pw"), 6)) << error;
    EXPECT_TRUE(run("7z t -ppw " + quoted(archive)));

    const std::string bytes = readFile(archive);
    const auto u16 = [&](std::size_t at) {
        return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at])) |
               static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
    };
    const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
    std::set<std::string> salts;
    std::size_t at = 0;
    int files = 0;
    while (at + 30 <= bytes.size() && u32(at) == 0x04034b50) {
        const std::size_t data = at + 30 + u16(at + 26) + u16(at + 28);
        if (u16(at + 8) == 99) {
            salts.insert(bytes.substr(data, WinZipAes::kSaltSize));
            ++files;
        }
        at = data + u32(at + 18);
    }
    EXPECT_EQ(files, kFiles);
    EXPECT_EQ(salts.size(), static_cast<std::size_t>(kFiles));
    int failures = 0;
    const auto content = readWithLibzip(archive, "pw", failures);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(content.at("f299"), std::to_string(299 * 7919));
}

TEST(AesZipWriterTest, AFileThatChangesSizeWhileReadFailsTheEntry)
{
    TempDir dir;
    writeFile(dir.file("f"), patterned(1000, 5));
    for (const std::uint64_t claimed : {999u, 1001u}) {
        const int out = ::open(dir.path().c_str(), O_TMPFILE | O_RDWR, 0600);
        const int in = ::open(dir.file("f").c_str(), O_RDONLY);
        ASSERT_GE(out, 0);
        ASSERT_GE(in, 0);
        AesZipWriter archive(out, "pw");
        EXPECT_FALSE(archive.addFile("f", in, claimed, 0644, 0));
        EXPECT_EQ(archive.error(),
                  claimed < 1000 ? "The file f grew while it was packed." : "The file f shrank while it was packed.");
        ::close(in);
        ::close(out);
    }
}

TEST(AesZipWriterTest, MoreThan65535EntriesUseTheLargeEndRecords)
{
    // Folders are entries too, and cost no key derivation each.
    TempDir dir;
    const std::string path = dir.file("many.zip");
    const int out = ::open(path.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
    ASSERT_GE(out, 0);
    AesZipWriter archive(out, "pw");
    constexpr int kFolders = 65600;
    for (int i = 0; i < kFolders; ++i)
        ASSERT_TRUE(archive.addFolder(std::string("d").append(std::to_string(i)).append("/"), 0755, 1700000000));
    writeFile(dir.file("last"), "the last one, after the folders");
    const int in = ::open(dir.file("last").c_str(), O_RDONLY);
    ASSERT_TRUE(archive.addFile("last", in, 31, 0644, 0));
    ::close(in);
    ASSERT_TRUE(archive.finish()) << archive.error();
    ::close(out);
    EXPECT_TRUE(run("7z t -ppw " + quoted(path)));
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(zip_get_num_entries(zip, 0), kFolders + 1);
    zip_discard(zip);
}

} // namespace
