#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "cVSplitter.h"

using namespace zqvshell;

namespace {

// Records the keys that reach it.
class Host : public QWidget
{
public:
    std::vector<int> keys;

protected:
    void keyPressEvent(QKeyEvent* event) override { keys.push_back(event->key()); }
};

} // namespace

class Splitter : public ::testing::Test
{
protected:
    void SetUp() override
    {
        host.resize(1000, 600);
        left = new QWidget(&host);
        right = new QWidget(&host);
        bar = new QFrame(&host);
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
        ASSERT_TRUE(splitter.SetControls(&host, left, right, bar));
        splitter.setTrackSplit(true);
        splitter.setTop(24);
        splitter.setLeft(300);
    }

    void press(int x) { QTest::mousePress(bar, Qt::LeftButton, {}, bar->mapFrom(&host, QPoint(x, 100))); }
    void move(int x)
    {
        QMouseEvent event(QEvent::MouseMove,
                          QPointF(bar->mapFrom(&host, QPoint(x, 100))),
                          QPointF(),
                          Qt::NoButton,
                          Qt::LeftButton,
                          {});
        QApplication::sendEvent(bar, &event);
    }
    void release(int x) { QTest::mouseRelease(bar, Qt::LeftButton, {}, bar->mapFrom(&host, QPoint(x, 100))); }
    void resizeHost(int width, int height)
    {
        host.resize(width, height);
        QApplication::processEvents();
    }

    Host host;
    QWidget* left = nullptr;
    QWidget* right = nullptr;
    QFrame* bar = nullptr;
    cVSplitter splitter;
};

TEST_F(Splitter, LaysOutPanesAroundTheBar)
{
    EXPECT_EQ(splitter.Left(), 300);
    EXPECT_EQ(left->geometry(), QRect(0, 24, 300, 576));
    EXPECT_EQ(bar->geometry(), QRect(300, 24, splitter.Width(), 576));
    EXPECT_EQ(right->geometry(), QRect(300 + splitter.Width(), 24, 1000 - 300 - splitter.Width(), 576));
    splitter.setHeightOffset(125);
    EXPECT_EQ(left->height(), 600 - 125 - 24);
}

TEST_F(Splitter, KeepsItsRatioAcrossResizesAndRetakesItAfterADrag)
{
    resizeHost(500, 600);
    EXPECT_EQ(splitter.Left(), 150);
    resizeHost(1000, 600);
    EXPECT_EQ(splitter.Left(), 300);
    press(400);
    move(450);
    EXPECT_EQ(left->width(), 450) << "live tracking moves the panes during the drag";
    release(500);
    EXPECT_EQ(splitter.Left(), 500);
    resizeHost(800, 600);
    EXPECT_EQ(splitter.Left(), 400);
}

TEST_F(Splitter, ClampsToTheMinimumPaneOnBothSides)
{
    const int minimum = splitter.minimumPane();
    ASSERT_GT(minimum, 0);
    press(300);
    release(2);
    EXPECT_EQ(splitter.Left(), minimum);
    press(300);
    release(999);
    EXPECT_EQ(splitter.Left(), 1000 - (splitter.Width() + minimum));
    // Too narrow for both: the upper bound wins.
    resizeHost(minimum, 600);
    EXPECT_EQ(splitter.Left(), minimum - (splitter.Width() + minimum));
}

TEST_F(Splitter, RefusesNonsenseValuesAndBindings)
{
    const QRect before = left->geometry();
    splitter.setWidth(0);
    splitter.setTop(-1);
    splitter.setHeightOffset(-5);
    splitter.setLeft(-10);
    EXPECT_EQ(left->geometry(), before);
    EXPECT_EQ(splitter.Top(), 24);
    EXPECT_FALSE(cVSplitter().SetControls(&host, left, nullptr, bar));
    // Setting Left after the first layout: the kept ratio places the bar again.
    splitter.setLeft(700);
    EXPECT_EQ(splitter.Left(), 300);
}

TEST_F(Splitter, NothingMovesWhenTooShortOrMinimized)
{
    splitter.setHeightOffset(590);
    EXPECT_EQ(left->height(), 576) << "shorter than Top + HeightOffset";
    splitter.setHeightOffset(0);
    host.showMinimized();
    QApplication::processEvents();
    if (!host.isMinimized()) {
        GTEST_SKIP() << "this platform does not minimize";
    }
    host.resize(500, 600);
    QApplication::processEvents();
    EXPECT_EQ(left->width(), 300);
    host.showNormal();
    QApplication::processEvents();
    EXPECT_EQ(left->width(), 150);
}

TEST_F(Splitter, EscapeCancelsADragAndIsSwallowed)
{
    for (const bool live : {true, false}) {
        splitter.setTrackSplit(live);
        press(300);
        move(600);
        EXPECT_TRUE(splitter.Splitting());
        if (!live) {
            EXPECT_EQ(splitter.outlineRect().left(), 600);
            EXPECT_EQ(left->width(), 300) << "the outline moves, the panes wait";
        }
        QTest::keyClick(&host, Qt::Key_Escape);
        EXPECT_FALSE(splitter.Splitting());
        EXPECT_EQ(left->width(), 300) << live;
        EXPECT_EQ(splitter.Left(), 300) << live;
        release(650);
        EXPECT_EQ(left->width(), 300) << "the release after a cancel does nothing";
        EXPECT_TRUE(host.keys.empty());
    }
    QTest::keyClick(&host, Qt::Key_Escape);
    EXPECT_EQ(host.keys, std::vector<int>{Qt::Key_Escape}) << "without a drag Esc reaches the host";

    splitter.setTrackSplit(false);
    press(300);
    move(600);
    release(600);
    EXPECT_EQ(left->width(), 600) << "an outline drag places the panes on release";
}
