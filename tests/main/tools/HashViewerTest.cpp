#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "Crypto.h"
#include "FrmHash.h"
#include "HashValues.h"
#include "Md5Module.h"
#include "QtText.h"
#include "TempDir.h"
#include "WidgetHelpers.h"

using namespace testsupport;
using namespace zqvtools;

namespace {

// The first field of what a coreutils digest program prints for the file.
std::string coreutilsDigest(const char* program, const std::string& path)
{
    FILE* pipe = ::popen((std::string(program) + " '" + path + "'").c_str(), "r");
    char line[256] = {};
    const bool read = pipe != nullptr && std::fgets(line, sizeof line, pipe) != nullptr;
    if (pipe != nullptr)
        ::pclose(pipe);
    const std::string text = read ? line : "";
    return text.substr(0, text.find(' '));
}

std::string patterned(std::size_t size)
{
    std::string bytes(size, '\0');
    std::uint32_t x = 0x12345678u ^ static_cast<std::uint32_t>(size);
    for (char& c : bytes) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

HashValues compute(const std::string& path, Md5Library& md5)
{
    const zqvcrypto::Crypto control;
    const std::atomic<bool> cancel{false};
    return computeHashValues(q(path), control, md5, {}, cancel);
}

TEST(HashValuesTest, BothValuesPrintAsSha256sumAndMd5sumDo)
{
    TempDir dir;
    Md5Library md5(QStringLiteral(ZQVMD5_LIBRARY_PATH));
    for (std::size_t size : {0, 1, 63, 64, 65, 100, 128, 1 << 20, 3 * (1 << 20) + 17}) {
        std::string name = "f";
        name += std::to_string(size); // "f" + to_string(...) trips a false GCC 12 -Wrestrict at -O3
        const std::string path = dir.file(name);
        writeFile(path, patterned(size));
        const HashValues values = compute(path, md5);
        EXPECT_EQ(values.sha.toStdString(), coreutilsDigest("sha256sum", path)) << size << " bytes";
        EXPECT_EQ(values.md5.toStdString(), coreutilsDigest("md5sum", path)) << size << " bytes";
        EXPECT_FALSE(values.cancelled);
    }
}

TEST(HashValuesTest, EveryDigitIsLowerCase)
{
    EXPECT_EQ(hexText(QByteArray("\x0a\xab\x00\xff", 4)), QStringLiteral("0aab00ff"));
}

TEST(HashValuesTest, FilesThatCannotBeReadGiveBothErrorTexts)
{
    TempDir dir;
    Md5Library md5(QStringLiteral(ZQVMD5_LIBRARY_PATH));
    // /proc/self/mem opens as a regular file but its first page cannot be read.
    for (const std::string& path : {dir.file("missing"), dir.path(), std::string("/proc/self/mem")}) {
        const HashValues values = compute(path, md5);
        EXPECT_EQ(values.sha, shaErrorText()) << path;
        EXPECT_EQ(values.md5, md5ErrorText()) << path;
    }
}

TEST(HashValuesTest, MissingLibraryLeavesTheShaValue)
{
    TempDir dir;
    writeFile(dir.file("abc"), "abc");
    Md5Library missing(q(dir.file("libnothere.so")));
    const HashValues values = compute(dir.file("abc"), missing);
    EXPECT_EQ(values.sha, QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    EXPECT_EQ(values.md5, md5ErrorText());
}

TEST(HashValuesTest, CancelStopsTheReadingWithoutValues)
{
    TempDir dir;
    writeFile(dir.file("big"), patterned(4 << 20));
    Md5Library md5(QStringLiteral(ZQVMD5_LIBRARY_PATH));
    const zqvcrypto::Crypto control;
    std::atomic<bool> cancel{false};
    std::vector<int> progress;
    const HashValues values = computeHashValues(
        q(dir.file("big")),
        control,
        md5,
        [&](int percent) {
            progress.push_back(percent);
            cancel = true;
        },
        cancel);
    EXPECT_TRUE(values.cancelled);
    EXPECT_EQ(values.sha, shaErrorText());
    EXPECT_EQ(values.md5, md5ErrorText());
    ASSERT_EQ(progress.size(), 1u);
    EXPECT_EQ(progress.front(), 25);
}

TEST(HashValuesTest, AFileWhoseSizeSaysNothingReportsUnknownProgressNotAFullBar)
{
    TempDir dir;
    writeFile(dir.file("regular"), patterned(300000));
    Md5Library md5(QStringLiteral(ZQVMD5_LIBRARY_PATH));
    const zqvcrypto::Crypto control;
    const std::atomic<bool> cancel{false};
    struct Case
    {
        const char* name;
        std::string path;
        bool sizeKnown;
    };
    // /proc files say they are empty and then give their content.
    const Case cases[] = {{"/proc file", "/proc/self/mountinfo", false}, {"regular file", dir.file("regular"), true}};
    for (const Case& c : cases) {
        std::vector<int> progress;
        const HashValues values = computeHashValues(
            q(c.path), control, md5, [&](int percent) { progress.push_back(percent); }, cancel);
        EXPECT_NE(values.sha, shaErrorText()) << c.name;
        ASSERT_FALSE(progress.empty()) << c.name;
        if (c.sizeKnown) {
            EXPECT_EQ(progress.back(), 100) << c.name;
            EXPECT_EQ(std::count(progress.begin(), progress.end(), kUnknownProgress), 0) << c.name;
        } else {
            EXPECT_EQ(progress, std::vector<int>{kUnknownProgress}) << c.name;
        }
    }
}

TEST(FrmHashTest, TheBarIsBusyForAFileOfUnknownSize)
{
    TempDir dir;
    writeFile(dir.file("abc"), "abc");
    Md5Library md5(QStringLiteral(ZQVMD5_LIBRARY_PATH));
    FrmHash form(nullptr, &md5);
    QProgressBar* bar = child<QProgressBar>(&form, "ProgressBar1");
    form.load(QStringLiteral("/proc/self/mountinfo"));
    form.computeValues();
    EXPECT_EQ(bar->maximum(), 0) << "a busy bar";
    form.load(q(dir.file("abc")));
    form.computeValues();
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 100);
}

TEST(FrmHashTest, WindowShowsPathAndValuesOrTheirErrors)
{
    TempDir dir;
    writeFile(dir.file("empty file"), "");
    Md5Library md5(QStringLiteral(ZQVMD5_LIBRARY_PATH));
    FrmHash form(nullptr, &md5);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Hash Values"));
    EXPECT_EQ(child<QLabel>(&form, "Label1")->text(), QStringLiteral("File:"));
    EXPECT_EQ(child<QLabel>(&form, "Label2")->text(), QStringLiteral("SHA:"));
    EXPECT_EQ(child<QLabel>(&form, "Label3")->text(), QStringLiteral("MD5"));
    EXPECT_EQ(child<QPushButton>(&form, "cmdOk")->text(), QStringLiteral("&Ok"));

    form.load(q(dir.file("empty file")));
    form.computeValues();
    EXPECT_EQ(child<QLineEdit>(&form, "txtFile")->text(), q(dir.file("empty file")));
    EXPECT_EQ(child<QLineEdit>(&form, "txtSHA")->text(),
              QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    EXPECT_EQ(child<QLineEdit>(&form, "txtMD5")->text(), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
    for (const char* name : {"txtFile", "txtSHA", "txtMD5"})
        EXPECT_TRUE(child<QLineEdit>(&form, name)->isReadOnly()) << name;

    form.load(q(dir.file("gone")));
    form.show();
    form.computeValues();
    EXPECT_TRUE(form.isVisible()) << "a failure leaves the window open";
    EXPECT_EQ(child<QLineEdit>(&form, "txtSHA")->text(), QStringLiteral("Error obtaining SHA hash value."));
    EXPECT_EQ(child<QLineEdit>(&form, "txtMD5")->text(), QStringLiteral("Error obtaining MD5 hash value."));
    EXPECT_TRUE(child<QPushButton>(&form, "cmdOk")->isEnabled());
}

TEST(FrmHashTest, ShowingTheWindowComputesTheValues)
{
    TempDir dir;
    writeFile(dir.file("abc"), "abc");
    Md5Library md5(QStringLiteral(ZQVMD5_LIBRARY_PATH));
    FrmHash form(nullptr, &md5);
    form.load(q(dir.file("abc")));
    form.show();
    QLineEdit* md5Box = child<QLineEdit>(&form, "txtMD5");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !md5Box->text().isEmpty() && !form.isComputing(); }, 20000));
    EXPECT_EQ(md5Box->text(), QStringLiteral("900150983cd24fb0d6963f7d28e17f72"));
    EXPECT_FALSE(form.isComputing());
}

} // namespace
