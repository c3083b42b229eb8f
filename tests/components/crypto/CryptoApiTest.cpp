#include <thread>

#include <gtest/gtest.h>

#include "Crypto.h"
#include "StreamHelpers.h"
#include "TempDir.h"
#include "ZqvFormat.h"

using namespace zqvcrypto;
using namespace testsupport;

namespace {

TEST(CryptoApiTest, OnlyTheSupportedAlgorithmGivesAKey)
{
    Crypto control;
    EXPECT_NE(control.DeriveKey(QStringLiteral("pw"), 1, 256), nullptr);
    EXPECT_EQ(control.DeriveKey(QStringLiteral("pw"), 1, 128), nullptr);
    EXPECT_EQ(control.DeriveKey(QStringLiteral("pw"), 9, 256), nullptr);
    EXPECT_GE(Crypto::defaultKdfParams().memoryKiB, 64u * 1024);
}

TEST(CryptoApiTest, KeyEncryptsFilesAndDataAndForgetsThePasswordOnDestroy)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "secret text");
    Crypto control;
    control.setKdfParams(streamtest::kCheapKdf);
    std::vector<int> progress;
    control.setProgressHandler([&progress](int p) { progress.push_back(p); });

    auto key = control.DeriveKey(QStringLiteral("pässword"), 1, 256);
    bool success = false;
    key->EncryptFile(QString::fromStdString(dir.file("a.txt")), QString::fromStdString(dir.file("a.txt.zqv")), success);
    ASSERT_TRUE(success);
    EXPECT_FALSE(progress.empty());

    CryptoData text;
    int status = -1;
    text.SetFromText(QStringLiteral("hello wörld"), CryptoData::kFormText, status);
    EXPECT_EQ(status, 0);
    const CryptoData sealed = key->EncryptData(text, true);
    EXPECT_FALSE(sealed.bytes().isEmpty());
    CryptoData printable;
    printable.SetFromText(sealed.GetAsText(CryptoData::kFormPrintable), CryptoData::kFormPrintable, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(key->DecryptData(printable, true).GetAsText(CryptoData::kFormText), QStringLiteral("hello wörld"));

    int ignored = 1;
    key->Destroy(ignored);
    key->DecryptFile(QString::fromStdString(dir.file("a.txt.zqv")), QString::fromStdString(dir.file("b.txt")), success);
    EXPECT_FALSE(success) << "a destroyed key must not open anything";
    EXPECT_EQ(key->lastError(), CryptoError::WrongPassword);

    auto again = control.DeriveKey(QStringLiteral("pässword"), 1, 256);
    again->DecryptFile(
        QString::fromStdString(dir.file("a.txt.zqv")), QString::fromStdString(dir.file("b.txt")), success);
    EXPECT_TRUE(success);
    EXPECT_EQ(readFile(dir.file("b.txt")), "secret text");
}

TEST(CryptoDataTest, PrintableFormIsLowercaseHex)
{
    CryptoData data(QByteArray("\x01\xab\xff", 3));
    EXPECT_EQ(data.GetAsText(CryptoData::kFormPrintable), QStringLiteral("01abff"));
    int status = 0;
    data.SetFromText(QStringLiteral("zz"), CryptoData::kFormPrintable, status);
    EXPECT_NE(status, 0);
    data.SetFromText(QStringLiteral("abc"), CryptoData::kFormPrintable, status);
    EXPECT_NE(status, 0);
}

