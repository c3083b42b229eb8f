#include "RunAndWait.h"

#include <QTimer>

#include <gtest/gtest.h>
#include <unistd.h>

#include "EngineCommand.h"
#include "StandIn.h"

using namespace zqvwindow;
using testsupport::StandIn;

namespace {

zqvcore::EngineCommand command(zqvcore::Operation operation, const char* path)
{
    return zqvcore::engineCommand(StandIn::folder(), operation, QString::fromUtf8(path));
}

TEST(RunAndWait, WaitsForTheEngineAndPassesSwitchAndPathAsTwoArguments)
{
    StandIn standIn;
    EngineRunner runner;
    bool startedBeforeReturn = false;
    QTimer::singleShot(0, [&] {
        startedBeforeReturn = standIn.waitFor("start", 1);
        EXPECT_EQ(standIn.count("end"), 0);
        EXPECT_EQ(runner.depth(), 1);
        standIn.open("with  blanks and 'quotes'.txt");
    });
    EXPECT_EQ(runner.RunAndWait(command(zqvcore::Operation::Encrypt, "/tmp/a b/with  blanks and 'quotes'.txt")),
              WaitResult::Ended);
    EXPECT_TRUE(startedBeforeReturn);
    EXPECT_EQ(standIn.events(),
              (std::vector<std::string>{"start /e|/tmp/a b/with  blanks and 'quotes'.txt",
                                        "end /e|/tmp/a b/with  blanks and 'quotes'.txt"}));
    EXPECT_EQ(runner.depth(), 0);
}

TEST(RunAndWait, ACommandDuringTheWaitNestsAndEndsFirst)
{
    StandIn standIn;
    EngineRunner runner;
    std::vector<std::string> returns;
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(standIn.waitFor("start", 1));
        // The first engine ends while the second wait runs: the first wait
        // can only return after the second.
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(standIn.waitFor("start", 2));
            EXPECT_EQ(runner.depth(), 2);
            standIn.open("outer");
            ASSERT_TRUE(standIn.waitFor("end", 1));
            standIn.open("inner");
        });
        EXPECT_EQ(runner.RunAndWait(command(zqvcore::Operation::Wipe, "/tmp/inner")), WaitResult::Ended);
        returns.push_back("inner");
    });
    EXPECT_EQ(runner.RunAndWait(command(zqvcore::Operation::Decrypt, "/tmp/outer")), WaitResult::Ended);
    returns.push_back("outer");
    EXPECT_EQ(returns, (std::vector<std::string>{"inner", "outer"}));
    EXPECT_EQ(standIn.events(),
              (std::vector<std::string>{
                  "start /d|/tmp/outer", "start /w|/tmp/inner", "end /d|/tmp/outer", "end /w|/tmp/inner"}));
}

TEST(RunAndWait, AnEngineThatCannotStartReturnsAtOnce)
{
    testsupport::TempDir empty;
    testsupport::writeFile(empty.file("zqvengine"), "not a program"); // present but not executable
    EngineRunner runner;
    for (const std::string& folder : {empty.path(), empty.file("missing")}) {
        const auto missing = zqvcore::engineCommand(
            QString::fromStdString(folder), zqvcore::Operation::Encrypt, QStringLiteral("/tmp/x"));
        EXPECT_EQ(runner.RunAndWait(missing), WaitResult::NotStarted) << folder;
    }
    EXPECT_EQ(runner.depth(), 0);
}

TEST(RunAndWait, AnAbandonedWaitReturnsAndTheEngineRunsToItsEnd)
{
    StandIn standIn;
    pid_t enginePid = 0;
    pid_t engineSession = 0;
    {
        EngineRunner runner;
        QTimer::singleShot(0, [&] {
            ASSERT_TRUE(standIn.waitFor("start", 1));
            runner.abandonAll();
        });
        EXPECT_EQ(runner.RunAndWait(command(zqvcore::Operation::Encrypt, "/tmp/abandoned")), WaitResult::Abandoned);
        EXPECT_EQ(runner.RunAndWait(command(zqvcore::Operation::Encrypt, "/tmp/later")), WaitResult::Abandoned);
        std::istringstream start(standIn.lines().at(0));
        std::string kind;
        start >> kind >> enginePid >> engineSession;
    } // the runner is gone, as when the window is destroyed
    EXPECT_EQ(standIn.count("end"), 0);
    // The engine has a session of its own: an interrupt for ours does not reach it.
    EXPECT_NE(engineSession, ::getsid(0));
    EXPECT_GT(enginePid, 0);
    standIn.open("abandoned");
    EXPECT_TRUE(standIn.waitFor("end", 1));
    EXPECT_EQ(standIn.count("start"), 1); // the later call started nothing
}

} // namespace
