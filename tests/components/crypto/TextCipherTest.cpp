#include "TextCipher.h"

#include <QString>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Crypto.h"
#include "RsaTextKey.h"

using namespace zqvcrypto;

namespace {

const Argon2Params kCheap{64, 1, 1};

struct Sealed
{
    QString printable;
    TextError error = TextError::None;
};

Crypto cheapControl()
{
    Crypto control;
    control.setKdfParams(kCheap);
    return control;
}

// Runs `text` (in `form`) through a key made from `key`, the cheap way;
// the result and why it failed.
std::pair<CryptoData, TextError>
runText(int algorithm, const QString& key, const QString& text, int form, bool encrypting)
{
    const Crypto control = cheapControl();
    auto cryptoKey = control.DeriveKey(key, algorithm, Crypto::keyLengthOf(algorithm));
    CryptoData input;
    int status = -1;
    input.SetFromText(text, form, status);
    CryptoData output = encrypting ? cryptoKey->EncryptData(input, true) : cryptoKey->DecryptData(input, true);
    return {std::move(output), cryptoKey->lastTextError()};
}

Sealed encrypt(int algorithm, const QString& key, const QString& text)
{
    const auto [output, error] = runText(algorithm, key, text, CryptoData::kFormText, true);
    return {output.GetAsText(CryptoData::kFormPrintable), error};
}

struct Opened
{
    QString text;
    TextError error = TextError::None;
    bool empty = true;
};

Opened decrypt(int algorithm, const QString& key, const QString& printable)
{
    const auto [output, error] = runText(algorithm, key, printable, CryptoData::kFormPrintable, false);
    return {output.GetAsText(CryptoData::kFormText), error, output.bytes().isEmpty()};
}

QString hex(const std::vector<unsigned char>& bytes)
{
    unsigned char digest[32];
    sha256(Bytes(bytes.data(), bytes.size()), digest);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), 32).toHex());
}

class TextAlgorithmTest : public ::testing::TestWithParam<int>
{
};

TEST_P(TextAlgorithmTest, TextsOfEveryShapeComeBackUnchanged)
{
    const int algorithm = GetParam();
    QString large;
    for (int i = 0; large.size() < 1024 * 1024; ++i)
        large += QStringLiteral("line %1 of a long letter, with ümlauts\n").arg(i);
    const std::vector<QString> texts = {
        QString(),
        QStringLiteral("x"),
        QStringLiteral("first line\nsecond line\r\nthird line\n"),
        QStringLiteral("Grüße, 你好, emoji 🙂, NUL-free"),
        large,
    };
    for (const QString& text : texts) {
        const Sealed sealed = encrypt(algorithm, QStringLiteral("kéy"), text);
        ASSERT_EQ(sealed.error, TextError::None);
        EXPECT_TRUE(sealed.printable.startsWith(QLatin1String("ZQVT")));
        const Opened opened = decrypt(algorithm, QStringLiteral("kéy"), sealed.printable);
        EXPECT_EQ(opened.error, TextError::None);
        EXPECT_EQ(opened.text, text) << "text of " << text.size() << " characters";
    }
}

TEST_P(TextAlgorithmTest, SameTextTwiceGivesDifferentCiphertexts)
{
    const int algorithm = GetParam();
    const Sealed a = encrypt(algorithm, QStringLiteral("k"), QStringLiteral("same"));
    const Sealed b = encrypt(algorithm, QStringLiteral("k"), QStringLiteral("same"));
    EXPECT_NE(a.printable, b.printable);
}