TEST(CryptoHashTest, FileHashPrintsLikeSha256sum)
{
    TempDir dir;
    writeFile(dir.file("abc"), "abc");
    writeFile(dir.file("empty"), "");
    CryptoHash hash;
    bool success = false;
    hash.HashFile(QString::fromStdString(dir.file("abc")), success);
    ASSERT_TRUE(success);
    EXPECT_EQ(hash.GetValue().GetAsText(CryptoData::kFormPrintable),
              QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    hash.HashFile(QString::fromStdString(dir.file("empty")), success);
    ASSERT_TRUE(success);
    EXPECT_EQ(hash.GetValue().GetAsText(CryptoData::kFormPrintable),
              QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    hash.HashFile(QString::fromStdString(dir.path()), success);
    EXPECT_FALSE(success);
    hash.HashFile(QString::fromStdString(dir.file("missing")), success);
    EXPECT_FALSE(success);
}

} // namespace

namespace {

std::string headerPart(const std::string& file, std::size_t offset, std::size_t size)
{
    return file.substr(offset, size);
}

TEST(CryptoApiTest, ReusedKeyGivesEveryFileItsOwnFileKeyUnderOneSalt)
{
    TempDir dir;
    writeFile(dir.file("a"), "first file");
    writeFile(dir.file("b"), "second file");
    Crypto control;
    control.setKdfParams(streamtest::kCheapKdf);
    auto key = control.DeriveKey(QStringLiteral("one password"), 1, 256);
    key->setReuseDerivedKeys(true);
    bool success = false;
    for (const char* name : {"a", "b"}) {
        key->EncryptFile(
            QString::fromStdString(dir.file(name)), QString::fromStdString(dir.file(name) + ".zqv"), success);
        ASSERT_TRUE(success) << name;
    }
    const std::string a = readFile(dir.file("a.zqv"));
    const std::string b = readFile(dir.file("b.zqv"));
    EXPECT_EQ(headerPart(a, zqv::kOffSalt, zqv::kSaltSize), headerPart(b, zqv::kOffSalt, zqv::kSaltSize));
    EXPECT_NE(headerPart(a, zqv::kOffKeyNonce, 12), headerPart(b, zqv::kOffKeyNonce, 12));
    EXPECT_NE(headerPart(a, zqv::kOffSealedKey, 48), headerPart(b, zqv::kOffSealedKey, 48));

    // Each file opens on its own, with a key that knows nothing of the other.
    for (const char* name : {"a", "b"}) {
        auto fresh = control.DeriveKey(QStringLiteral("one password"), 1, 256);
        fresh->DecryptFile(
            QString::fromStdString(dir.file(name) + ".zqv"), QString::fromStdString(dir.file(name) + ".out"), success);
        EXPECT_TRUE(success) << name;
        EXPECT_EQ(readFile(dir.file(name) + ".out"), readFile(dir.file(name)));
    }

    // Without reuse every file has a salt of its own.
    auto plain = control.DeriveKey(QStringLiteral("one password"), 1, 256);
    plain->EncryptFile(QString::fromStdString(dir.file("a")), QString::fromStdString(dir.file("c.zqv")), success);
    ASSERT_TRUE(success);
    EXPECT_NE(headerPart(readFile(dir.file("c.zqv")), zqv::kOffSalt, zqv::kSaltSize),
              headerPart(a, zqv::kOffSalt, zqv::kSaltSize));
}

TEST(CryptoApiTest, VerifyFileAuthenticatesEveryByteAndWritesNothing)
{
    TempDir dir;
    writeFile(dir.file("a"), std::string(300000, 'x'));
    Crypto control;
    control.setKdfParams(streamtest::kCheapKdf);
    auto key = control.DeriveKey(QStringLiteral("pw"), 1, 256);
    key->setReuseDerivedKeys(true);
    bool success = false;
    key->EncryptFile(QString::fromStdString(dir.file("a")), QString::fromStdString(dir.file("a.zqv")), success);
    ASSERT_TRUE(success);
    std::string damaged = readFile(dir.file("a.zqv"));
    damaged[damaged.size() - 100] ^= 1;
    writeFile(dir.file("damaged.zqv"), damaged);
    writeFile(dir.file("cut.zqv"), readFile(dir.file("a.zqv")).substr(0, 200000));

    struct Case
    {
        const char* file;
        const char* password;
        CryptoError expected;
    };
    for (const Case& c : {Case{"a.zqv", "pw", CryptoError::None},
                          Case{"a.zqv", "wrong", CryptoError::WrongPassword},
                          Case{"damaged.zqv", "pw", CryptoError::Damaged},
                          Case{"cut.zqv", "pw", CryptoError::Damaged},
                          Case{"a", "pw", CryptoError::NotEncrypted}}) {
        auto checker = control.DeriveKey(QString::fromLatin1(c.password), 1, 256);
        checker->setReuseDerivedKeys(true);
        checker->VerifyFile(QString::fromStdString(dir.file(c.file)), success);
        EXPECT_EQ(checker->lastError(), c.expected) << c.file << " " << c.password;
        EXPECT_EQ(success, c.expected == CryptoError::None);
    }
    EXPECT_EQ(listFolder(dir.path()), "a a.zqv cut.zqv damaged.zqv");
}

TEST(KeyRingTest, ARingDerivesOncePerSaltAndCostAndItsKeyOpensTheNextFileAlone)
{
    std::string sealed;
    ASSERT_EQ(streamtest::encrypt("payload", sealed, "right"), CryptoError::None);
    KeyRing ring;
    {
        streamtest::StringSource in(sealed);
        streamtest::StringSink out;
        EXPECT_EQ(decryptStream(in, out, streamtest::bytesOf("right"), {}, nullptr, &ring), CryptoError::None);
    }
    // The ring now answers for that salt without deriving: the password is
    // not even looked at.
    streamtest::StringSource in(sealed);
    streamtest::StringSink out;
    EXPECT_EQ(decryptStream(in, out, streamtest::bytesOf("ignored"), {}, nullptr, &ring), CryptoError::None);
    EXPECT_EQ(out.out, "payload");

    // Writing: one salt for every file of one cost.
    const DerivedKey* first = ring.writingKey(streamtest::bytesOf("right"), streamtest::kCheapKdf);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(ring.writingKey(streamtest::bytesOf("right"), streamtest::kCheapKdf), first);
    const zqvcrypto::Argon2Params other{128, 1, 1};
    const DerivedKey* second = ring.writingKey(streamtest::bytesOf("right"), other);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second->salt, first->salt);
}

} // namespace

