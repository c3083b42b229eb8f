#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include "Miscellaneous.h"
#include "WidgetHelpers.h"
#include "cryptelle/Version.h"
#include "frmAbout.h"
#include "frmSplash.h"

using testsupport::child;
using namespace zqvtools;

namespace {

TEST(About, ShowsNameVersionAndTheLink)
{
    EXPECT_EQ(versionText(1, 1, 0), QStringLiteral("Version 1.1.0"));
    EXPECT_EQ(versionText(2, 10, 33), QStringLiteral("Version 2.10.33"));

    frmAbout about(QStringLiteral("/opt/zqv/help/index.html"));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(child<QLabel>(&about, "Label4")->text(), QStringLiteral("ZQV"));
    EXPECT_EQ(child<QLabel>(&about, "lblVersion")->text(),
              versionText(cryptelle::kVersionMajor, cryptelle::kVersionMinor, cryptelle::kVersionRevision));
    EXPECT_TRUE(child<QLabel>(&about, "Label3")->text().contains(QStringLiteral("href=\"/opt/zqv/help/index.html\"")));
    auto* ok = child<QPushButton>(&about, "cmdOk");
    EXPECT_EQ(ok->text(), QStringLiteral("&Ok"));
    about.show();
    ok->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

TEST(Miscellaneous, TargetsBecomeAddresses)
{
    const struct
    {
        const char* target;
        const char* url;
    } cases[] = {
        {"/opt/zqv/help/index.html", "file:///opt/zqv/help/index.html"},
        {"/a folder/50% #1.html", "file:///a folder/50%25 %231.html"},
        {"https://example.org/help", "https://example.org/help"},
        {"mailto:help@example.org", "mailto:help@example.org"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(documentUrl(QString::fromUtf8(c.target)), QString::fromUtf8(c.url)) << c.target;
}

TEST(Splash, LoadsTheMainWindowAndClosesOnItsFirstTick)
{
    QWidget mainWindow;
    int loads = 0;
    frmSplash splash([&] {
        ++loads;
        mainWindow.show();
    });
    EXPECT_EQ(child<QLabel>(&splash, "Label4")->text(), QStringLiteral("ZQV"));
    auto* timer = child<QTimer>(&splash, "Timer1");
    EXPECT_EQ(timer->interval(), 2500);
    splash.Form_Load();
    EXPECT_EQ(loads, 1);
    EXPECT_TRUE(splash.isVisible());
    EXPECT_TRUE(mainWindow.isVisible());
    QSignalSpy ticked(timer, &QTimer::timeout);
    ASSERT_TRUE(ticked.wait(10000));
    EXPECT_FALSE(splash.isVisible());
    EXPECT_TRUE(mainWindow.isVisible());
    EXPECT_EQ(loads, 1);
}

} // namespace
