#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DialogFixture.h"
#include "FrmWipe.h"
#include "PathElide.h"
#include "RecordingMessenger.h"
#include "TempDir.h"
#include "WidgetHelpers.h"
#include "WipeFile.h"

using namespace engine;
using namespace testsupport;

namespace {

void makeSized(const std::string& path, off_t size)
{
    writeFile(path, "");
    ASSERT_EQ(::truncate(path.c_str(), size), 0);
}

class WipeDialogTest : public ::testing::Test
{
protected:
    // Deletes the file the plain way and remembers the order of the calls.
    FrmWipe::Wiper recordingWiper()
    {
        return [this](const WipeTarget& target) {
            const QString& path = target.path;
            calls.push_back(path);
            if (refuse.contains(path))
                return WipeResult::NotWiped;
            return ::unlink(path.toStdString().c_str()) == 0 ? WipeResult::Wiped : WipeResult::NotWiped;
        };
    }

    std::unique_ptr<FrmWipe> open(const QString& operand, FrmWipe::Wiper wiper)
    {
        auto dialog = std::make_unique<FrmWipe>(operand, messenger, std::move(wiper));
        loaded = dialog->load();
        if (loaded)
            dialog->show();
        return dialog;
    }

    QStringList rows(const FrmWipe& dialog, int column = 0) const
    {
        auto* list = child<QTreeWidget>(&dialog, "lvFiles");
        QStringList texts;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            texts << list->topLevelItem(i)->text(column);
        return texts;
    }

    void wipe(FrmWipe& dialog)
    {
        QSignalSpy finished(&dialog, &FrmWipe::wipeFinished);
        QTest::mouseClick(child<QPushButton>(&dialog, "cmdShred"), Qt::LeftButton);
        ASSERT_TRUE(finished.count() == 1 || finished.wait(20000));
    }

    TempDir dir;
    RecordingMessenger messenger;
    std::vector<QString> calls;
    QStringList refuse;
    bool loaded = false;
};

TEST_F(WipeDialogTest, ShowsTheControlsTheUserExpects)
{
    writeFile(dir.file("a.txt"), "x");
    auto dialog = open(q(dir.file("a.txt")), recordingWiper());
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("ZQV - Wipe"));
    EXPECT_EQ(child<QPushButton>(dialog.get(), "cmdShred")->text(), QStringLiteral("&Wipe"));
    EXPECT_EQ(child<QPushButton>(dialog.get(), "cmdClose")->text(), QStringLiteral("&Close"));
    EXPECT_EQ(child<QLabel>(dialog.get(), "lblWarning")->text(), QStringLiteral("Wiped files are not recoverable."));
    auto* header = child<QTreeWidget>(dialog.get(), "lvFiles")->headerItem();
    EXPECT_EQ(header->text(0), QStringLiteral("File"));
    EXPECT_EQ(header->text(1), QStringLiteral("Size"));
}

TEST_F(WipeDialogTest, ListFormSkipsFoldersAndWipesTheRestInOrder)
{
    writeFile(dir.file("a.txt"), "aaaa");
    writeFile(dir.file("b.txt"), "bb");
    ASSERT_EQ(::mkdir(dir.file("Temp").c_str(), 0700), 0);
    const QString operand = QLatin1Char('?') + q(dir.file("a.txt")) + QLatin1Char('?') + q(dir.file("Temp")) +
                            QLatin1Char('?') + q(dir.file("b.txt")) + QLatin1Char('?');
    auto dialog = open(operand, recordingWiper());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(rows(*dialog), QStringList({q(dir.file("a.txt")), q(dir.file("b.txt"))}));

    wipe(*dialog);
    EXPECT_EQ(calls, (std::vector<QString>{q(dir.file("a.txt")), q(dir.file("b.txt"))}));
    EXPECT_TRUE(rows(*dialog).isEmpty());
    EXPECT_FALSE(dialog->isVisible()) << "the dialog unloads when every file is gone";
    EXPECT_TRUE(messenger.shown.empty());
    EXPECT_EQ(listFolder(dir.path()), "Temp");
}

