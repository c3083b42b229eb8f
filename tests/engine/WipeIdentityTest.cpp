#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <atomic>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "DialogFixture.h"
#include "FrmDecrypt.h"
#include "FrmEncrypt.h"
#include "FrmSelfExtracting.h"
#include "FrmWipe.h"
#include "TempDir.h"
#include "WidgetHelpers.h"
#include "WipeFile.h"

using namespace engine;
using namespace testsupport;

namespace {

const std::string kRead(256 * 1024, 'r');
const std::string kNewSave = "an editor's new save under the same name";

// What another program does to the source while the operation runs.
enum class Mutation { ReplacedByRename, AppendedInPlace, Removed };

void mutate(const std::string& path, Mutation mutation)
{
    switch (mutation) {
    case Mutation::ReplacedByRename: {
        const std::string fresh = path + ".new";
        writeFile(fresh, kNewSave);
        ASSERT_EQ(::rename(fresh.c_str(), path.c_str()), 0);
        break;
    }
    case Mutation::AppendedInPlace: {
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "+", 1), 1);
        ::close(fd);
        break;
    }
    case Mutation::Removed:
        ASSERT_EQ(::unlink(path.c_str()), 0);
        break;
    }
}

std::string afterMutation(Mutation mutation)
{
    switch (mutation) {
    case Mutation::ReplacedByRename:
        return kNewSave;
    case Mutation::AppendedInPlace:
        return kRead + "+";
    case Mutation::Removed:
        break;
    }
    return {};
}

// When: while the cipher reads (from its progress report on the worker
// thread), or just before the wipe begins.
enum class When { DuringTheWork, JustBeforeTheWipe };

struct ChangeCase
{
    const char* name;
    Mutation mutation;
    When when;
};

class WipeAfterChangeTest : public enginetest::DialogFixture<FrmEncrypt>,
                            public ::testing::WithParamInterface<ChangeCase>
{
};

TEST_P(WipeAfterChangeTest, TheSourceIsWipedOnlyIfItIsStillTheFileThatWasRead)
{
    openOnNewFile("a.bin", kRead);
    const std::string source = dir.file("a.bin");
    std::atomic<bool> mutated = false;
    if (GetParam().when == When::DuringTheWork) {
        // Encrypting reads the source itself and reports through the tools.
        dialog->tools().progress = [&](int) {
            if (!mutated.exchange(true))
                mutate(source, GetParam().mutation);
        };
    } else {
        dialog->setWiper([&](const WipeTarget& target) {
            mutated = true;
            mutate(source, GetParam().mutation);
            return enginetest::buildLibraryWiper()(target);
        });
    }
    typePassword(QStringLiteral("pw"), QStringLiteral("pw"));
    QTest::mouseClick(dialog->chkWipe, Qt::LeftButton, {}, QPoint(5, dialog->chkWipe->height() / 2));
    ASSERT_TRUE(dialog->chkWipe->isChecked());
    QTest::mouseClick(dialog->cmdEncrypt, Qt::LeftButton);
    ASSERT_TRUE(mutated);

    EXPECT_FALSE(dialog->isVisible()) << "the new output is written and stays";
    EXPECT_TRUE(exists(dir.file("a.bin.zqv")));
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].parent, dialog.get());
    EXPECT_EQ(messenger.shown[0].icon, MessageIcon::Warning);
    EXPECT_EQ(messenger.shown[0].text,
              QLatin1String("The new file was written and kept, but ") + q(source) +
                  QLatin1String(" changed during the operation, so it was not wiped and was left as it is."));
    EXPECT_EQ(readFile(source), afterMutation(GetParam().mutation));
    EXPECT_EQ(listFolder(dir.path()), "a.bin a.bin.zqv") << "no renamed leftover of a sweep";
}

INSTANTIATE_TEST_SUITE_P(
    Changes,
    WipeAfterChangeTest,
    ::testing::Values(ChangeCase{"ReplacedWhileRead", Mutation::ReplacedByRename, When::DuringTheWork},
                      ChangeCase{"AppendedWhileRead", Mutation::AppendedInPlace, When::DuringTheWork},
                      ChangeCase{"ReplacedBeforeTheWipe", Mutation::ReplacedByRename, When::JustBeforeTheWipe},
                      ChangeCase{"AppendedBeforeTheWipe", Mutation::AppendedInPlace, When::JustBeforeTheWipe}),
    [](const ::testing::TestParamInfo<ChangeCase>& info) { return std::string(info.param.name); });

