#include <atomic>
#include <functional>

#include <argon2.h>
#include <gtest/gtest.h>

#include "Primitives.h"
#include "StreamHelpers.h"
#include "ZqvFormat.h"

using namespace zqvcrypto;
using namespace streamtest;

namespace {

constexpr std::size_t kChunk = zqv::kMinChunkSize;
constexpr std::size_t kSealedChunk = kChunk + Gcm::kTagSize;
constexpr std::size_t kBody = zqv::kHeaderSize;

TEST(Argon2Test, MatchesThePublishedArgon2idVector)
{
    const std::string password(32, '\x01');
    const std::string salt(16, '\x02');
    const std::string secret(8, '\x03');
    const std::string ad(12, '\x04');
    unsigned char tag[32];
    ASSERT_TRUE(argon2id(bytesOf(password), bytesOf(salt), {32, 3, 4}, tag, sizeof tag, bytesOf(secret), bytesOf(ad)));
    const unsigned char expected[32] = {0x0d, 0x64, 0x0d, 0xf5, 0x8d, 0x78, 0x76, 0x6c, 0x08, 0xc0, 0x37,
                                        0xa3, 0x4a, 0x8b, 0x53, 0xc9, 0xd0, 0x1e, 0xf0, 0x45, 0x2d, 0x75,
                                        0xb6, 0x5e, 0xb5, 0x25, 0x20, 0xe9, 0x6b, 0x01, 0xe6, 0x59};
    EXPECT_EQ(std::memcmp(tag, expected, sizeof tag), 0);
}

TEST(Argon2Test, OurMemoryGivesWhatTheLibrarysOwnGives)
{
    // Sizes that are whole huge pages, not, and smaller than one.
    const std::string password = "correct horse";
    const std::string salt(16, '\x07');
    for (const Argon2Params params : {Argon2Params{8192, 1, 2}, Argon2Params{6148, 2, 2}, Argon2Params{64, 1, 1}}) {
        unsigned char ours[32];
        unsigned char reference[32];
        ASSERT_TRUE(argon2id(bytesOf(password), bytesOf(salt), params, ours, sizeof ours));
        ASSERT_EQ(argon2id_hash_raw(params.iterations,
                                    params.memoryKiB,
                                    params.lanes,
                                    password.data(),
                                    password.size(),
                                    salt.data(),
                                    salt.size(),
                                    reference,
                                    sizeof reference),
                  ARGON2_OK);
        EXPECT_EQ(std::memcmp(ours, reference, sizeof ours), 0) << params.memoryKiB;
    }
}

class RoundTripTest : public ::testing::TestWithParam<std::size_t>
{
};

TEST_P(RoundTripTest, DecryptsToTheSameBytes)
{
    const std::string plain = patterned(GetParam());
    std::string sealed;
    ASSERT_EQ(encrypt(plain, sealed), CryptoError::None);
    const std::size_t chunks = plain.empty() ? 1 : (plain.size() + kChunk - 1) / kChunk;
    EXPECT_EQ(sealed.size(), kBody + plain.size() + chunks * Gcm::kTagSize);
    std::string back;
    ASSERT_EQ(decrypt(sealed, back), CryptoError::None);
    EXPECT_TRUE(back == plain);
}

INSTANTIATE_TEST_SUITE_P(Sizes,
                         RoundTripTest,
                         ::testing::Values(0,
                                           1,
                                           kChunk - 1,
                                           kChunk,
                                           kChunk + 1,
                                           2 * kChunk,
                                           4 * kChunk + 1,
                                           8 * kChunk,
                                           15 * kChunk,
                                           16 * kChunk,
                                           16 * kChunk + 1,
                                           17 * kChunk,
                                           40 * kChunk + 777),
                         [](const auto& info) { return "bytes" + std::to_string(info.param); });

// A source whose idea of what is left is wrong, as when a file grows or
// shrinks between being measured and being read.
class MisjudgedSource : public StringSource
{
public:
    MisjudgedSource(const std::string& data, std::uint64_t claimed)
        : StringSource(data)
        , m_claimed(claimed)
    {
    }
    [[nodiscard]] std::optional<std::uint64_t> remaining() const override { return m_claimed; }

private:
    std::uint64_t m_claimed;
};

TEST(StreamTest, ASizeHintNeverChangesWhatIsWrittenOrRead)
{
    struct Case
    {
        std::size_t size;
        std::uint64_t claimed;
    };
    for (const Case c : {Case{4096, 4096},
                         Case{kChunk, kChunk},
                         Case{kChunk - 1, kChunk - 1},
                         Case{0, 0},
                         Case{5000, 0},
                         Case{3 * kChunk + 5, 10},
                         Case{100, 1u << 20},
                         Case{17 * kChunk + 3, kChunk}}) {
        const std::string plain = patterned(c.size, 7);
        MisjudgedSource in(plain, c.claimed);
        StringSink sealed;
        ASSERT_EQ(encryptStream(in, sealed, bytesOf("pass"), kCheapKdf, kChunk), CryptoError::None) << c.size;
        std::string plainBack;
        ASSERT_EQ(decrypt(sealed.out, plainBack), CryptoError::None) << c.size;
        EXPECT_TRUE(plainBack == plain) << c.size << " claimed " << c.claimed;

        MisjudgedSource sealedIn(sealed.out, c.claimed);
        StringSink out;
        ASSERT_EQ(decryptStream(sealedIn, out, bytesOf("pass")), CryptoError::None) << c.size;
        EXPECT_TRUE(out.out == plain) << c.size << " claimed " << c.claimed;
    }
}

TEST(StreamTest, SamePlaintextGivesDifferentFilesAndPasswordsAreExact)
{
    const std::string plain = patterned(1000);
    std::string a;
    std::string b;
    ASSERT_EQ(encrypt(plain, a, " "), CryptoError::None);
    ASSERT_EQ(encrypt(plain, b, " "), CryptoError::None);
    EXPECT_NE(a, b) << "salt and file key must be fresh for every file";
    std::string back;
    EXPECT_EQ(decrypt(a, back, " "), CryptoError::None);
    EXPECT_EQ(decrypt(a, back, "  "), CryptoError::WrongPassword);
    EXPECT_EQ(decrypt(a, back, ""), CryptoError::WrongPassword);
    EXPECT_EQ(decrypt(a, back, "\xc3\xa9"), CryptoError::WrongPassword);
}

TEST(StreamTest, NonDefaultChunkSizeIsReadFromTheHeader)
{
    const std::string plain = patterned(3 * zqv::kMaxChunkSize + 5);
    std::string sealed;
    ASSERT_EQ(encrypt(plain, sealed, "pass", zqv::kMaxChunkSize), CryptoError::None);
    std::string back;
    ASSERT_EQ(decrypt(sealed, back), CryptoError::None);
    EXPECT_TRUE(back == plain);
}

// --- Tampering -------------------------------------------------------------

struct Tamper
{
    const char* name;
    std::function<void(std::string& file, const std::string& other)> change;
    CryptoError expected;
};

std::string chunkAt(const std::string& file, std::size_t index)
{
    return file.substr(kBody + index * kSealedChunk, kSealedChunk);
}

void flip(std::string& file, std::size_t at)
{
    file[at] = static_cast<char>(file[at] ^ 0x01);
}

class TamperTest : public ::testing::TestWithParam<Tamper>
{
};

TEST_P(TamperTest, IsRejected)
{
    // Three chunks: two full, one short final.
    const std::string plain = patterned(2 * kChunk + 1000, 7);
    std::string file;
    std::string other;
    ASSERT_EQ(encrypt(plain, file), CryptoError::None);
    ASSERT_EQ(encrypt(patterned(2 * kChunk + 1000, 8), other), CryptoError::None);
    GetParam().change(file, other);
    std::string out;
    EXPECT_EQ(decrypt(file, out), GetParam().expected);
}

const Tamper kTampers[] = {
    {"Magic", [](std::string& f, const std::string&) { flip(f, 1); }, CryptoError::NotEncrypted},
    {"Version", [](std::string& f, const std::string&) { flip(f, zqv::kOffVersion); }, CryptoError::Damaged},
    {"Kdf", [](std::string& f, const std::string&) { flip(f, zqv::kOffKdf); }, CryptoError::Damaged},
    {"Flags", [](std::string& f, const std::string&) { flip(f, zqv::kOffFlags); }, CryptoError::Damaged},
    {"Memory", [](std::string& f, const std::string&) { flip(f, zqv::kOffMemory); }, CryptoError::Damaged},
    {"Iterations", [](std::string& f, const std::string&) { flip(f, zqv::kOffIterations); }, CryptoError::Damaged},
    {"Lanes", [](std::string& f, const std::string&) { flip(f, zqv::kOffLanes); }, CryptoError::Damaged},
    {"ChunkSize", [](std::string& f, const std::string&) { flip(f, zqv::kOffChunkSize + 2); }, CryptoError::Damaged},
    {"Salt", [](std::string& f, const std::string&) { flip(f, zqv::kOffSalt + 3); }, CryptoError::Damaged},
    {"KeyNonce", [](std::string& f, const std::string&) { flip(f, zqv::kOffKeyNonce); }, CryptoError::Damaged},
    {"SealedKey", [](std::string& f, const std::string&) { flip(f, zqv::kOffSealedKey + 5); }, CryptoError::Damaged},
    {"KeyTag", [](std::string& f, const std::string&) { flip(f, zqv::kOffKeyTag); }, CryptoError::Damaged},
    {"Check", [](std::string& f, const std::string&) { flip(f, zqv::kOffCheck); }, CryptoError::Damaged},
    {"ChunkData", [](std::string& f, const std::string&) { flip(f, kBody + 100); }, CryptoError::Damaged},
    {"ChunkTag", [](std::string& f, const std::string&) { flip(f, kBody + kChunk + 3); }, CryptoError::Damaged},
    {"FinalChunkTag", [](std::string& f, const std::string&) { flip(f, f.size() - 1); }, CryptoError::Damaged},
    {"TruncateToZero", [](std::string& f, const std::string&) { f.clear(); }, CryptoError::NotEncrypted},
    {"TruncateMidHeader", [](std::string& f, const std::string&) { f.resize(60); }, CryptoError::Damaged},
    {"TruncateAfterHeader", [](std::string& f, const std::string&) { f.resize(kBody); }, CryptoError::Damaged},
    {"TruncateAtChunkBoundary",
     [](std::string& f, const std::string&) { f.resize(kBody + 2 * kSealedChunk); },
     CryptoError::Damaged},
    {"TruncateMidChunk",
     [](std::string& f, const std::string&) { f.resize(kBody + kSealedChunk + 99); },
     CryptoError::Damaged},
    {"TruncateMidTag", [](std::string& f, const std::string&) { f.resize(f.size() - 3); }, CryptoError::Damaged},
    {"AppendByte", [](std::string& f, const std::string&) { f.push_back('x'); }, CryptoError::Damaged},
    {"AppendTagSized", [](std::string& f, const std::string&) { f.append(16, '\0'); }, CryptoError::Damaged},
    {"AppendChunkCopy", [](std::string& f, const std::string&) { f += chunkAt(f, 0); }, CryptoError::Damaged},
    {"SwapChunks",
     [](std::string& f, const std::string&) {
         const std::string first = chunkAt(f, 0);
         const std::string second = chunkAt(f, 1);
         f.replace(kBody, kSealedChunk, second);
         f.replace(kBody + kSealedChunk, kSealedChunk, first);
     },
     CryptoError::Damaged},
    {"DuplicateChunk",
     [](std::string& f, const std::string&) { f.replace(kBody + kSealedChunk, kSealedChunk, chunkAt(f, 0)); },
     CryptoError::Damaged},
    {"DropChunk",
     [](std::string& f, const std::string&) { f.erase(kBody + kSealedChunk, kSealedChunk); },
     CryptoError::Damaged},
    {"ChunkFromAnotherFile",
     [](std::string& f, const std::string& o) { f.replace(kBody + kSealedChunk, kSealedChunk, chunkAt(o, 1)); },
     CryptoError::Damaged},
    {"HeaderFromAnotherFile",
     [](std::string& f, const std::string& o) { f.replace(0, kBody, o.substr(0, kBody)); },
     CryptoError::Damaged},
};

INSTANTIATE_TEST_SUITE_P(Changes, TamperTest, ::testing::ValuesIn(kTampers), [](const auto& info) {
    return std::string(info.param.name);
});

// A header that is intact as a header (correct check value) but asks for too much.
std::string craftedHeader(
    std::uint32_t memory, std::uint32_t iterations, std::uint32_t lanes, std::uint32_t chunk, std::uint8_t version = 1)
{
    ZqvHeader header;
    header.kdf = {memory, iterations, lanes};
    header.chunkSize = chunk;
    HeaderBytes bytes = serializeHeader(header);
    if (version != zqv::kVersion) {
        bytes[zqv::kOffVersion] = version;
        // Recompute the check so only the version is wrong.
        unsigned char digest[32];
        sha256(Bytes(bytes.data(), zqv::kOffCheck), digest);
        std::memcpy(&bytes[zqv::kOffCheck], digest, zqv::kCheckSize);
    }
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()) + std::string(16, '\0');
}

