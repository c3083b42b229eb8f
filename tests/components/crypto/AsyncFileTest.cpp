#include <string>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "AsyncFileSink.h"
#include "FileCipher.h"
#include "Primitives.h"
#include "QtText.h"
#include "StreamHelpers.h"
#include "TempDir.h"
#include "UniqueFd.h"

using namespace zqvcrypto;
using namespace streamtest;
using namespace testsupport;
using cryptelle::UniqueFd;

namespace {

constexpr std::size_t kPiece = AsyncFileSink::kPieceSize;

enum class Feed { InPlace, Copied };

struct SinkCase
{
    const char* name;
    std::size_t size;
    Feed feed;
    off_t startAt; // a start that is not block-aligned forces ordinary writes
};

const SinkCase kSinkCases[] = {
    {"Empty", 0, Feed::Copied, 0},
    {"OneByte", 1, Feed::Copied, 0},
    {"JustUnderABlock", 4095, Feed::InPlace, 0},
    {"OneBlock", 4096, Feed::InPlace, 0},
    {"UnevenTail", 4096 * 3 + 17, Feed::Copied, 0},
    {"OnePieceLessOne", kPiece - 1, Feed::InPlace, 0},
    {"ExactlyOnePiece", kPiece, Feed::InPlace, 0},
    {"SeveralPiecesAndATail", 3 * kPiece + 12345, Feed::InPlace, 0},
    {"SeveralPiecesCopied", 3 * kPiece + 12345, Feed::Copied, 0},
    {"UnalignedStart", 2 * kPiece + 999, Feed::InPlace, 7},
    {"UnalignedStartCopied", kPiece + 1, Feed::Copied, 7},
};

void PrintTo(const SinkCase& c, std::ostream* os)
{
    *os << c.name;
}

class SinkTest : public ::testing::TestWithParam<SinkCase>
{
protected:
    TempDir dir;
};

// Feeds `data` the way the ciphers do: in chunks that are filled in place
// when the sink has room, copied otherwise; or all copied in odd pieces.
bool feed(AsyncFileSink& sink, const std::string& data, Feed how)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t offset = 0;
    const std::size_t step = how == Feed::InPlace ? (256u << 10) + 16 : 70001;
    while (offset < data.size()) {
        const std::size_t n = std::min(step, data.size() - offset);
        unsigned char* target = how == Feed::InPlace ? sink.space(n) : nullptr;
        if (target != nullptr) {
            std::memcpy(target, bytes + offset, n);
            if (!sink.commit(n))
                return false;
        } else if (!sink.write(bytes + offset, n)) {
            return false;
        }
        offset += n;
    }
    return true;
}

TEST_P(SinkTest, WritesExactlyWhatItIsGivenAndReadsItBack)
{
    const SinkCase& c = GetParam();
    const std::string prefix(static_cast<std::size_t>(c.startAt), 'p');
    const std::string data = patterned(c.size, static_cast<unsigned>(c.size));
    const std::string path = dir.file("out");
    {
        UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        ASSERT_GE(fd.get(), 0);
        ASSERT_EQ(::write(fd.get(), prefix.data(), prefix.size()), static_cast<ssize_t>(prefix.size()));
        const int flagsBefore = ::fcntl(fd.get(), F_GETFL);
        AsyncFileSink sink(fd.get(), true);
        ASSERT_TRUE(feed(sink, data, c.feed));
        ASSERT_TRUE(sink.finish());
        EXPECT_EQ(sink.written(), data.size());
        unsigned char expected[32];
        sha256(bytesOf(data), expected);
        EXPECT_EQ(std::memcmp(sink.digest().data(), expected, 32), 0);
        // The descriptor is left as it was given, for whoever writes next.
        EXPECT_EQ(::fcntl(fd.get(), F_GETFL), flagsBefore);
    }
    ASSERT_TRUE(readFile(path) == prefix + data);

    // Read back in odd sizes, across the source's blocks.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_GE(fd.get(), 0);
    std::string back;
    {
        AsyncFileSource source(fd.get());
        std::vector<unsigned char> buffer(300007);
        for (;;) {
            const std::int64_t n = source.read(buffer.data(), buffer.size());
            ASSERT_GE(n, 0);
            if (n == 0)
                break;
            back.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(n));
        }
        EXPECT_EQ(source.read(buffer.data(), buffer.size()), 0) << "the end stays the end";
    }
    EXPECT_TRUE(back == prefix + data);
    EXPECT_EQ(::fcntl(fd.get(), F_GETFL) & O_DIRECT, 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SinkTest, ::testing::ValuesIn(kSinkCases), [](const auto& info) {
    return std::string(info.param.name);
});

TEST(AsyncFileFailureTest, WriteAndReadErrorsAreReported)
{
    {
        // Every write to /dev/full fails for want of space.
        UniqueFd full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
        ASSERT_GE(full.get(), 0);
        AsyncFileSink sink(full.get());
        const std::string data = patterned(3 * kPiece);
        bool accepted = true;
        for (int i = 0; i < 8 && accepted; ++i)
            accepted = feed(sink, data, Feed::Copied);
        EXPECT_FALSE(accepted && sink.finish());
        EXPECT_FALSE(sink.finish());
    }
    {
        TempDir dir;
        writeFile(dir.file("f"), "content");
        UniqueFd writeOnly(::open(dir.file("f").c_str(), O_WRONLY | O_CLOEXEC));
        ASSERT_GE(writeOnly.get(), 0);
        AsyncFileSource source(writeOnly.get());
        unsigned char buffer[16];
        EXPECT_EQ(source.read(buffer, sizeof buffer), -1);
    }
}