// The other two dialogs with the same box keep to the same rule.
TEST(WipeAfterChangeOtherTest, DecryptAndSelfExtractingLeaveAReplacedSourceAsItIs)
{
    for (const bool decrypt : {true, false}) {
        TempDir dir;
        RecordingMessenger messenger;
        const std::string source = dir.file(decrypt ? "r.zqv" : "r.doc");
        if (decrypt) {
            writeFile(dir.file("plain"), kRead);
            ASSERT_NO_FATAL_FAILURE(enginetest::makeEncrypted(dir.file("plain"), source, QStringLiteral("pw")));
            ASSERT_EQ(::unlink(dir.file("plain").c_str()), 0);
        } else {
            writeFile(source, kRead);
        }
        std::unique_ptr<OperationDialog> dialog;
        if (decrypt)
            dialog = std::make_unique<FrmDecrypt>(q(source), messenger);
        else
            dialog = std::make_unique<FrmSelfExtracting>(q(source), messenger);
        dialog->CryptoCtrl().setKdfParams(enginetest::kCheapKdf);
        dialog->CryptoCtrl().setStubPath(QString::fromLatin1(ZQVSFX_PATH));
        dialog->setWiper([&](const WipeTarget& target) {
            mutate(source, Mutation::ReplacedByRename);
            return enginetest::buildLibraryWiper()(target);
        });
        ASSERT_TRUE(dialog->load());
        dialog->show();
        QTest::keyClicks(dialog->txtPassword1, QStringLiteral("pw"));
        if (dialog->txtPassword2 != nullptr)
            QTest::keyClicks(dialog->txtPassword2, QStringLiteral("pw"));
        dialog->chkWipe->setChecked(true);
        QTest::mouseClick(
            dialog->findChild<QPushButton*>(decrypt ? QStringLiteral("cmdDecrypt") : QStringLiteral("cmdMake")),
            Qt::LeftButton);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(readFile(source), kNewSave) << decrypt;
        ASSERT_EQ(messenger.shown.size(), 1u) << decrypt;
        EXPECT_TRUE(messenger.shown[0].text.contains(QStringLiteral("changed during the operation")));
    }
}

TEST(WipeAfterChangeOtherTest, UnchangedSourceIsWipedThroughTheLibrary)
{
    TempDir dir;
    RecordingMessenger messenger;
    writeFile(dir.file("a"), kRead);
    FrmEncrypt dialog(q(dir.file("a")), messenger);
    dialog.CryptoCtrl().setKdfParams(enginetest::kCheapKdf);
    dialog.setWiper(enginetest::buildLibraryWiper());
    ASSERT_TRUE(dialog.load());
    dialog.show();
    QTest::keyClicks(dialog.txtPassword1, QStringLiteral("pw"));
    QTest::keyClicks(dialog.txtPassword2, QStringLiteral("pw"));
    dialog.chkWipe->setChecked(true);
    QTest::mouseClick(dialog.cmdEncrypt, Qt::LeftButton);
    EXPECT_TRUE(messenger.shown.empty());
    EXPECT_EQ(listFolder(dir.path()), "a.zqv");
}

class WipeListTest : public ::testing::Test
{
protected:
    std::unique_ptr<FrmWipe> open(const QString& operand)
    {
        auto dialog = std::make_unique<FrmWipe>(operand, messenger, enginetest::buildLibraryWiper());
        loaded = dialog->load();
        if (loaded)
            dialog->show();
        return dialog;
    }

    static QStringList rows(const FrmWipe& dialog)
    {
        auto* list = child<QTreeWidget>(&dialog, "lvFiles");
        QStringList texts;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            texts << list->topLevelItem(i)->text(0);
        return texts;
    }

    static void wipe(FrmWipe& dialog)
    {
        QSignalSpy finished(&dialog, &FrmWipe::wipeFinished);
        QTest::mouseClick(child<QPushButton>(&dialog, "cmdShred"), Qt::LeftButton);
        ASSERT_TRUE(finished.count() == 1 || finished.wait(20000));
    }

    TempDir dir;
    RecordingMessenger messenger;
    bool loaded = false;
};