TEST_F(WipeDialogTest, PieceBeforeTheFirstQuestionMarkIsIgnored)
{
    writeFile(dir.file("a.txt"), "a");
    writeFile(dir.file("b.txt"), "b");
    auto dialog = open(q(dir.file("a.txt")) + QLatin1Char('?') + q(dir.file("b.txt")), recordingWiper());
    EXPECT_EQ(rows(*dialog), QStringList{q(dir.file("b.txt"))});
    wipe(*dialog);
    EXPECT_EQ(listFolder(dir.path()), "a.txt");
}

TEST_F(WipeDialogTest, SizesAreShownInTheSizeColumn)
{
    const std::vector<std::pair<off_t, QString>> sizes = {{0, QStringLiteral("0 kb")},
                                                          {1536, QStringLiteral("1.5 kb")},
                                                          {1048576, QStringLiteral("1024 kb")},
                                                          {1048577, QStringLiteral("1 mb")},
                                                          {5000000, QStringLiteral("4.77 mb")},
                                                          {3LL << 30, QStringLiteral("3072 mb")}};
    QString operand;
    QStringList expected;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        // Appended, not concatenated: GCC 12 reports a false -Wrestrict for "f" + string at -O3.
        const std::string path = dir.file(std::string("f").append(std::to_string(i)));
        makeSized(path, sizes[i].first);
        operand += QLatin1Char('?') + q(path);
        expected << sizes[i].second;
    }
    const QLocale saved;
    QLocale::setDefault(QLocale::c());
    auto dialog = open(operand, recordingWiper());
    QLocale::setDefault(saved);
    EXPECT_EQ(rows(*dialog, 1), expected);
}

TEST_F(WipeDialogTest, SingleFormIsWipedThroughTheLibrary)
{
    writeFile(dir.file("secret.txt"), std::string(100000, 's'));
    auto dialog = open(q(dir.file("secret.txt")), WipeFile);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(rows(*dialog), QStringList{q(dir.file("secret.txt"))});
    wipe(*dialog);
    EXPECT_EQ(listFolder(dir.path()), "");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(messenger.shown.empty());
}

TEST_F(WipeDialogTest, CloseWipesNothing)
{
    writeFile(dir.file("a.txt"), "a");
    auto dialog = open(QLatin1Char('?') + q(dir.file("a.txt")), recordingWiper());
    QTest::mouseClick(child<QPushButton>(dialog.get(), "cmdClose"), Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(readFile(dir.file("a.txt")), "a");
}

TEST_F(WipeDialogTest, FilesThatChangedSinceLoadArePassedOver)
{
    dir.write({{"gone.txt", "g"}, {"now-folder", "f"}, {"ok.txt", "o"}});
    auto dialog = open(QLatin1Char('?') + q(dir.file("gone.txt")) + QLatin1Char('?') + q(dir.file("now-folder")) +
                           QLatin1Char('?') + q(dir.file("ok.txt")),
                       recordingWiper());
    ASSERT_EQ(rows(*dialog).size(), 3);
    ASSERT_EQ(::unlink(dir.file("gone.txt").c_str()), 0);
    ASSERT_EQ(::unlink(dir.file("now-folder").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("now-folder").c_str(), 0700), 0);

    wipe(*dialog);
    EXPECT_EQ(calls, std::vector<QString>{q(dir.file("ok.txt"))});
    EXPECT_EQ(rows(*dialog), QStringList{q(dir.file("now-folder"))});
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_TRUE(messenger.shown[0].text.contains(q(dir.file("now-folder"))));
}

TEST_F(WipeDialogTest, FileThatCannotBeWipedKeepsItsRowAndIsReported)
{
    writeFile(dir.file("a.txt"), "a");
    writeFile(dir.file("b.txt"), "b");
    refuse << q(dir.file("a.txt"));
    auto dialog =
        open(QLatin1Char('?') + q(dir.file("a.txt")) + QLatin1Char('?') + q(dir.file("b.txt")), recordingWiper());
    wipe(*dialog);
    EXPECT_EQ(rows(*dialog), QStringList{q(dir.file("a.txt"))});
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].title, QStringLiteral("ZQVEngine"));
    EXPECT_EQ(messenger.shown[0].text,
              QStringLiteral("These files could not be wiped and are still on the disk:\n\n") + q(dir.file("a.txt")));
    EXPECT_EQ(listFolder(dir.path()), "a.txt");
}

