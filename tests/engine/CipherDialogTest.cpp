#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Crypto.h"
#include "CryptoModule.h"
#include "DialogFixture.h"
#include "FrmDecrypt.h"
#include "FrmEncrypt.h"
#include "RecordingMessenger.h"
#include "TempDir.h"
#include "WidgetHelpers.h"

using namespace engine;
using namespace testsupport;

namespace {

using enginetest::kCheapKdf;

std::string decrypted(const std::string& sealedPath, const QString& password, const std::string& outPath)
{
    zqvcrypto::Crypto control;
    bool success = false;
    control.DeriveKey(password, 1, 256)->DecryptFile(q(sealedPath), q(outPath), success);
    return success ? readFile(outPath) : std::string("<failed>");
}

class EncryptDialogTest : public enginetest::DialogFixture<FrmEncrypt>
{
protected:
    void SetUp() override { openOnNewFile("a", "plain content"); }

    void type(const QString& one, const QString& two) { typePassword(one, two); }

    void clickEncrypt() { QTest::mouseClick(dialog->cmdEncrypt, Qt::LeftButton); }
};

TEST_F(EncryptDialogTest, LoadProposesTheOutputName)
{
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("ZQV - Encrypt File"));
    EXPECT_EQ(dialog->txtFileName->text(), q(dir.file("a")));
    EXPECT_TRUE(dialog->txtFileName->isReadOnly());
    EXPECT_EQ(dialog->txtOutput->text(), q(dir.file("a.zqv")));
    EXPECT_EQ(dialog->txtPassword1->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog->txtPassword2->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(dialog->chkWipe->isChecked());
    EXPECT_EQ(dialog->chkWipe->text(), QStringLiteral("Wipe original file after encrypting"));
    EXPECT_TRUE(dialog->ProgressBar1->isHidden());
    for (const char* name : {"txtPassword1",
                             "txtPassword2",
                             "txtFileName",
                             "txtOutput",
                             "cmdBrowse",
                             "chkWipe",
                             "cmdEncrypt",
                             "cmdClose",
                             "ProgressBar1"})
        EXPECT_NE(dialog->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
}

struct CheckCase
{
    const char* name;
    const char* password1;
    const char* password2;
    const char* outputName;
    const char* title;
    const char* text;
    const char* focus;
};

class EncryptChecksTest : public EncryptDialogTest, public ::testing::WithParamInterface<CheckCase>
{
};

TEST_P(EncryptChecksTest, FirstFailingCheckSpeaks)
{
    const CheckCase& c = GetParam();
    dialog->txtOutput->setText(q(dir.file(c.outputName)));
    type(QString::fromUtf8(c.password1), QString::fromUtf8(c.password2));
    clickEncrypt(); // the focus is on the button from here on, unless a check moves it
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].title, QString::fromLatin1(c.title));
    EXPECT_EQ(messenger.shown[0].text, QString::fromLatin1(c.text));
    EXPECT_EQ(messenger.shown[0].icon, MessageIcon::Critical);
    EXPECT_EQ(dialog->focusWidget()->objectName(), QString::fromLatin1(c.focus));
    EXPECT_EQ(listFolder(dir.path()), "a");
    EXPECT_TRUE(dialog->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Order,
    EncryptChecksTest,
    ::testing::Values(
        CheckCase{"EmptyPasswordFirst", "", "", "a.txt", "ZQV", "Please enter a password.", "txtPassword1"},
        CheckCase{"UpperCaseExtension",
                  "pw",
                  "pw",
                  "a.ZQV",
                  "ZQVEngine",
                  "The encrypted file must have .zqv as the file extension.",
                  "txtOutput"},
        CheckCase{"ExtensionBeforeMismatch",
                  "pw",
                  "other",
                  "a.txt",
                  "ZQVEngine",
                  "The encrypted file must have .zqv as the file extension.",
                  "txtOutput"},
        CheckCase{"Mismatch", "pw", "other", "a.zqv", "Password", "The passwords entered do not match.", "cmdEncrypt"},
        CheckCase{"CaseMatters", "Pw", "pw", "a.zqv", "Password", "The passwords entered do not match.", "cmdEncrypt"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EncryptDialogTest, BlanksOnlyPasswordEncryptsAndTheOriginalStays)
{
    type(QStringLiteral("   "), QStringLiteral("   "));
    clickEncrypt();
    EXPECT_TRUE(messenger.shown.empty());
    EXPECT_FALSE(dialog->isVisible()) << "success unloads the dialog";
    EXPECT_FALSE(dialog->ProgressBar1->isHidden());
    EXPECT_EQ(dialog->ProgressBar1->value(), 100);
    EXPECT_EQ(listFolder(dir.path()), "a a.zqv");
    EXPECT_EQ(decrypted(dir.file("a.zqv"), QStringLiteral("   "), dir.file("check")), "plain content");
}

TEST_F(EncryptDialogTest, WipeAfterEncryptingRemovesTheOriginal)
{
    type(QStringLiteral("pw"), QStringLiteral("pw"));
    clickIndicator(dialog->chkWipe);
    ASSERT_TRUE(dialog->chkWipe->isChecked());
    clickEncrypt();
    EXPECT_TRUE(messenger.shown.empty());
    EXPECT_EQ(listFolder(dir.path()), "a.zqv");
    EXPECT_EQ(decrypted(dir.file("a.zqv"), QStringLiteral("pw"), dir.file("check")), "plain content");
}

TEST_F(EncryptDialogTest, FailureShowsBothMessagesAndKeepsEverything)
{
    dialog->txtOutput->setText(q(dir.file("missing-folder/a.zqv")));
    type(QStringLiteral("pw"), QStringLiteral("pw"));
    clickIndicator(dialog->chkWipe);
    clickEncrypt();
    ASSERT_EQ(messenger.shown.size(), 2u);
    EXPECT_EQ(messenger.shown[0].title, QStringLiteral("ZQVEngine"));
    EXPECT_EQ(messenger.shown[0].text, QStringLiteral("The file was could not be encrypted."));
    EXPECT_FALSE(messenger.shown[0].detail.isEmpty());
    EXPECT_EQ(messenger.shown[1].title, QStringLiteral("ZQV"));
    EXPECT_EQ(messenger.shown[1].text, QStringLiteral("The file could not be encrypted."));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->txtPassword1->text(), QStringLiteral("pw"));
    EXPECT_TRUE(dialog->chkWipe->isChecked());
    EXPECT_TRUE(dialog->cmdEncrypt->isEnabled());
    EXPECT_EQ(readFile(dir.file("a")), "plain content");
}

TEST_F(EncryptDialogTest, OutputThatIsTheSourceItselfIsRefused)
{
    ASSERT_EQ(::symlink(dir.file("a").c_str(), dir.file("link.zqv").c_str()), 0);
    dialog->txtOutput->setText(q(dir.file("link.zqv")));
    messenger.answer = true;
    type(QStringLiteral("pw"), QStringLiteral("pw"));
    clickEncrypt();
    ASSERT_EQ(messenger.shown.size(), 3u); // the replace question, then both failure messages
    EXPECT_EQ(messenger.shown[1].detail, zqvcrypto::describe(zqvcrypto::CryptoError::SameFile));
    EXPECT_EQ(readFile(dir.file("a")), "plain content");
}

TEST_F(EncryptDialogTest, ExistingOutputIsReplacedOnlyWhenTheUserAgrees)
{
    writeFile(dir.file("a.zqv"), "older file");
    type(QStringLiteral("pw"), QStringLiteral("pw"));
    messenger.answer = false;
    clickEncrypt();
    ASSERT_EQ(messenger.questions.size(), 1u);
    EXPECT_EQ(messenger.questions[0],
              QLatin1String("The file ") + q(dir.file("a.zqv")) +
                  QLatin1String(" already exists. Do you want to replace it?"));
    EXPECT_EQ(readFile(dir.file("a.zqv")), "older file");
    EXPECT_TRUE(dialog->isVisible());

    messenger.answer = true;
    clickEncrypt();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(decrypted(dir.file("a.zqv"), QStringLiteral("pw"), dir.file("check")), "plain content");
}

TEST_F(EncryptDialogTest, BrowseUsesTheFilterAndCancelChangesNothing)
{
    const QString before = dialog->txtOutput->text();
    QTest::mouseClick(dialog->cmdBrowse, Qt::LeftButton);
    ASSERT_EQ(messenger.saveDialogs.size(), 1u);
    EXPECT_EQ(messenger.saveDialogs[0].title, QStringLiteral("Select File"));
    EXPECT_EQ(messenger.saveDialogs[0].filter, QStringLiteral("Encrypted File (*.zqv)"));
    EXPECT_EQ(dialog->txtOutput->text(), before);
    messenger.chosenFile = q(dir.file("chosen.zqv"));
    QTest::mouseClick(dialog->cmdBrowse, Qt::LeftButton);
    EXPECT_EQ(dialog->txtOutput->text(), q(dir.file("chosen.zqv")));
}

class DecryptDialogTest : public enginetest::DialogFixture<FrmDecrypt>
{
protected:
    void SetUp() override
    {
        writeFile(dir.file("report.txt"), "the report");
        ASSERT_NO_FATAL_FAILURE(
            enginetest::makeEncrypted(dir.file("report.txt"), dir.file("report.txt.zqv"), QStringLiteral("secret")));
        ASSERT_EQ(::unlink(dir.file("report.txt").c_str()), 0);
        open(dir.file("report.txt.zqv"));
        ASSERT_TRUE(loaded);
    }

    void attempt(const QString& password)
    {
        dialog->txtPassword->clear();
        QTest::keyClicks(dialog->txtPassword, password);
        QTest::mouseClick(dialog->cmdDecrypt, Qt::LeftButton);
    }
};

TEST_F(DecryptDialogTest, LoadDropsTheExtension)
{
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("ZQV - Decrypt File"));
    EXPECT_EQ(dialog->txtOutput->text(), q(dir.file("report.txt")));
    EXPECT_EQ(dialog->chkWipe->text(), QStringLiteral("Wipe encrypted file after decrypting"));
    EXPECT_TRUE(dialog->ProgressBar1->isHidden());
}

TEST_F(DecryptDialogTest, WrongPasswordIsReportedOnceAndAnotherTryWorks)
{
    clickIndicator(dialog->chkWipe);
    attempt(QString());
    attempt(QStringLiteral("Secret"));
    ASSERT_EQ(messenger.shown.size(), 2u);
    for (const auto& shown : messenger.shown) {
        EXPECT_EQ(shown.title, QStringLiteral("ZQVEngine"));
        EXPECT_EQ(shown.text, QStringLiteral("The file was not decrypted. Make sure the password entered is correct."));
        EXPECT_TRUE(shown.detail.isEmpty());
    }
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->txtPassword->text(), QStringLiteral("Secret"));
    EXPECT_TRUE(dialog->chkWipe->isChecked());
    EXPECT_EQ(listFolder(dir.path()), "report.txt.zqv");

