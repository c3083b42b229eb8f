#include "UserFile.h"

#include <QString>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "InChild.h"
#include "QtText.h"
#include "TempDir.h"

using namespace zqvcore;
using testsupport::q;

namespace {

struct Case
{
    const char* name;
    // Prepares `<dir>/f` (and anything it needs beside it).
    std::function<void(const std::string& dir)> make;
    qint64 limit;
    UserFileRead::Status status;
    const char* reason; // expected reason, empty when read or missing
    const char* bytes;  // expected content when read
};

std::string statusName(UserFileRead::Status status)
{
    switch (status) {
    case UserFileRead::Status::Read:
        return "read";
    case UserFileRead::Status::Missing:
        return "missing";
    case UserFileRead::Status::Refused:
        return "refused";
    case UserFileRead::Status::Failed:
        return "failed";
    }
    return "?";
}

void link(const std::string& target, const std::string& at)
{
    ASSERT_EQ(::symlink(target.c_str(), at.c_str()), 0);
}

const Case kCases[] = {
    {"plain",
     [](const std::string& d) { testsupport::writeFile(d + "/f", "abc\n"); },
     100,
     UserFileRead::Status::Read,
     "",
     "abc\n"},
    {"empty",
     [](const std::string& d) { testsupport::writeFile(d + "/f", ""); },
     0,
     UserFileRead::Status::Read,
     "",
     ""},
    {"exactly the limit",
     [](const std::string& d) { testsupport::writeFile(d + "/f", "0123456789"); },
     10,
     UserFileRead::Status::Read,
     "",
     "0123456789"},
    {"one byte over",
     [](const std::string& d) { testsupport::writeFile(d + "/f", "0123456789A"); },
     10,
     UserFileRead::Status::Refused,
     "it is larger than 10 bytes",
     ""},
    {"missing", [](const std::string&) {}, 10, UserFileRead::Status::Missing, "", ""},
    {"folder",
     [](const std::string& d) { ASSERT_EQ(::mkdir((d + "/f").c_str(), 0700), 0); },
     10,
     UserFileRead::Status::Refused,
     "it is a folder, not a regular file",
     ""},
    {"named pipe",
     [](const std::string& d) { ASSERT_EQ(::mkfifo((d + "/f").c_str(), 0600), 0); },
     10,
     UserFileRead::Status::Refused,
     "it is a named pipe, not a regular file",
     ""},
    {"link to a named pipe",
     [](const std::string& d) {
         ASSERT_EQ(::mkfifo((d + "/p").c_str(), 0600), 0);
         link(d + "/p", d + "/f");
     },
     10,
     UserFileRead::Status::Refused,
     "it is a link to a named pipe, not to a regular file",
     ""},
    {"link to /dev/zero",
     [](const std::string& d) { link("/dev/zero", d + "/f"); },
     1 << 20,
     UserFileRead::Status::Refused,
     "it is a link to a device, not to a regular file",
     ""},
    {"/dev/zero itself",
     [](const std::string&) {},
     1 << 20,
     UserFileRead::Status::Refused,
     "it is a device, not a regular file",
     ""},
    {"link to an own file",
     [](const std::string& d) {
         testsupport::writeFile(d + "/real", "linked");
         link("real", d + "/f");
     },
     100,
     UserFileRead::Status::Read,
     "",
     "linked"},
    {"link to a large own file",
     [](const std::string& d) {
         testsupport::writeFile(d + "/real", std::string(2000, 'x'));
         link("real", d + "/f");
     },
     1024,
     UserFileRead::Status::Refused,
     "it is larger than 1 KiB",
     ""},
    {"link to nothing",
     [](const std::string& d) { link(d + "/gone", d + "/f"); },
     100,
     UserFileRead::Status::Refused,
     "it is a link to a file that does not exist",
     ""},
    {"link to another user's file",
     [](const std::string& d) {
         testsupport::writeFile(d + "/theirs", "x");
         ASSERT_EQ(::chown((d + "/theirs").c_str(), ::geteuid() + 4242, ::getegid()), 0);
         link(d + "/theirs", d + "/f");
     },
     100,
     UserFileRead::Status::Refused,
     "it is a link to a file of another user",
     ""},
};

class UserFileCases : public ::testing::TestWithParam<Case>
{
};

TEST_P(UserFileCases, ReadsOnlyBoundedRegularFilesAndNeverBlocks)
{
    const Case& c = GetParam();
    if (std::string(c.name) == "link to another user's file" && ::geteuid() != 0)
        GTEST_SKIP() << "needs to hand a file to another user";
    testsupport::TempDir dir;
    c.make(dir.path());
    const std::string path = std::string(c.name) == "/dev/zero itself" ? "/dev/zero" : dir.file("f");

    struct stat before
    {
    };
    const bool regular = ::lstat(path.c_str(), &before) == 0 && S_ISREG(before.st_mode);
    const std::string contentBefore = regular ? testsupport::readFile(path) : std::string();

    // In a child: on a reader that blocks in open() or reads a device to its
    // end, the child is ended by its alarm or its memory cap, and the test fails.
    const testsupport::ChildOutcome outcome = testsupport::runInChild([&] {
        const UserFileRead read = readUserFile(q(path), c.limit);
        return statusName(read.status) + "\n" + read.reason.toStdString() + "\n" + read.bytes.toStdString();
    });
    ASSERT_TRUE(outcome.finished) << outcome.how;
    EXPECT_EQ(outcome.output, statusName(c.status) + "\n" + c.reason + "\n" + c.bytes);
    if (regular) {
        EXPECT_EQ(testsupport::readFile(path), contentBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds,
                         UserFileCases,
                         ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name;
                             for (const char ch : std::string(info.param.name))
                                 name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

TEST(UserFile, KeepsThePermissionBitsOfWhatItRead)
{
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("f"), "x");
    ASSERT_EQ(::chmod(dir.file("f").c_str(), 0640), 0);
    const UserFileRead read = readUserFile(q(dir.file("f")), 10);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.mode, 0640u);
    EXPECT_EQ(read.error, 0);
}

TEST(UserFile, NamesRefusalsWithTheNearestSystemError)
{
    testsupport::TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("p").c_str(), 0600), 0);
    testsupport::writeFile(dir.file("big"), "0123456789");
    EXPECT_EQ(readUserFile(q(dir.path()), 10).error, EISDIR);
    EXPECT_EQ(readUserFile(q(dir.file("p")), 10).error, EINVAL);
    EXPECT_EQ(readUserFile(q(dir.file("big")), 9).error, EFBIG);
    EXPECT_TRUE(readUserFile(q(dir.file("none/deeper")), 9).missing());
    const UserFileRead underAFile = readUserFile(q(dir.file("big/deeper")), 9);
    EXPECT_TRUE(underAFile.missing());
    EXPECT_EQ(underAFile.error, ENOTDIR);
    EXPECT_EQ(readUserFile(q(dir.file("none")), 9).error, 0);
}

TEST(UserFile, SizesInWords)
{
    EXPECT_EQ(sizeInWords(64 << 20), QStringLiteral("64 MiB"));
    EXPECT_EQ(sizeInWords(1024), QStringLiteral("1 KiB"));
    EXPECT_EQ(sizeInWords(1000), QStringLiteral("1000 bytes"));
    EXPECT_EQ(sizeInWords(1), QStringLiteral("1 byte"));
}

} // namespace