TEST_F(WipeDialogTest, ImmutableFileIsReportedThroughTheRealLibrary)
{
    writeFile(dir.file("locked.txt"), "precious");
    if (!run("chattr +i '" + dir.file("locked.txt") + "'"))
        GTEST_SKIP() << "chattr +i is not available here";
    auto dialog = open(q(dir.file("locked.txt")), WipeFile);
    wipe(*dialog);
    ASSERT_TRUE(run("chattr -i '" + dir.file("locked.txt") + "'"));
    EXPECT_EQ(readFile(dir.file("locked.txt")), "precious");
    EXPECT_EQ(rows(*dialog).size(), 1);
    EXPECT_EQ(messenger.shown.size(), 1u);
}

TEST_F(WipeDialogTest, MissingLibraryIsReportedAndNothingIsWiped)
{
    writeFile(dir.file("a.txt"), "a");
    ShredLibrary missing(q(dir.file("no-such-library.so")));
    auto dialog = open(QLatin1Char('?') + q(dir.file("a.txt")),
                       [&missing](const WipeTarget& target) { return missing.wipe(target); });
    wipe(*dialog);
    EXPECT_EQ(readFile(dir.file("a.txt")), "a");
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].icon, MessageIcon::Critical);
    EXPECT_TRUE(messenger.shown[0].text.contains(QStringLiteral("could not be loaded")));
}

TEST_F(WipeDialogTest, SingleFormThatCannotBeReadEndsWithAMessage)
{
    auto dialog = open(q(dir.file("missing.txt")), recordingWiper());
    EXPECT_FALSE(loaded);
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_TRUE(messenger.shown[0].text.contains(q(dir.file("missing.txt"))));
}

TEST_F(WipeDialogTest, SingleFormFolderShowsNoSizeAndIsNeverWiped)
{
    ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0700), 0);
    writeFile(dir.file("sub/inner.txt"), "inner");
    auto dialog = open(q(dir.file("sub")), recordingWiper());
    ASSERT_TRUE(loaded);
    EXPECT_EQ(rows(*dialog, 1), QStringList{QString()});
    wipe(*dialog);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(readFile(dir.file("sub/inner.txt")), "inner");
    EXPECT_TRUE(dialog->isVisible());
}

TEST(WipeFileTest, NameWithWildcardsIsWipedAloneAndNeverTakesItsNeighbours)
{
    TempDir dir;
    dir.write(
        {{"a*.txt", "literal"}, {"a?c.txt", "literal too"}, {"abc.txt", "neighbour"}, {"a1.txt", "neighbour too"}});
    ShredLibrary library(QString::fromLatin1(ZQVDOD_LIBRARY_PATH));
    EXPECT_EQ(library.wipe(q(dir.file("a*.txt"))), WipeResult::Wiped);
    EXPECT_EQ(library.wipe(q(dir.file("a?c.txt"))), WipeResult::Wiped);
    EXPECT_EQ(listFolder(dir.path()), "a1.txt abc.txt");
    EXPECT_EQ(readFile(dir.file("abc.txt")), "neighbour");
    EXPECT_EQ(readFile(dir.file("a1.txt")), "neighbour too");

    // Gone before the wipe: nothing else is touched, and it says so.
    EXPECT_EQ(library.wipe(q(dir.file("a*.txt"))), WipeResult::Gone);
    EXPECT_EQ(listFolder(dir.path()), "a1.txt abc.txt");
}

