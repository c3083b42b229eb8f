#include <QAction>
#include <QMimeData>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "WindowFixture.h"

using namespace zqvwindow;
using testsupport::child;

namespace {

class QueuePane : public testsupport::WindowTest
{
protected:
    QStringList rows()
    {
        QStringList result;
        for (const zqvcore::QueueEntry& entry : window().queue().entries())
            result.append(entry.path + QLatin1Char('|') + entry.action);
        return result;
    }
    void drop(const QStringList& names)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& name : names)
            urls.append(QUrl::fromLocalFile(name));
        data.setUrls(urls);
        window().DropOnQueue(&data, nullptr);
    }
    QString duplicate(const char* name)
    {
        return QStringLiteral("The file ") + path(name) + QStringLiteral(" already exists in the queue.");
    }
};

TEST_F(QueuePane, AddingFromTheToolbarMenu)
{
    loaded();
    // plain.txt again, from another menu item: found although it is not last.
    pressOn({{"plain.txt", "Encrypt"},
             {"secret.zqv", "Decrypt"},
             {"with blanks.txt", "Make Self-Extracting"},
             {"plain.txt", "Wipe"},
             {"folder", "Encrypt"}},
            &frmMain::ButtonMenuClick);

    EXPECT_EQ(rows(),
              (QStringList{path("plain.txt") + QStringLiteral("|Encrypt"),
                           path("secret.zqv") + QStringLiteral("|Decrypt"),
                           path("with blanks.txt") + QStringLiteral("|Make Self-Extracting")}));
    EXPECT_EQ(messages(), QStringList{duplicate("plain.txt")});
    EXPECT_EQ(messenger.shown.at(0).title, QStringLiteral("Error"));
    EXPECT_TRUE(window().CheckQueueForDuplicates(path("secret.zqv")));
    EXPECT_FALSE(window().CheckQueueForDuplicates(path("SECRET.zqv")));
    EXPECT_FALSE(window().queue().entries().at(0).whenQueued.isEmpty());
    // Already on disk, before any shutdown.
    EXPECT_EQ(zqvcore::readQueueFile(QString::fromStdString(queueFile())), window().queue().entries());
}

TEST_F(QueuePane, Drops)
{
    testsupport::writeFile(files.file("two.txt"), "2");
    testsupport::writeFile(files.file("three.txt"), "3");
    loaded();
    drop({path("plain.txt"), path("two.txt"), path("three.txt")});
    drop({path("secret.zqv")});
    drop({path("LOUD.ZQV")});
    drop({path("folder")});
    drop({path("secret.zqv")});
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.org/file.txt"))});
    window().DropOnQueue(&web, nullptr);

    EXPECT_EQ(rows(),
              (QStringList{path("plain.txt") + QStringLiteral("|Encrypt"),
                           path("secret.zqv") + QStringLiteral("|Decrypt"),
                           path("LOUD.ZQV") + QStringLiteral("|Encrypt")}));
    EXPECT_EQ(messages(),
              (QStringList{QStringLiteral("A folder cannot be added to the queue."), duplicate("secret.zqv")}));
}

TEST_F(QueuePane, ADropFromOurOwnListTakesTheSelectedRow)
{
    loaded();
    click("with blanks.txt");
    QMimeData data;
    data.setText(QStringLiteral("ignored"));
    window().DropOnQueue(&data, window().listView()->currentView()->viewport());
    EXPECT_EQ(rows(), QStringList{path("with blanks.txt") + QStringLiteral("|Encrypt")});
}

TEST_F(QueuePane, ALineBreakInTheNameIsRefusedWithAMessage)
{
    testsupport::writeFile(files.file("two\nlines.txt"), "x");
    loaded();
    drop({path("two\nlines.txt")});
    EXPECT_EQ(window().queue().count(), 0);
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages().at(0).contains(QStringLiteral("line break")));
}

