#include "FileCipher.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ByteChannel.h"
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
        FileJob job{q(from), q(to), replace, verify, [this](int p) { percents.push_back(p); }, {}};
        return encryptFile(job, bytesOf(password), kCheapKdf);
    }
    CryptoError decryptPaths(const std::string& from, const std::string& to, bool replace = false, bool verify = false)
    {
        FileJob job{q(from), q(to), replace, verify, [this](int p) { percents.push_back(p); }, {}};
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

// Hands `plain` on in uneven pieces, then says whether it made it whole.
PlaintextProducer producing(const std::string& plain, std::size_t failAfter = std::string::npos)
{
    return [plain, failAfter](const PlaintextWriter& write) {
        std::size_t at = 0;
        for (std::size_t step = 1; at < plain.size(); step = step * 3 % 1000003 + 1) {
            if (at >= failAfter)
                return false;
            const std::size_t n = std::min(step, plain.size() - at);
            if (!write(reinterpret_cast<const unsigned char*>(plain.data()) + at, n))
                return false;
            at += n;
        }
        return true;
    };
}

TEST_F(FileCipherTest, AProducedPlaintextIsEncryptedWhileMadeAndNeverTakenWhenIncomplete)
{
    // Larger than the channel, so producing and encrypting must take turns.
    const std::string plain = patterned((20u << 20) + 17);
    FileJob job{
        QString(), q(dir.file("made.zqv")), false, true, [this](int p) { percents.push_back(p); }, producing(plain)};
    ASSERT_EQ(encryptFile(job, bytesOf(password), kCheapKdf), CryptoError::None);
    EXPECT_TRUE(percents.empty()) << "the size is not known ahead; the producer reports progress";
    ASSERT_EQ(decryptPaths(dir.file("made.zqv"), dir.file("made")), CryptoError::None);
    EXPECT_TRUE(readFile(dir.file("made")) == plain);

    // A producer that stops halfway fails the encryption; nothing is written.
    job.destination = q(dir.file("half.zqv"));
    job.produce = producing(plain, 12u << 20);
    EXPECT_EQ(encryptFile(job, bytesOf(password), kCheapKdf), CryptoError::ReadFailed);
    // An encryption that fails before it starts never runs the producer.
    bool ran = false;
    job.destination = q(dir.file("made.zqv"));
    job.produce = [&ran](const PlaintextWriter&) { return ran = true; };
    EXPECT_EQ(encryptFile(job, bytesOf(password), kCheapKdf), CryptoError::DestinationExists);
    EXPECT_FALSE(ran);
    EXPECT_EQ(listFolder(dir.path()), "made made.zqv");

    // Into a self-extracting file too, with the name the recipient gets.
    SfxJob sfx;
    sfx.stubPath = q(dir.file("stub"));
    writeFile(dir.file("stub"), "#!/bin/false\n");
    sfx.destination = q(dir.file("made.exe"));
    sfx.storedName = QStringLiteral("made.zip");
    sfx.produce = producing(plain, 3u << 20);
    EXPECT_EQ(makeSelfExtracting(sfx, bytesOf(password), kCheapKdf), CryptoError::ReadFailed);
    EXPECT_EQ(listFolder(dir.path()), "made made.zqv stub");
    sfx.produce = producing(plain);
    EXPECT_EQ(makeSelfExtracting(sfx, bytesOf(password), kCheapKdf), CryptoError::None);
    EXPECT_EQ(listFolder(dir.path()), "made made.exe made.zqv stub");
}

TEST(ByteChannelTest, EndsOnlyWhenCompleteAndFreesAProducerTheReaderLeft)
{
    {
        ByteChannel channel(4);
        std::thread producer([&] {
            const unsigned char bytes[] = "abcdefghij";
            EXPECT_TRUE(channel.write(bytes, 10));
            channel.close(true);
        });
        std::string got;
        unsigned char buffer[3];
        for (std::int64_t n = 0; (n = channel.read(buffer, sizeof buffer)) > 0;)
            got.append(reinterpret_cast<char*>(buffer), static_cast<std::size_t>(n));
        producer.join();
        EXPECT_EQ(got, "abcdefghij");
        EXPECT_EQ(channel.read(buffer, 1), 0) << "the end stays the end";
    }
    {
        ByteChannel channel(4);
        const unsigned char bytes[] = "ab";
        ASSERT_TRUE(channel.write(bytes, 2));
        channel.close(false);
        unsigned char buffer[8];
        EXPECT_EQ(channel.read(buffer, sizeof buffer), 2);
        EXPECT_EQ(channel.read(buffer, sizeof buffer), -1) << "an incomplete stream never reads as ended";
    }
    {
        // The producer waits on a full ring; the reader leaving releases it.
        ByteChannel channel(4);
        bool written = true;
        std::thread producer([&] {
            const std::string bytes(100, 'x');
            written = channel.write(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
            channel.close(written);
        });
        unsigned char buffer[2];
        EXPECT_EQ(channel.read(buffer, sizeof buffer), 2);
        channel.abandon();
        producer.join();
        EXPECT_FALSE(written);
    }
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

// When the stop is asked for during a decryption.
enum class StopAt { Start, FirstProgress, LastChunk };

struct StopCase
{
    const char* name;
    std::size_t size;
    bool verify;
    bool replace; // over an existing destination the caller agreed to replace
    StopAt at;
};

class DecryptStopTest : public ::testing::TestWithParam<StopCase>
{
protected:
    TempDir dir;
};

TEST_P(DecryptStopTest, LeavesNoOutputAndTheSourceAsItWas)
{
    const StopCase& c = GetParam();
    writeFile(dir.file("a"), patterned(c.size));
    {
        FileJob make;
        make.source = q(dir.file("a"));
        make.destination = q(dir.file("a.zqv"));
        ASSERT_EQ(encryptFile(make, bytesOf("pw"), kCheapKdf), CryptoError::None);
    }
    ASSERT_EQ(::unlink(dir.file("a").c_str()), 0);
    const std::string sealed = readFile(dir.file("a.zqv"));
    if (c.replace)
        writeFile(dir.file("out"), "keep me");
    const std::string before = listFolder(dir.path());

    std::atomic<bool> stop = c.at == StopAt::Start;
    std::vector<int> percents;
    FileJob job;
    job.source = q(dir.file("a.zqv"));
    job.destination = q(dir.file("out"));
    job.replaceExisting = c.replace;
    job.verify = c.verify;
    job.progress = [&](int percent) {
        percents.push_back(percent);
        if (c.at == StopAt::FirstProgress || (c.at == StopAt::LastChunk && percent == 100))
            stop = true;
    };
    job.stop = &stop;
    EXPECT_EQ(decryptFile(job, bytesOf("pw")), CryptoError::Cancelled);
    EXPECT_EQ(listFolder(dir.path()), before) << "no output and no partial";
    EXPECT_TRUE(readFile(dir.file("a.zqv")) == sealed);
    if (c.replace) {
        EXPECT_EQ(readFile(dir.file("out")), "keep me");
    }
    if (c.at == StopAt::FirstProgress) {
        // It stopped between two chunks instead of running to the end.
        ASSERT_EQ(percents.size(), 1u);
        EXPECT_LT(percents[0], 100);
    }

    // The same job without the stop runs whole.
    stop = false;
    job.progress = nullptr;
    ASSERT_EQ(decryptFile(job, bytesOf("pw")), CryptoError::None);
    EXPECT_TRUE(readFile(dir.file("out")) == patterned(c.size));
}

INSTANTIATE_TEST_SUITE_P(
    Points,
    DecryptStopTest,
    ::testing::Values(StopCase{"SmallBeforeItStarts", 300000, false, false, StopAt::Start},
                      StopCase{"SmallAfterItsLastChunk", 300000, false, true, StopAt::LastChunk},
                      StopCase{"LargeMidway", 6u << 20, false, false, StopAt::FirstProgress},
                      StopCase{"LargeMidwayOverAnExistingFile", 6u << 20, false, true, StopAt::FirstProgress},
                      StopCase{"VerifiedMidway", 6u << 20, true, false, StopAt::FirstProgress},
                      StopCase{"VerifiedDuringTheReadBack", 6u << 20, true, true, StopAt::LastChunk}),
    [](const ::testing::TestParamInfo<StopCase>& info) { return std::string(info.param.name); });

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
