#include <gtest/gtest.h>

#include "Crypto.h"
#include "StreamHelpers.h"
#include "TempDir.h"

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