TEST_F(QueuePane, PopUpCommands)
{
    loaded();
    const auto enabled = [&] {
        window().QueuePopUpOpening();
        return std::vector<bool>{action("mnuPerform")->isEnabled(),
                                 action("mnuRemoveItem")->isEnabled(),
                                 action("mnuClearQueue")->isEnabled()};
    };
    EXPECT_EQ(enabled(), (std::vector<bool>{false, false, false}));
    drop({path("plain.txt")});
    drop({path("secret.zqv")});
    drop({path("with blanks.txt")});
    EXPECT_EQ(enabled(), (std::vector<bool>{true, true, true}));

    window().RemoveItem(); // nothing selected
    EXPECT_EQ(window().queue().count(), 3);
    auto* view = child<QTreeView>(&window(), "lvQueue");
    view->setCurrentIndex(window().queue().index(1, 0));
    window().RemoveItem();
    EXPECT_EQ(rows(),
              (QStringList{path("plain.txt") + QStringLiteral("|Encrypt"),
                           path("with blanks.txt") + QStringLiteral("|Encrypt")}));
    window().ClearQueue();
    EXPECT_EQ(window().queue().count(), 0);
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_TRUE(zqvcore::readQueueFile(QString::fromStdString(queueFile())).isEmpty());
}

TEST_F(QueuePane, PerformRunsEachEntryInTurnAndEmptiesTheQueue)
{
    loaded();
    (void)window().queue().append({path("plain.txt"), QStringLiteral("Wipe"), QStringLiteral("t")});
    (void)window().queue().append({path("secret.zqv"), QStringLiteral("Nonsense"), QStringLiteral("t")});
    (void)window().queue().append(
        {path("with blanks.txt"), QStringLiteral("Make Self-Extracting"), QStringLiteral("t")});
    (void)window().queue().append({path("LOUD.ZQV"), QStringLiteral("Encrypt"), QStringLiteral("t")});
    int running = 0;
    // A timer of the test's own, so nothing of it fires after the test.
    QTimer release;
    QObject::connect(&release, &QTimer::timeout, [&] {
        // One run at a time: the next starts only after this one has ended.
        if (standIn.count("start") > standIn.count("end") + 1)
            running = 2;
        const auto events = standIn.events();
        if (!events.empty() && events.back().rfind("start ", 0) == 0) {
            const std::string started = events.back();
            standIn.open(started.substr(started.find_last_of('/') + 1));
        }
        if (standIn.count("end") >= 3)
            release.stop();
    });
    release.start(5);
    window().Perform();
    EXPECT_LT(running, 2);
    EXPECT_EQ(window().queue().count(), 0);
    EXPECT_EQ(standIn.events(), runsOn({{"/w", "plain.txt"}, {"/s", "with blanks.txt"}, {"/e", "LOUD.ZQV"}}));
}

TEST_F(QueuePane, AnEngineThatCannotStartLeavesTheQueueAndSaysSo)
{
    testsupport::TempDir noEngine;
    programFolder = QString::fromStdString(noEngine.path());
    loaded();
    drop({path("plain.txt")});
    drop({path("secret.zqv")});
    window().Perform();
    EXPECT_EQ(window().queue().count(), 2);
    ASSERT_EQ(messages().size(), 1);
    EXPECT_TRUE(messages().at(0).contains(QStringLiteral("could not be started")));
}

TEST_F(QueuePane, ClosingDuringPerformKeepsTheEntriesNotYetDone)
{
    loaded();
    drop({path("plain.txt")});
    drop({path("secret.zqv")});
    drop({path("with blanks.txt")});
    // Watched without blocking, so Perform can go on from one run to the next.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (standIn.count("start") == 1 && !testsupport::exists(standIn.gates() + "/plain.txt"))
            standIn.open("plain.txt");
        if (standIn.count("start") == 2) {
            watch.stop();
            window().close();
        }
    });
    watch.start(5);
    window().Perform();
    destroyWindow();
    standIn.open("secret.zqv");
    EXPECT_TRUE(standIn.waitFor("end", 2));
    EXPECT_EQ(standIn.count("start"), 2);

    // The next start finds the entry under way and the one after it.
    QueuePane::window().Form_Load();
    EXPECT_EQ(rows(),
              (QStringList{path("secret.zqv") + QStringLiteral("|Decrypt"),
                           path("with blanks.txt") + QStringLiteral("|Encrypt")}));
    QCoreApplication::processEvents();
}

