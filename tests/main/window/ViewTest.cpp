#include <QAction>
#include <QHeaderView>

#include <gtest/gtest.h>

#include "SortProtocol.h"
#include "WindowFixture.h"

using namespace zqvwindow;

namespace {

TEST(SortProtocol, HeaderClicksFlipAndRememberEachColumn)
{
    struct Step
    {
        int click;  // zero-based column; -1 = the Descending menu command
        int column; // sort column afterwards
        int order;  // sort order afterwards
    };
    const Step steps[] = {
        {0, 0, 1}, // the first click on the start column sorts it descending
        {0, 0, 0}, // and the next ascending again
        {0, 0, 1},
        {2, 2, 0}, // another column: its own direction, ascending the first time
        {2, 2, 1},
        {0, 0, 1}, // back to the first: the direction it had
        {3, 3, 0},
        {-1, 3, 1}, // Descending from the menu leaves the columns' memory alone...
        {3, 3, 1},  // ...so a click flips column 3's own 0 to descending: it stays descending
        {3, 3, 0},
    };
    SortProtocol sort;
    EXPECT_EQ(sort.sortColumn(), 0);
    EXPECT_EQ(sort.sortOrder(), 0);
    int index = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(index++);
        if (step.click < 0)
            sort.setSortOrder(1);
        else
            sort.headerClicked(step.click);
        EXPECT_EQ(sort.sortColumn(), step.column);
        EXPECT_EQ(sort.sortOrder(), step.order);
    }
    EXPECT_EQ(sort.rememberedDirection(2), -1);
    EXPECT_EQ(sort.rememberedDirection(9), 0);
    EXPECT_EQ(sort.sortParameter(), 3u);
    sort.setSortOrder(1);
    EXPECT_EQ(sort.sortParameter(), 0x80000003u);
}

class Views : public testsupport::WindowTest
{
};

TEST_F(Views, ModesMenuChecksAndAutoArrange)
{
    loaded();
    const char* names[] = {"mnuViewLargeIcons", "mnuViewSmallIcons", "mnuViewList", "mnuViewReport"};
    for (int mode : {0, 1, 2, 3, 1}) {
        SCOPED_TRACE(mode);
        action(names[mode])->trigger();
        EXPECT_EQ(viewMode(), mode);
        for (int other = 0; other < 4; ++other)
            EXPECT_EQ(action(names[other])->isChecked(), other == mode);
        EXPECT_EQ(settings.values.value(QStringLiteral("View/Type")), QString::number(mode));
        window().ViewMenuOpening();
        EXPECT_EQ(action("mnuViewArrangeAuto")->isEnabled(), mode <= 1);
        EXPECT_EQ(window().listView()->autoArrange(), false);
    }
    action("mnuViewArrangeAuto")->trigger();
    EXPECT_TRUE(window().listView()->autoArrange());
    window().SetView(0);
    EXPECT_TRUE(window().listView()->autoArrange()); // kept across view changes while checked
    action("mnuViewArrangeAuto")->trigger();
    window().SetView(1);
    EXPECT_FALSE(window().listView()->autoArrange());
}

TEST_F(Views, SortingByHeaderAndMenu)
{
    loaded();
    const auto firstRows = [&] {
        QStringList names;
        for (int row = 0; row < rowCount(); ++row)
            names.append(rowText(row));
        return names.join(QLatin1Char(','));
    };
    // Folders first, then names without regard to case.
    EXPECT_EQ(firstRows(), QStringLiteral("folder,LOUD.ZQV,plain.txt,secret.zqv,with blanks.txt"));
    window().ColumnClick(0);
    EXPECT_EQ(firstRows(), QStringLiteral("with blanks.txt,secret.zqv,plain.txt,LOUD.ZQV,folder"));
    EXPECT_EQ(arrowOrder(), Qt::DescendingOrder);
    window().ArrangeAscending();
    EXPECT_TRUE(action("mnuViewArrangeAZ")->isChecked());
    EXPECT_FALSE(action("mnuViewArrangeZA")->isChecked());
    EXPECT_EQ(firstRows(), QStringLiteral("folder,LOUD.ZQV,plain.txt,secret.zqv,with blanks.txt"));
    EXPECT_EQ(arrowOrder(), Qt::AscendingOrder);
    EXPECT_EQ(window().listView()->header()->arrowColumn(), 0);
}

TEST_F(Views, ChangeRootUsesThePickerAndKeepsTheTreeOnCancel)
{
    testsupport::writeFile(files.file("folder/inside.txt"), "x");
    loaded();
    const QString before = rootFolder();
    window().ChangeRoot(); // cancelled
    EXPECT_EQ(rootFolder(), before);
    EXPECT_EQ(shownFolder(), QString::fromStdString(files.path()));

    pickedFolder = path("folder");
    action("mnuFileRoot")->trigger();
    EXPECT_EQ(pickerTitles, QStringList(2, QStringLiteral("Select the TreeView root folder")));
    EXPECT_EQ(selectedFolder(), pickedFolder);
    EXPECT_EQ(shownFolder(), pickedFolder);
    EXPECT_GE(rowOf(QStringLiteral("inside.txt")), 0);
}

} // namespace