    attempt(QStringLiteral("secret"));
    EXPECT_EQ(messenger.shown.size(), 2u);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(listFolder(dir.path()), "report.txt") << "the encrypted file is wiped after success";
    EXPECT_EQ(readFile(dir.file("report.txt")), "the report");
}

TEST_F(DecryptDialogTest, AnyOutputNameWorksAndTheEncryptedFileStaysUnlessWiped)
{
    dialog->txtOutput->setText(q(dir.file("other name.bin")));
    attempt(QStringLiteral("secret"));
    EXPECT_TRUE(messenger.shown.empty());
    EXPECT_EQ(listFolder(dir.path()), "other name.bin report.txt.zqv");
}

TEST_F(DecryptDialogTest, DamagedFileNamesTheReason)
{
    std::string sealed = readFile(dir.file("report.txt.zqv"));
    sealed.back() ^= 1;
    writeFile(dir.file("report.txt.zqv"), sealed);
    attempt(QStringLiteral("secret"));
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].detail, zqvcrypto::describe(zqvcrypto::CryptoError::Damaged));
    EXPECT_EQ(listFolder(dir.path()), "report.txt.zqv");
}

TEST_F(DecryptDialogTest, BrowseOffersNoFilter)
{
    QTest::mouseClick(dialog->cmdBrowse, Qt::LeftButton);
    ASSERT_EQ(messenger.saveDialogs.size(), 1u);
    EXPECT_TRUE(messenger.saveDialogs[0].filter.isEmpty());
    EXPECT_EQ(dialog->txtOutput->text(), q(dir.file("report.txt")));
}

} // namespace