TEST_F(QueuePane, ViewQueueShowsHidesAndIsStored)
{
    loaded();
    window().ToggleQueue();
    EXPECT_FALSE(action("mnuQueue")->isChecked());
    EXPECT_TRUE(child<QTreeView>(&window(), "lvQueue")->isHidden());
    EXPECT_EQ(window().splitter()->HeightOffset(), 0);
    EXPECT_EQ(settings.values.value(QStringLiteral("View/Queue")), QStringLiteral("False"));
    window().ToggleQueue();
    EXPECT_TRUE(action("mnuQueue")->isChecked());
    EXPECT_EQ(window().splitter()->HeightOffset(), 125);
    EXPECT_EQ(settings.values.value(QStringLiteral("View/Queue")), QStringLiteral("True"));
}

} // namespace

namespace {

TEST_F(QueuePane, AQueueFileThatIsNoFileLeavesTheWindowUpAndSaysSo)
{
    for (const char* kind : {"pipe", "device"}) {
        SCOPED_TRACE(kind);
        const std::string file = queueFile();
        ASSERT_TRUE(testsupport::run("mkdir -p '" + state.file("ZQV") + "' && rm -f '" + file + "'"));
        if (std::string(kind) == "pipe")
            ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
        else
            ASSERT_EQ(::symlink("/dev/zero", file.c_str()), 0);
        // A start-up that blocks on the pipe or reads the device without end is
        // ended by the alarm (and the test with it) instead of hanging the run.
        ::alarm(60);
        loaded();
        ::alarm(0);
        ASSERT_EQ(messages().size(), 1);
        EXPECT_TRUE(messages().at(0).startsWith(QStringLiteral("The queue file ") + QString::fromStdString(file) +
                                                QStringLiteral(" could not be read: ")))
            << messages().at(0).toStdString();
        EXPECT_TRUE(messages().at(0).contains(std::string(kind) == "pipe" ? QStringLiteral("named pipe")
                                                                          : QStringLiteral("link to a device")));
        drop({path("plain.txt")});
        EXPECT_EQ(rows(), QStringList{path("plain.txt") + QStringLiteral("|Encrypt")}); // kept for this run
        struct stat info
        {
        };
        ASSERT_EQ(::lstat(file.c_str(), &info), 0);
        EXPECT_TRUE(std::string(kind) == "pipe" ? S_ISFIFO(info.st_mode) : S_ISLNK(info.st_mode));
        destroyWindow();
        messenger.shown.clear();
    }
}

TEST_F(QueuePane, AnEntryWhoseRunWasNotDoneStaysAndPerformSaysHowMany)
{
    loaded();
    drop({path("plain.txt")});
    drop({path("secret.zqv")});
    drop({path("with blanks.txt")});
    standIn.leaveUnfinished("plain.txt");
    standIn.leaveUnfinished("with blanks.txt");
    for (const char* name : {"plain.txt", "secret.zqv", "with blanks.txt"})
        standIn.open(name);
    window().Perform();
    EXPECT_EQ(standIn.count("end"), 3); // each ran once, in order
    EXPECT_EQ(rows(),
              (QStringList{path("plain.txt") + QStringLiteral("|Encrypt"),
                           path("with blanks.txt") + QStringLiteral("|Encrypt")}));
    EXPECT_EQ(zqvcore::readQueueFile(QString::fromStdString(queueFile())), window().queue().entries());
    ASSERT_EQ(messages().size(), 1);
    EXPECT_EQ(messages().at(0), QStringLiteral("2 files were not done. They stay in the queue."));
}

TEST(RunAndWaitStatus, TheEnginesExitStatusArrives)
{
    testsupport::StandIn standIn;
    EngineRunner runner;
    standIn.open("done");
    standIn.open("undone");
    standIn.leaveUnfinished("undone");
    int status = 7;
    EXPECT_EQ(
        runner.RunAndWait(
            zqvcore::engineCommand(testsupport::StandIn::folder(), zqvcore::Operation::Wipe, QStringLiteral("/x/done")),
            &status),
        WaitResult::Ended);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(runner.RunAndWait(zqvcore::engineCommand(testsupport::StandIn::folder(),
                                                       zqvcore::Operation::Wipe,
                                                       QStringLiteral("/x/undone")),
                                &status),
              WaitResult::Ended);
    EXPECT_EQ(status, 1);
}

} // namespace