TEST_F(WipeListTest, ARowReplacedOrChangedSinceItWasListedIsNotWipedAndTheDialogSaysSo)
{
    for (const char* name : {"replaced", "appended", "untouched"})
        writeFile(dir.file(name), kRead);
    auto dialog = open(QLatin1Char('?') + q(dir.file("replaced")) + QLatin1Char('?') + q(dir.file("appended")) +
                       QLatin1Char('?') + q(dir.file("untouched")));
    ASSERT_EQ(rows(*dialog).size(), 3);
    mutate(dir.file("replaced"), Mutation::ReplacedByRename);
    mutate(dir.file("appended"), Mutation::AppendedInPlace);
    wipe(*dialog);

    EXPECT_EQ(listFolder(dir.path()), "appended replaced");
    EXPECT_EQ(readFile(dir.file("replaced")), kNewSave);
    EXPECT_EQ(readFile(dir.file("appended")), kRead + "+");
    EXPECT_EQ(rows(*dialog), (QStringList{q(dir.file("replaced")), q(dir.file("appended"))}));
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].parent, dialog.get());
    EXPECT_EQ(messenger.shown[0].text,
              QLatin1String("These files were replaced or changed after they were listed, so they were not wiped "
                            "and were left as they are:\n\n") +
                  q(dir.file("replaced")) + QLatin1Char('\n') + q(dir.file("appended")));
}

// A '?' in a real name: the operand that names an existing file is that file,
// and a piece of a list that is not absolute is never taken from the working folder.
class QuestionMarkTest : public WipeListTest
{
protected:
    void SetUp() override
    {
        dir.write({{"docs/q?b", "the file the user chose"},
                   {"docs/q", "neighbour q"},
                   {"docs/b", "neighbour b"},
                   {"work/b", "b in the working folder"}});
        ASSERT_NE(::getcwd(m_previous, sizeof m_previous), nullptr);
        ASSERT_EQ(::chdir(dir.file("work").c_str()), 0);
    }
    void TearDown() override { ASSERT_EQ(::chdir(m_previous), 0); }

    char m_previous[4096] = {};
};

TEST_F(QuestionMarkTest, AnExistingFileNamedWithAQuestionMarkIsThatFileAlone)
{
    auto dialog = open(q(dir.file("docs/q?b")));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(rows(*dialog), QStringList{q(dir.file("docs/q?b"))});
    wipe(*dialog);
    EXPECT_EQ(listFolder(dir.file("docs")), "b q");
    EXPECT_EQ(readFile(dir.file("docs/q")), "neighbour q");
    EXPECT_EQ(readFile(dir.file("docs/b")), "neighbour b");
    EXPECT_EQ(readFile(dir.file("work/b")), "b in the working folder");
    EXPECT_TRUE(messenger.shown.empty());
}

TEST_F(QuestionMarkTest, ARelativePieceOfAListIsRefusedAndNeverTakenFromTheWorkingFolder)
{
    // What a caller that split nothing would hand over for that file.
    auto dialog = open(QLatin1Char('?') + q(dir.file("docs/q?b")));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(rows(*dialog), QStringList{q(dir.file("docs/q"))});
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].icon, MessageIcon::Warning);
    EXPECT_EQ(messenger.shown[0].text,
              QStringLiteral("These entries of the list are not complete paths from the root folder, so they were "
                             "left out and will not be wiped:\n\nb"));
    messenger.shown.clear();
    wipe(*dialog);
    EXPECT_EQ(readFile(dir.file("work/b")), "b in the working folder");
    EXPECT_EQ(readFile(dir.file("docs/b")), "neighbour b");
    EXPECT_EQ(readFile(dir.file("docs/q?b")), "the file the user chose");
}

TEST(WipePathListTest, FormsOfTheOperand)
{
    TempDir dir;
    writeFile(dir.file("x?y"), "x");
    const QString existing = q(dir.file("x?y"));
    struct Row
    {
        QString operand;
        QStringList paths;
        QStringList refused;
    };
    const Row rows[] = {
        {QStringLiteral("/a"), {QStringLiteral("/a")}, {}},
        {QStringLiteral("rel"), {QStringLiteral("rel")}, {}},
        {existing, {existing}, {}},
        {QStringLiteral("?/a?/b"), {QStringLiteral("/a"), QStringLiteral("/b")}, {}},
        {QStringLiteral("ignored?/a"), {QStringLiteral("/a")}, {}},
        {QStringLiteral("?/a??b?"), {QStringLiteral("/a")}, {QStringLiteral("b")}},
        {QStringLiteral("?rel?./x?/c"), {QStringLiteral("/c")}, {QStringLiteral("rel"), QStringLiteral("./x")}},
    };
    for (const Row& row : rows) {
        const FrmWipe::PathListing listing = FrmWipe::listPaths(row.operand);
        EXPECT_EQ(listing.paths, row.paths) << row.operand.toStdString();
        EXPECT_EQ(listing.refused, row.refused) << row.operand.toStdString();
    }
}

} // namespace