TEST(WipeFileTest, NameWithWildcardsThatCannotBeRemovedKeepsItsContent)
{
    TempDir dir;
    writeFile(dir.file("a*.txt"), "literal");
    if (!run("chattr +i '" + dir.file("a*.txt") + "' 2>/dev/null"))
        GTEST_SKIP() << "this file system has no immutable files";
    ShredLibrary library(QString::fromLatin1(ZQVDOD_LIBRARY_PATH));
    const WipeResult result = library.wipe(q(dir.file("a*.txt")));
    ASSERT_TRUE(run("chattr -i '" + dir.file("a*.txt") + "'"));
    EXPECT_EQ(result, WipeResult::NotWiped);
    EXPECT_EQ(readFile(dir.file("a*.txt")), "literal");
}

} // namespace

namespace {

TEST_F(WipeDialogTest, ThreeOutcomesAreToldApartThroughTheRealLibrary)
{
    writeFile(dir.file("plain.txt"), "plain");
    writeFile(dir.file("linked.txt"), "linked");
    ASSERT_EQ(::link(dir.file("linked.txt").c_str(), dir.file("other name").c_str()), 0);
    writeFile(dir.file("locked.txt"), "locked");
    const bool canLock = run("chattr +i '" + dir.file("locked.txt") + "'");
    auto dialog = open(QLatin1Char('?') + q(dir.file("plain.txt")) + QLatin1Char('?') + q(dir.file("linked.txt")) +
                           QLatin1Char('?') + q(dir.file("locked.txt")),
                       enginetest::buildLibraryWiper());
    wipe(*dialog);
    if (canLock) {
        ASSERT_TRUE(run("chattr -i '" + dir.file("locked.txt") + "'"));
    }

    EXPECT_EQ(listFolder(dir.path()), canLock ? "locked.txt other name" : "other name");
    EXPECT_EQ(readFile(dir.file("other name")), "linked") << "the other name keeps its content";
    EXPECT_EQ(rows(*dialog), canLock ? QStringList{q(dir.file("locked.txt"))} : QStringList());
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].parent, dialog.get());
    QString expected = q(dir.file("linked.txt")) +
                       QLatin1String(" was removed, but its content could not be overwritten where it lies, because "
                                     "the file has other names (hard links) that still show its content. See \"What "
                                     "wiping does, and what it cannot promise\" in the help.");
    if (canLock) {
        expected += QLatin1String("\n\nThese files could not be wiped and are still on the disk:\n\n") +
                    q(dir.file("locked.txt"));
    }
    EXPECT_EQ(messenger.shown[0].text, expected);
    EXPECT_FALSE(messenger.shown[0].text.contains(q(dir.file("plain.txt"))));
}

TEST(WipeFileTest, PathThatNamesNothingIsGoneNotRemoved)
{
    TempDir dir;
    ShredLibrary library(QString::fromLatin1(ZQVDOD_LIBRARY_PATH));
    EXPECT_EQ(library.wipe(q(dir.file("never-there"))), WipeResult::Gone);
}

TEST_F(WipeDialogTest, LongPathsKeepTheirFileNameAndShowTheWholePathAsTip)
{
    const std::string deep = dir.file(std::string(60, 'd') + "/" + std::string(60, 'e'));
    ASSERT_TRUE(run("mkdir -p '" + deep + "'"));
    writeFile(deep + "/the name.txt", "x");
    auto dialog = open(q(deep + "/the name.txt"), recordingWiper());
    auto* list = child<QTreeWidget>(dialog.get(), "lvFiles");
    EXPECT_EQ(list->topLevelItem(0)->toolTip(0), q(deep + "/the name.txt"));

    const QFontMetrics metrics(list->font());
    const QString path = q(deep + "/the name.txt");
    for (const int width : {80, 200, 400}) {
        const QString shown = elidePathKeepingName(path, metrics, width);
        EXPECT_TRUE(shown.endsWith(QStringLiteral("/the name.txt"))) << shown.toStdString();
        EXPECT_LT(shown.size(), path.size());
        EXPECT_TRUE(shown.contains(QChar(0x2026)));
    }
    EXPECT_EQ(elidePathKeepingName(path, metrics, metrics.horizontalAdvance(path)), path);
}

} // namespace