namespace {

TEST_F(EncryptDialogTest, WipeBoxTickedDuringTheWorkChangesNothing)
{
    // A costly key derivation keeps the work running long enough to click.
    dialog->CryptoCtrl().setKdfParams({32u * 1024, 2, 1});
    type(QStringLiteral("pw"), QStringLiteral("pw"));
    bool clickedWhileBusy = false;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (dialog->isBusy() && !clickedWhileBusy) {
            clickIndicator(dialog->chkWipe);
            clickedWhileBusy = true;
        }
    });
    poll.start();
    clickEncrypt();
    poll.stop();
    ASSERT_TRUE(clickedWhileBusy);
    EXPECT_FALSE(dialog->chkWipe->isChecked());
    EXPECT_EQ(listFolder(dir.path()), "a a.zqv") << "the source stays: the box was not ticked when Encrypt was pressed";
}

TEST_F(EncryptDialogTest, WipeRunsThroughTheRunnerOffTheInterfaceThread)
{
    std::vector<bool> onWorker;
    dialog->setWiper([&onWorker](const WipeTarget& target) {
        onWorker.push_back(QThread::currentThread() != QCoreApplication::instance()->thread());
        return ::unlink(target.path.toStdString().c_str()) == 0 ? WipeResult::Wiped : WipeResult::NotWiped;
    });
    type(QStringLiteral("pw"), QStringLiteral("pw"));
    clickIndicator(dialog->chkWipe);
    clickEncrypt();
    EXPECT_EQ(onWorker, std::vector<bool>{true});
    EXPECT_EQ(listFolder(dir.path()), "a.zqv");
}