TEST_P(TextAlgorithmTest, WrongKeyDamageTruncationAndOtherAlgorithmsAreRefused)
{
    const int algorithm = GetParam();
    const int other = algorithm == Crypto::kAlgorithmAes ? Crypto::kAlgorithmTwofish : Crypto::kAlgorithmAes;
    const QString good = encrypt(algorithm, QStringLiteral("right"), QStringLiteral("the message")).printable;
    QByteArray envelope = QByteArray::fromBase64(good.toLatin1());

    auto printable = [](const QByteArray& bytes) { return QString::fromLatin1(bytes.toBase64()); };
    QByteArray flippedBody = envelope;
    flippedBody[flippedBody.size() - 20] = static_cast<char>(flippedBody[flippedBody.size() - 20] ^ 0x01);
    QByteArray flippedTag = envelope;
    flippedTag[flippedTag.size() - 1] = static_cast<char>(flippedTag[flippedTag.size() - 1] ^ 0x80);
    QByteArray flippedSalt = envelope;
    flippedSalt[20] = static_cast<char>(flippedSalt[20] ^ 0x01);
    QByteArray newerVersion = envelope;
    newerVersion[3] = 2;
    QByteArray greedy = envelope; // asks for 4 GiB of memory for the KDF
    greedy[5] = 0x00;
    greedy[6] = 0x40;
    greedy[7] = 0x00;
    greedy[8] = 0x00;

    struct Case
    {
        const char* name;
        int algorithm;
        QString key;
        QString text;
        TextError expected;
    };
    const std::vector<Case> cases = {
        {"wrong key", algorithm, QStringLiteral("wrong"), good, TextError::WrongKey},
        {"key differing in case", algorithm, QStringLiteral("Right"), good, TextError::WrongKey},
        {"body changed", algorithm, QStringLiteral("right"), printable(flippedBody), TextError::WrongKey},
        {"tag changed", algorithm, QStringLiteral("right"), printable(flippedTag), TextError::WrongKey},
        {"salt or wrapped key changed",
         algorithm,
         QStringLiteral("right"),
         printable(flippedSalt),
         TextError::WrongKey},
        {"last bytes cut",
         algorithm,
         QStringLiteral("right"),
         printable(envelope.left(envelope.size() - 5)),
         TextError::WrongKey},
        {"cut inside the header", algorithm, QStringLiteral("right"), printable(envelope.left(30)), TextError::Damaged},
        {"only the magic", algorithm, QStringLiteral("right"), printable(envelope.left(3)), TextError::Damaged},
        {"newer version", algorithm, QStringLiteral("right"), printable(newerVersion), TextError::UnsupportedVersion},
        {"excessive KDF memory", algorithm, QStringLiteral("right"), printable(greedy), TextError::BadParameters},
        {"other algorithm's key", other, QStringLiteral("right"), good, TextError::OtherAlgorithm},
        {"plain hexadecimal", algorithm, QStringLiteral("right"), QStringLiteral("00ff00ff"), TextError::NotCiphertext},
    };
    for (const Case& c : cases) {
        const Opened opened = decrypt(c.algorithm, c.key, c.text);
        EXPECT_EQ(opened.error, c.expected) << c.name;
        EXPECT_TRUE(opened.empty) << c.name << ": no text may come out of a refused message";
    }
}

// The envelope with its stored cost replaced; the cost is authenticated, so
// only a refusal before the derivation gives anything but WrongKey.
QString withCost(const QString& printable, const Argon2Params& cost)
{
    QByteArray envelope = QByteArray::fromBase64(printable.toLatin1());
    const std::uint32_t fields[3] = {cost.memoryKiB, cost.iterations, cost.lanes};
    for (int field = 0; field < 3; ++field)
        for (int byte = 0; byte < 4; ++byte)
            envelope[5 + 4 * field + byte] = static_cast<char>(fields[field] >> (24 - 8 * byte));
    return QString::fromLatin1(envelope.toBase64());
}

