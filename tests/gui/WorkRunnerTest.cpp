#include "WorkRunner.h"

#include <QApplication>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <atomic>

#include <gtest/gtest.h>

using zqvgui::WorkRunner;

namespace {

TEST(WorkRunner, RunsOffTheInterfaceThreadWhileTheWindowStaysAlive)
{
    QPushButton start;
    QPushButton alreadyDisabled;
    alreadyDisabled.setEnabled(false);
    WorkRunner runner;
    runner.setControls({&start, &alreadyDisabled});

    std::atomic<bool> release{false};
    bool sawDisabled = false;
    bool sawBusyCursor = false;
    bool sawBusy = false;
    // The interface thread must keep handling events while the work waits.
    QTimer::singleShot(20, [&] {
        sawDisabled = !start.isEnabled();
        sawBusyCursor =
            QApplication::overrideCursor() != nullptr && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
        sawBusy = runner.isBusy();
        release = true;
    });
    const QThread* interfaceThread = QThread::currentThread();
    const QThread* workThread = nullptr;
    runner.run([&] {
        workThread = QThread::currentThread();
        while (!release)
            QThread::msleep(1);
    });

    EXPECT_NE(workThread, interfaceThread);
    EXPECT_TRUE(sawDisabled);
    EXPECT_TRUE(sawBusyCursor);
    EXPECT_TRUE(sawBusy);
    EXPECT_FALSE(runner.isBusy());
    EXPECT_TRUE(start.isEnabled());
    EXPECT_FALSE(alreadyDisabled.isEnabled()) << "a control disabled before stays disabled";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the busy cursor is gone";
}

TEST(WorkRunner, DeliversEverythingPostedBeforeReturning)
{
    QObject receiver;
    std::vector<int> seen;
    const auto post = zqvgui::postingTo(&receiver, [&](int value) { seen.push_back(value); });
    WorkRunner runner;
    runner.run([&] {
        for (int value : {0, 50, 100})
            post(value);
    });
    EXPECT_EQ(seen, (std::vector<int>{0, 50, 100}));
}

TEST(WorkRunner, DropsWhatIsPostedToAReceiverThatIsGone)
{
    bool called = false;
    auto* receiver = new QObject;
    zqvgui::postTo(receiver, [&] { called = true; });
    delete receiver;
    QCoreApplication::processEvents();
    EXPECT_FALSE(called);
}

} // namespace