namespace {

TEST(CryptoApiTest, TwinsOnThreadsShareOneSaltAndEachFileOpensAlone)
{
    TempDir dir;
    Crypto control;
    control.setKdfParams(streamtest::kCheapKdf);
    auto key = control.DeriveKey(QStringLiteral("pw"), 1, 256);
    key->setReuseDerivedKeys(true);
    constexpr int kFiles = 8;
    std::vector<std::unique_ptr<CryptoKey>> twins;
    for (int i = 0; i < kFiles; ++i) {
        writeFile(dir.file(numbered("f", i)), std::string(1000 + i, static_cast<char>('a' + i)));
        twins.push_back(key->twin());
    }
    std::vector<std::thread> threads;
    std::vector<char> ok(kFiles, 0);
    for (int i = 0; i < kFiles; ++i) {
        threads.emplace_back([&, i] {
            bool success = false;
            const QString name = QString::fromStdString(dir.file(numbered("f", i)));
            twins[i]->EncryptFile(name, name + QStringLiteral(".zqv"), success);
            ok[i] = success ? 1 : 0;
        });
    }
    for (std::thread& t : threads)
        t.join();
    const std::string salt = headerPart(readFile(dir.file("f0.zqv")), zqv::kOffSalt, zqv::kSaltSize);
    for (int i = 0; i < kFiles; ++i) {
        ASSERT_TRUE(ok[i]) << i;
        const std::string name = dir.file(numbered("f", i));
        EXPECT_EQ(headerPart(readFile(name + ".zqv"), zqv::kOffSalt, zqv::kSaltSize), salt) << i;
        auto fresh = control.DeriveKey(QStringLiteral("pw"), 1, 256);
        bool success = false;
        fresh->DecryptFile(QString::fromStdString(name + ".zqv"), QString::fromStdString(name + ".out"), success);
        EXPECT_TRUE(success) << i;
        EXPECT_EQ(readFile(name + ".out"), readFile(name));
    }
}

} // namespace