TEST_P(TextAlgorithmTest, CostsAboveTheTextCeilingAreRefusedBeforeDeriving)
{
    const int algorithm = GetParam();
    const QString good = encrypt(algorithm, QStringLiteral("right"), QStringLiteral("the message")).printable;
    const Argon2Limits& top = kTextKdfLimits;
    struct Case
    {
        const char* name;
        Argon2Params cost;
    };
    const Case cases[] = {
        {"memory one KiB over", {top.maxMemoryKiB + 1, 1, 1}},
        {"one pass too many", {64, top.maxIterations + 1, 1}},
        {"one lane too many", {64 * (top.maxLanes + 1), 1, top.maxLanes + 1}},
        {"the file format's ceiling",
         {kFileKdfLimits.maxMemoryKiB, kFileKdfLimits.maxIterations, kFileKdfLimits.maxLanes}},
        {"no pass at all", {64, 0, 1}},
        {"less than 8 KiB per lane", {8, 1, 2}},
    };
    for (const Case& c : cases) {
        const Opened opened = decrypt(algorithm, QStringLiteral("right"), withCost(good, c.cost));
        EXPECT_EQ(opened.error, TextError::BadParameters) << c.name;
        EXPECT_TRUE(opened.empty) << c.name;
    }
    // Within the ceiling the cost is honoured, and changing it fails authentication.
    EXPECT_EQ(decrypt(algorithm, QStringLiteral("right"), withCost(good, {72, 1, 1})).error, TextError::WrongKey);
}

TEST_P(TextAlgorithmTest, CiphertextWrappedOrIndentedByMailStillDecrypts)
{
    const int algorithm = GetParam();
    const QString sealed = encrypt(algorithm, QStringLiteral("k"), QStringLiteral("wrapped")).printable;
    QString compact = sealed;
    compact.remove(QLatin1Char('\n'));
    QString rewrapped;
    for (int i = 0; i < compact.size(); i += 37)
        rewrapped += QStringLiteral("  ") + compact.mid(i, 37) + QStringLiteral("\r\n\t");
    for (const QString& variant : {sealed, compact, rewrapped, QStringLiteral("\n\n") + sealed + QStringLiteral(" \n")})
        EXPECT_EQ(decrypt(algorithm, QStringLiteral("k"), variant).text, QStringLiteral("wrapped"));
}

INSTANTIATE_TEST_SUITE_P(Algorithms,
                         TextAlgorithmTest,
                         ::testing::Values(Crypto::kAlgorithmAes, Crypto::kAlgorithmTwofish, Crypto::kAlgorithmRsa),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(info.param == 1 ? "Aes" : info.param == 2 ? "Twofish" : "Rsa");
                         });

TEST(TextKeyTest, EachAlgorithmTakesItsOwnKeyLengthAndFilesStayAes)
{
    const Crypto control = cheapControl();
    EXPECT_NE(control.DeriveKey(QStringLiteral("k"), Crypto::kAlgorithmTwofish, 256), nullptr);
    EXPECT_NE(control.DeriveKey(QStringLiteral("k"), Crypto::kAlgorithmRsa, 3072), nullptr);
    EXPECT_EQ(control.DeriveKey(QStringLiteral("k"), Crypto::kAlgorithmTwofish, 128), nullptr);
    EXPECT_EQ(control.DeriveKey(QStringLiteral("k"), Crypto::kAlgorithmRsa, 256), nullptr);
    EXPECT_EQ(control.DeriveKey(QStringLiteral("k"), 4, 256), nullptr);

    auto twofish = control.DeriveKey(QStringLiteral("k"), Crypto::kAlgorithmTwofish, 256);
    bool success = true;
    twofish->EncryptFile(QStringLiteral("/dev/null"), QStringLiteral("/nonexistent/x.zqv"), success);
    EXPECT_FALSE(success);
    EXPECT_EQ(twofish->lastError(), CryptoError::InvalidKey);
}

TEST(TextKeyTest, EmptyKeyIsRefusedRatherThanUsed)
{
    const Sealed sealed = encrypt(Crypto::kAlgorithmAes, QString(), QStringLiteral("text"));
    EXPECT_EQ(sealed.error, TextError::EmptyKey);
    EXPECT_TRUE(sealed.printable.isEmpty());
}