TEST(WipeAfterSuccessTest, NoReadBackNoWipe)
{
    TempDir dir;
    writeFile(dir.file("source"), "only copy");
    RecordingMessenger messenger;
    zqvcrypto::Crypto crypto;
    zqvgui::WorkRunner runner;
    int wipes = 0;
    OperationTools tools{crypto, runner, messenger, nullptr, [&wipes](const WipeTarget&) {
                             ++wipes;
                             return WipeResult::Wiped;
                         }};
    WipeTarget source;
    ASSERT_TRUE(targetOf(q(dir.file("source")), source));
    for (const CipherOutcome outcome : {CipherOutcome{true, false}, CipherOutcome{false, false}}) {
        EXPECT_EQ(wipeAfterSuccess(tools, source, outcome), WipeResult::NotWiped);
    }
    EXPECT_EQ(wipes, 0);
    EXPECT_EQ(readFile(dir.file("source")), "only copy");
    EXPECT_EQ(messenger.shown.size(), 2u);
    EXPECT_EQ(wipeAfterSuccess(tools, source, CipherOutcome{true, true}), WipeResult::Wiped);
    EXPECT_EQ(wipes, 1);
}

// The three outcomes of a wipe after success, through the real library.
struct WipeOutcomeCase
{
    const char* name;
    std::function<bool(const TempDir&)> prepare; // false: not possible here
    const char* listing;                         // the folder afterwards
    const char* says;                            // part of the one message; empty for none
};

class WipeAfterEncryptTest : public EncryptDialogTest, public ::testing::WithParamInterface<WipeOutcomeCase>
{
};