TEST(HeaderLimitsTest, AbsurdParametersAreRefusedBeforeTheKeyDerivation)
{
    std::string out;
    // Memory of 4 GiB would fail inside the derivation with a different error
    // (or take minutes): getting BadParameters proves it never ran.
    EXPECT_EQ(decrypt(craftedHeader(0xFFFFFFFFu, 1, 1, kChunk), out), CryptoError::BadParameters);
    EXPECT_EQ(decrypt(craftedHeader(kFileKdfLimits.maxMemoryKiB + 1, 1, 1, kChunk), out), CryptoError::BadParameters);
    EXPECT_EQ(decrypt(craftedHeader(64, 1000000, 1, kChunk), out), CryptoError::BadParameters);
    EXPECT_EQ(decrypt(craftedHeader(64, 1, 0, kChunk), out), CryptoError::BadParameters);
    EXPECT_EQ(decrypt(craftedHeader(64, 1, 1000, kChunk), out), CryptoError::BadParameters);
    EXPECT_EQ(decrypt(craftedHeader(64, 1, 1, 0), out), CryptoError::BadParameters);
    EXPECT_EQ(decrypt(craftedHeader(64, 1, 1, 1u << 30), out), CryptoError::BadParameters);
    EXPECT_EQ(decrypt(craftedHeader(64, 1, 1, kChunk, 2), out), CryptoError::UnsupportedVersion);
    EXPECT_TRUE(out.empty());
}