// Pinned values: if any of these change, texts encrypted by earlier versions
// no longer decrypt. They must never be regenerated to make a change pass.
TEST(TextKnownAnswerTest, RsaKeyPairFromSeedAndFromKeyText)
{
    unsigned char seed[RsaTextKey::kSeedSize];
    for (std::size_t i = 0; i < sizeof seed; ++i)
        seed[i] = static_cast<unsigned char>(i);
    RsaTextKey fromSeed;
    ASSERT_TRUE(fromSeed.deriveFromSeed(seed));
    ASSERT_EQ(fromSeed.modulus().size(), RsaTextKey::kModulusBytes);
    EXPECT_EQ(hex(fromSeed.modulus()),
              QStringLiteral("d80efb17ca73fb361202b738165837387e8e5dc321a2ee0cc30a574500149e73"));

    const std::string keyText = "correct horse battery staple";
    RsaTextKey fromText;
    ASSERT_EQ(fromText.derive(Bytes(reinterpret_cast<const unsigned char*>(keyText.data()), keyText.size()),
                              Argon2Params{1024, 2, 1}),
              TextError::None);
    EXPECT_EQ(hex(fromText.modulus()),
              QStringLiteral("98fddf27201aa2dd0bc0273aa93c08c3711af51a040442a3d160898ec63e4de9"));
}

TEST(TextKnownAnswerTest, StoredMessagesOfEachAlgorithmStillDecrypt)
{
    struct Stored
    {
        int algorithm;
        const char* printable;
    };
    const Stored stored[] = {
        {Crypto::kAlgorithmAes,
         "ZQVTAQEAAABAAAAAAQAAAAFd0o8Bg5adKZuGc7h8ytqupown6XqY9RMvfb+hi5D+\n"
         "EONwuEqA9rIfjKCMGfSeT5PpPTGkNtU8D8Xr3IAEYfY22gjO8QPWiqRKyw==\n"},
        {Crypto::kAlgorithmTwofish,
         "ZQVTAQIAAABAAAAAAQAAAAHABJhDNGUs0uwOq4fdS6C/Nk0bU1fXABZd7xHzvtNJ\n"
         "UiB11ya13YgrNK96F188jYj9+QUKHjGIFC11IieF2Dtg5DkUS5bV2m8Nbw==\n"},
        {Crypto::kAlgorithmRsa,
         "ZQVTAQMAAABAAAAAAQAAAAHEsw0JUuvl4Dxuqf5OLNesQ6OCXKDeldIumGsxVSVU\n"
         "GNRlw9H1VN70BJspDwJGYfs51gBqlf1Pzh94D/CGbvj/6/2JFBva/4CQU8/neFZB\n"
         "0RRgaCZuRy9nTSeua8xL8OcwyFuBzTWjxbyBcN9J2/3S77x9kq/7DfTtn/c+4DlG\n"
         "MM1sPvj3wXC3Lg+kKLept5FAo4KkHF7kFdubt+AKTIO53kwww/px+W71lXaMJFBC\n"
         "U1SNll9yzUgguWGvwnMxoTEYAfoamc4uGZ/UTHEwu4MSS8u2UgWapRD6SkTc4j11\n"
         "I+KkmeeTQU5h7/RlA3HGUr/PallIqggWLx2uLMtlBb5e9XAAQU7U2U+KpdCd5Xey\n"
         "+edRq7FhP40JMCbgZ5CZgQrUX63YqEr+HNkd43mv23g3mp7XitKSVJtyUbl5xXoJ\n"
         "1fFmGMYtAQ4uwnn2jn7fkFLVvQF7q6PtpTW8horZk7FpNR23/kBTwxkgYGFqGTAX\n"
         "E5IZNH5UpdB4GjcU/Q27O9uyYawbY2/k7eGMg9vufLLKH7XxA915RMWBKFA0GaeF\n"
         "lP1ZKGThD8WeEDUicNX0+EqBq0Kf3mBTtsgr\n"},
    };
    for (const Stored& s : stored) {
        const Opened opened = decrypt(s.algorithm, QStringLiteral("known answer"), QString::fromLatin1(s.printable));
        EXPECT_EQ(opened.error, TextError::None) << s.algorithm;
        EXPECT_EQ(opened.text, QStringLiteral("Known answer: Grüße\nline two")) << s.algorithm;
    }
}

} // namespace