// A key kept from writing a file stands in for the password only for that
// file's salt and cost, and the file is still authenticated with it.
TEST(KnownKeyTest, ReadingBackUsesTheKeptKeyOnlyWhereItFits)
{
    const std::string plain = patterned(200000);
    StringSource in(plain);
    StringSink sealed;
    DerivedKey kept;
    ASSERT_EQ(encryptStream(in, sealed, bytesOf("right"), kCheapKdf, zqv::kMinChunkSize, {}, &kept), CryptoError::None);
    ASSERT_EQ(kept.key.size(), Gcm::kKeySize);

    DerivedKey otherSalt;
    otherSalt.salt = kept.salt;
    otherSalt.salt[0] ^= 1;
    otherSalt.kdf = kept.kdf;
    otherSalt.key = SecureBuffer(kept.key.data(), kept.key.size());
    DerivedKey wrongBytes;
    wrongBytes.salt = kept.salt;
    wrongBytes.kdf = kept.kdf;
    wrongBytes.key = SecureBuffer(kept.key.data(), kept.key.size());
    wrongBytes.key.data()[0] ^= 1;
    DerivedKey otherCost;
    otherCost.salt = kept.salt;
    otherCost.kdf = {kept.kdf.memoryKiB * 2, kept.kdf.iterations, kept.kdf.lanes};
    otherCost.key = SecureBuffer(kept.key.data(), kept.key.size());

    struct Case
    {
        const char* name;
        const DerivedKey* key;
        const char* password;
        CryptoError expected;
    };
    const Case cases[] = {
        {"kept key, any password", &kept, "not the password", CryptoError::None},
        {"other salt: derived from the password", &otherSalt, "right", CryptoError::None},
        {"other salt, wrong password", &otherSalt, "wrong", CryptoError::WrongPassword},
        {"other cost, wrong password", &otherCost, "wrong", CryptoError::WrongPassword},
        {"matching salt but wrong key", &wrongBytes, "right", CryptoError::WrongPassword},
    };
    for (const Case& c : cases) {
        StringSource back(sealed.out);
        StringSink out;
        EXPECT_EQ(decryptStream(back, out, bytesOf(c.password), {}, c.key), c.expected) << c.name;
        if (c.expected == CryptoError::None) {
            EXPECT_TRUE(out.out == plain) << c.name;
        }
    }

    // A changed chunk is still found with the kept key.
    std::string damaged = sealed.out;
    damaged[damaged.size() / 2] ^= 1;
    StringSource back(damaged);
    StringSink out;
    EXPECT_EQ(decryptStream(back, out, bytesOf("right"), {}, &kept), CryptoError::Damaged);
}

// After a verified write the new file was read back from the storage, so
// none of it (but perhaps the page holding its unaligned end) is left in the
// page cache.
TEST(ReadBackTest, VerifiedFilesAreReadFromTheStorageNotFromMemory)
{
    TempDir dir;
    struct statfs fs
    {
    };
    ASSERT_EQ(::statfs(dir.path().c_str(), &fs), 0);
    if (fs.f_type == TMPFS_MAGIC || fs.f_type == RAMFS_MAGIC)
        GTEST_SKIP() << "the temporary folder lives in memory";
    const std::string plain = patterned(6 * 1024 * 1024 + 5);
    writeFile(dir.file("a"), plain);
    for (bool encrypting : {true, false}) {
        const std::string from = encrypting ? dir.file("a") : dir.file("a.zqv");
        const std::string to = encrypting ? dir.file("a.zqv") : dir.file("b");
        FileJob job{q(from), q(to), false, true, {}, {}};
        const CryptoError result =
            encrypting ? encryptFile(job, bytesOf("pw"), kCheapKdf) : decryptFile(job, bytesOf("pw"));
        ASSERT_EQ(result, CryptoError::None);

        UniqueFd fd(::open(to.c_str(), O_RDONLY | O_CLOEXEC));
        ASSERT_GE(fd.get(), 0);
        struct stat info
        {
        };
        ASSERT_EQ(::fstat(fd.get(), &info), 0);
        const auto size = static_cast<std::size_t>(info.st_size);
        void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd.get(), 0);
        ASSERT_NE(map, MAP_FAILED);
        const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
        std::vector<unsigned char> resident((size + page - 1) / page);
        ASSERT_EQ(::mincore(map, size, resident.data()), 0);
        ::munmap(map, size);
        std::size_t cached = 0;
        for (unsigned char r : resident)
            cached += r & 1;
        EXPECT_LE(cached, 1u) << (encrypting ? "encrypted" : "decrypted") << " file still cached";
    }
    EXPECT_TRUE(readFile(dir.file("b")) == plain);
}

} // namespace
