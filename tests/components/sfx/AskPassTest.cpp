// The password reader the extractor and the command line share.
#include <string>
#include <vector>

#include <AskPass.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

using cryptelle::AskOutcome;
using cryptelle::PasswordLine;

struct HelperCase
{
    const char* name;
    std::string script; // run by sh -c
    AskOutcome outcome;
    std::string line;
};

class AskHelperTest : public ::testing::TestWithParam<HelperCase>
{
};

TEST_P(AskHelperTest, ReadsTheFirstLineAndTellsFailuresApart)
{
    const HelperCase& c = GetParam();
    PasswordLine line;
    EXPECT_EQ(cryptelle::askHelper({"sh", "-c", c.script}, line), c.outcome);
    EXPECT_EQ(std::string(line.data(), line.size()), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Helpers,
    AskHelperTest,
    ::testing::Values(HelperCase{"Plain", "printf 'open sesame\\n'", AskOutcome::Got, "open sesame"},
                      HelperCase{"NoNewline", "printf 'x y'", AskOutcome::Got, "x y"},
                      HelperCase{"CarriageReturn", "printf 'pw\\r\\n'", AskOutcome::Got, "pw"},
                      HelperCase{"OnlyTheFirstLine", "printf 'pw\\nsecond\\n'", AskOutcome::Got, "pw"},
                      HelperCase{"BlanksKept", "printf ' pw \\n'", AskOutcome::Got, " pw "},
                      HelperCase{"NothingPrinted", "true", AskOutcome::Empty, ""},
                      HelperCase{"EmptyLine", "echo", AskOutcome::Got, ""},
                      HelperCase{"Failed", "echo pw; exit 1", AskOutcome::HelperFailed, ""},
                      HelperCase{"Killed", "echo pw; kill -9 $$", AskOutcome::HelperFailed, ""},
                      HelperCase{"TooLong", "head -c 5000 /dev/zero | tr '\\\\0' a", AskOutcome::TooLong, ""},
                      // Output past the first line is drained, so a chatty helper never blocks.
                      HelperCase{"ChattyHelper", "echo pw; head -c 1000000 /dev/zero", AskOutcome::Got, "pw"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AskHelperTest, AProgramThatCannotBeStartedIsNotRun)
{
    PasswordLine line;
    EXPECT_EQ(cryptelle::askHelper({"/nonexistent/askpass", "Password: "}, line), AskOutcome::NotRun);
    EXPECT_EQ(cryptelle::askHelper({}, line), AskOutcome::NotRun);
}

TEST(ReadPasswordLineTest, TakesNothingPastTheNewlineFromASharedDescriptor)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::string text = "first\nrest";
    ASSERT_EQ(::write(fds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fds[1]);
    PasswordLine line;
    EXPECT_EQ(cryptelle::readPasswordLine(fds[0], line), AskOutcome::Got);
    EXPECT_EQ(std::string(line.data(), line.size()), "first");
    char rest[8] = {};
    EXPECT_EQ(::read(fds[0], rest, sizeof rest), 4);
    EXPECT_EQ(std::string(rest, 4), "rest");
    EXPECT_EQ(cryptelle::readPasswordLine(fds[0], line), AskOutcome::Empty);
    EXPECT_TRUE(line.empty());
    ::close(fds[0]);
    EXPECT_EQ(cryptelle::readPasswordLine(fds[0], line), AskOutcome::ReadFailed);
}

TEST(PasswordLineTest, ClearOverwritesWhatItHeld)
{
    PasswordLine line;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "secret\n", 7), 7);
    ::close(fds[1]);
    ASSERT_EQ(cryptelle::readPasswordLine(fds[0], line), AskOutcome::Got);
    ::close(fds[0]);
    const char* bytes = line.data();
    line.clear();
    EXPECT_EQ(line.size(), 0u);
    EXPECT_EQ(std::string(bytes, 6), std::string(6, '\0'));
}

} // namespace