TEST_P(WipeAfterEncryptTest, TellsWhatBecameOfTheSource)
{
    const WipeOutcomeCase& c = GetParam();
    if (!c.prepare(dir))
        GTEST_SKIP() << "not possible on this system";
    type(QStringLiteral("pw"), QStringLiteral("pw"));
    clickIndicator(dialog->chkWipe);
    clickEncrypt();
    static_cast<void>(run("chattr -i '" + dir.file("a") + "' 2>/dev/null"));
    EXPECT_EQ(listFolder(dir.path()), c.listing);
    EXPECT_FALSE(dialog->isVisible());
    if (*c.says == '\0') {
        EXPECT_TRUE(messenger.shown.empty());
        return;
    }
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].icon, MessageIcon::Warning);
    EXPECT_TRUE(messenger.shown[0].text.contains(QString::fromLatin1(c.says))) << messenger.shown[0].text.toStdString();
    EXPECT_EQ(messenger.shown[0].parent, dialog.get());
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes,
    WipeAfterEncryptTest,
    ::testing::Values(
        WipeOutcomeCase{"Wiped", [](const TempDir&) { return true; }, "a.zqv", ""},
        WipeOutcomeCase{"OtherHardLink",
                        [](const TempDir& d) { return ::link(d.file("a").c_str(), d.file("other name").c_str()) == 0; },
                        "a.zqv other name",
                        "was removed, but its content could not be overwritten where it lies, because the file has "
                        "other names (hard links)"},
        WipeOutcomeCase{"CannotBeRemoved",
                        [](const TempDir& d) { return run("chattr +i '" + d.file("a") + "' 2>/dev/null"); },
                        "a a.zqv",
                        "could not be wiped and is still on the disk"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DecryptDialogTest, PasswordIsCheckedBeforeTheReplaceQuestionWhichIsAskedOnce)
{
    writeFile(dir.file("report.txt"), "an older report");
    attempt(QStringLiteral("wrong"));
    EXPECT_TRUE(messenger.questions.empty()) << "no question for a password that cannot open the file";
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].text,
              QStringLiteral("The file was not decrypted. Make sure the password entered is correct."));
    EXPECT_EQ(dialog->focusWidget(), dialog->txtPassword);
    EXPECT_EQ(dialog->txtPassword->selectedText(), QStringLiteral("wrong")) << "the next attempt replaces it";

    // Agreed once: a failure after the question does not ask again.
    const std::string sealed = readFile(dir.file("report.txt.zqv"));
    std::string damaged = sealed;
    damaged.back() ^= 1;
    writeFile(dir.file("report.txt.zqv"), damaged);
    messenger.answer = true;
    attempt(QStringLiteral("secret"));
    ASSERT_EQ(messenger.questions.size(), 1u);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(readFile(dir.file("report.txt")), "an older report");
    writeFile(dir.file("report.txt.zqv"), sealed);
    attempt(QStringLiteral("secret"));
    EXPECT_EQ(messenger.questions.size(), 1u);
    EXPECT_EQ(readFile(dir.file("report.txt")), "the report");
    EXPECT_FALSE(dialog->isVisible());
}

struct BrowseCase
{
    const char* name;
    bool chosenExists;
    bool answer;
    bool takesTheName;
    std::size_t questions;
};

class BrowseTest : public EncryptDialogTest, public ::testing::WithParamInterface<BrowseCase>
{
};

TEST_P(BrowseTest, AsksBeforeCreatingNeverBeforeReplacing)
{
    const BrowseCase& c = GetParam();
    if (c.chosenExists)
        writeFile(dir.file("chosen.zqv"), "present");
    messenger.chosenFile = q(dir.file("chosen.zqv"));
    messenger.answer = c.answer;
    const QString before = dialog->txtOutput->text();
    QTest::mouseClick(dialog->cmdBrowse, Qt::LeftButton);
    ASSERT_EQ(messenger.questions.size(), c.questions);
    if (c.questions == 1) {
        EXPECT_EQ(messenger.questions[0],
                  QLatin1String("The file ") + q(dir.file("chosen.zqv")) +
                      QLatin1String(" does not exist. Do you want to create it?"));
    }
    EXPECT_EQ(dialog->txtOutput->text(), c.takesTheName ? q(dir.file("chosen.zqv")) : before);
    EXPECT_EQ(exists(dir.file("chosen.zqv")), c.chosenExists) << "Browse creates nothing itself";
}

INSTANTIATE_TEST_SUITE_P(Choices,
                         BrowseTest,
                         ::testing::Values(BrowseCase{"NewYes", false, true, true, 1},
                                           BrowseCase{"NewNo", false, false, false, 1},
                                           BrowseCase{"Existing", true, false, true, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