TEST(HeaderLimitsTest, EncryptionRefusesParametersItCouldNotReadBack)
{
    const std::string plain = "x";
    StringSource in(plain);
    StringSink out;
    EXPECT_EQ(encryptStream(in, out, bytesOf("p"), {64, 100, 1}), CryptoError::BadParameters);
    EXPECT_EQ(encryptStream(in, out, bytesOf("p"), kCheapKdf, 1000), CryptoError::BadParameters);
    EXPECT_TRUE(out.out.empty());
}

TEST(NotEncryptedTest, PlainFilesAreRecognised)
{
    std::string out;
    EXPECT_EQ(decrypt("hello, this is not an encrypted file at all", out), CryptoError::NotEncrypted);
    EXPECT_EQ(decrypt("PK\x03\x04", out), CryptoError::NotEncrypted);
}

} // namespace

namespace {

// Asks the decryption to stop as soon as the first plaintext reaches it.
class StoppingSink : public StringSink
{
public:
    explicit StoppingSink(std::atomic<bool>& stop)
        : m_stop(stop)
    {
    }
    bool write(const unsigned char* data, std::size_t size) override
    {
        m_stop = true;
        return StringSink::write(data, size);
    }

private:
    std::atomic<bool>& m_stop;
};

TEST(StreamStopTest, DecryptionEndsBetweenChunksOnceAsked)
{
    const std::string plain = patterned(20 * kChunk + 5);
    std::string sealed;
    ASSERT_EQ(encrypt(plain, sealed), CryptoError::None);

    std::atomic<bool> stop = false;
    StringSource in(sealed);
    StoppingSink out(stop);
    EXPECT_EQ(decryptStream(in, out, bytesOf("pass"), {}, nullptr, nullptr, &stop), CryptoError::Cancelled);
    // Whole authenticated chunks only, and not all of them.
    EXPECT_GT(out.out.size(), 0u);
    EXPECT_LT(out.out.size(), plain.size());
    EXPECT_EQ(out.out.size() % kChunk, 0u);
    EXPECT_TRUE(plain.compare(0, out.out.size(), out.out) == 0);

    // A stop asked before the start gives no plaintext at all; an unset one changes nothing.
    StringSource again(sealed);
    StringSink none;
    EXPECT_EQ(decryptStream(again, none, bytesOf("pass"), {}, nullptr, nullptr, &stop), CryptoError::Cancelled);
    EXPECT_TRUE(none.out.empty());
    stop = false;
    StringSource whole(sealed);
    StringSink all;
    EXPECT_EQ(decryptStream(whole, all, bytesOf("pass"), {}, nullptr, nullptr, &stop), CryptoError::None);
    EXPECT_TRUE(all.out == plain);
}

} // namespace
