#include "FileCipher.h"

#include <algorithm>
#include <map>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "QtText.h"
#include "StreamHelpers.h"
#include "TempDir.h"

using namespace zqvcrypto;
using namespace streamtest;
using namespace testsupport;

namespace {

class FileCipherTest : public ::testing::Test
{
protected:
    CryptoError encryptPaths(const std::string& from, const std::string& to, bool replace = false, bool verify = false)
    {
        FileJob job{q(from), q(to), replace, verify, [this](int p) { percents.push_back(p); }};
        return encryptFile(job, bytesOf(password), kCheapKdf);
    }
    CryptoError decryptPaths(const std::string& from, const std::string& to, bool replace = false, bool verify = false)
    {
        FileJob job{q(from), q(to), replace, verify, [this](int p) { percents.push_back(p); }};
        return decryptFile(job, bytesOf(password));
    }

    TempDir dir;
    std::string password = "correct horse";
    std::vector<int> percents;
};

TEST_F(FileCipherTest, RoundTripThroughFilesReportsProgressToTheEnd)
{
    const std::string plain = patterned(5 * 1024 * 1024 + 3);
    writeFile(dir.file("a.txt"), plain);
    ASSERT_EQ(encryptPaths(dir.file("a.txt"), dir.file("a.txt.zqv")), CryptoError::None);
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    struct stat info
    {
    };
    ASSERT_EQ(::stat(dir.file("a.txt.zqv").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    ASSERT_EQ(decryptPaths(dir.file("a.txt.zqv"), dir.file("b.txt"), false, true), CryptoError::None);
    EXPECT_TRUE(readFile(dir.file("b.txt")) == plain);
    EXPECT_EQ(listFolder(dir.path()), "a.txt a.txt.zqv b.txt");
}

TEST_F(FileCipherTest, VerifiedEncryptionStillDecrypts)
{
    writeFile(dir.file("a"), "content");
    ASSERT_EQ(encryptPaths(dir.file("a"), dir.file("a.zqv"), false, true), CryptoError::None);
    ASSERT_EQ(decryptPaths(dir.file("a.zqv"), dir.file("a.out")), CryptoError::None);
    EXPECT_EQ(readFile(dir.file("a.out")), "content");
}

TEST_F(FileCipherTest, FailuresLeaveNoOutputAndExistingFilesUntouched)
{
    writeFile(dir.file("a.txt"), patterned(300000));
    ASSERT_EQ(encryptPaths(dir.file("a.txt"), dir.file("a.zqv")), CryptoError::None);
    const std::string sealed = readFile(dir.file("a.zqv"));
    writeFile(dir.file("existing"), "keep me");

    // Wrong password, with and without permission to replace.
    password = "wrong";
    EXPECT_EQ(decryptPaths(dir.file("a.zqv"), dir.file("out")), CryptoError::WrongPassword);
    EXPECT_EQ(decryptPaths(dir.file("a.zqv"), dir.file("existing"), true), CryptoError::WrongPassword);
    password = "correct horse";

    // Damage late in the file: plaintext has been produced before the failure.
    std::string damaged = sealed;
    damaged[damaged.size() - 5] ^= 0x40;
    writeFile(dir.file("damaged.zqv"), damaged);
    EXPECT_EQ(decryptPaths(dir.file("damaged.zqv"), dir.file("existing"), true), CryptoError::Damaged);
    EXPECT_EQ(decryptPaths(dir.file("damaged.zqv"), dir.file("out")), CryptoError::Damaged);

    // An existing destination is not replaced unless asked.
    EXPECT_EQ(encryptPaths(dir.file("a.txt"), dir.file("existing")), CryptoError::DestinationExists);
    EXPECT_EQ(decryptPaths(dir.file("a.zqv"), dir.file("existing")), CryptoError::DestinationExists);

    // Missing source, a folder as source, an unwritable destination folder.
    EXPECT_EQ(encryptPaths(dir.file("missing"), dir.file("m.zqv")), CryptoError::ReadFailed);
    EXPECT_EQ(encryptPaths(dir.path(), dir.file("d.zqv")), CryptoError::ReadFailed);
    EXPECT_EQ(encryptPaths(dir.file("a.txt"), dir.file("no-folder/x.zqv")), CryptoError::WriteFailed);

    EXPECT_EQ(readFile(dir.file("existing")), "keep me");
    EXPECT_EQ(listFolder(dir.path()), "a.txt a.zqv damaged.zqv existing");
}

TEST_F(FileCipherTest, ReplacingAnExistingDestinationWhenAsked)
{
    writeFile(dir.file("a.txt"), "new content");
    writeFile(dir.file("a.zqv"), "old");
    ASSERT_EQ(encryptPaths(dir.file("a.txt"), dir.file("a.zqv"), true), CryptoError::None);
    ASSERT_EQ(decryptPaths(dir.file("a.zqv"), dir.file("a.txt"), true), CryptoError::None);
    EXPECT_EQ(readFile(dir.file("a.txt")), "new content");
}

TEST_F(FileCipherTest, SourceIsNeverItsOwnDestination)
{
    writeFile(dir.file("a.txt"), "only copy");
    ASSERT_EQ(::symlink(dir.file("a.txt").c_str(), dir.file("link.zqv").c_str()), 0);
    ASSERT_EQ(::link(dir.file("a.txt").c_str(), dir.file("hard.zqv").c_str()), 0);
    EXPECT_EQ(encryptPaths(dir.file("a.txt"), dir.file("a.txt"), true), CryptoError::SameFile);
    EXPECT_EQ(encryptPaths(dir.file("a.txt"), dir.file("link.zqv"), true), CryptoError::SameFile);
    EXPECT_EQ(encryptPaths(dir.file("a.txt"), dir.file("hard.zqv"), true), CryptoError::SameFile);
    EXPECT_EQ(encryptPaths(dir.file("a.txt"), dir.path() + "/./a.txt", true), CryptoError::SameFile);
    EXPECT_EQ(readFile(dir.file("a.txt")), "only copy");
}

// Checks a decrypted stream against a sparse plaintext without a second copy on disk.
class SparseCheckSink : public ByteSink
{
public:
    bool write(const unsigned char* data, std::size_t size) override
    {
        for (std::size_t i = 0; i < size; ++i, ++offset) {
            const unsigned char expected = markers.count(offset) ? markers.at(offset) : 0;
            if (data[i] != expected)
                ++mismatches;
        }
        return true;
    }
    std::map<std::uint64_t, unsigned char> markers;
    std::uint64_t offset = 0;
    std::uint64_t mismatches = 0;
};

TEST_F(FileCipherTest, FilesOverFourGibibytes)
{
    const std::uint64_t size = (4ull << 30) + 4099;
    const std::string input = dir.file("big.img");
    const std::map<std::uint64_t, unsigned char> markers = {
        {0, 'A'}, {(4ull << 30) - 1, 'B'}, {4ull << 30, 'C'}, {size - 1, 'D'}};
    {
        const int fd = ::open(input.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        for (const auto& [offset, value] : markers)
            ASSERT_EQ(::pwrite(fd, &value, 1, static_cast<off_t>(offset)), 1);
        ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(size)), 0);
        ::close(fd);
    }
    ASSERT_EQ(encryptPaths(input, dir.file("big.zqv")), CryptoError::None);
    ASSERT_EQ(::unlink(input.c_str()), 0);

    const int fd = ::open(dir.file("big.zqv").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    struct FdSource : ByteSource
    {
        int fd;
        std::int64_t read(unsigned char* b, std::size_t n) override { return ::read(fd, b, n); }
    } source;
    source.fd = fd;
    SparseCheckSink check;
    check.markers = markers;
    EXPECT_EQ(decryptStream(source, check, bytesOf(password)), CryptoError::None);
    ::close(fd);
    EXPECT_EQ(check.offset, size);
    EXPECT_EQ(check.mismatches, 0u);
}

} // namespace
