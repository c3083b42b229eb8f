#include "CommandLine.h"

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <cstdlib>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "DialogFixture.h"
#include "EngineMain.h"
#include "OperationDialog.h"
#include "RecordingMessenger.h"
#include "TempDir.h"
#include "WidgetHelpers.h"

using namespace engine;
using testsupport::q;
using testsupport::TempDir;

namespace {

struct StartupCase
{
    const char* name;
    const char* arguments; // %D stands for a temporary folder
    Operation operation;
    const char* operand;
    const char* message;
};

class StartupTest : public ::testing::TestWithParam<StartupCase>
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0700), 0);
        ASSERT_EQ(::mkdir(dir.file("x.zqv").c_str(), 0700), 0);
        testsupport::writeFile(dir.file("plain.txt"), "plain");
    }

    QString expand(const char* text) const
    {
        return QString::fromUtf8(text).replace(QLatin1String("%D"), q(dir.path()));
    }

    TempDir dir;
};

TEST_P(StartupTest, DispatchesOnTheExactSwitch)
{
    const StartupCase& c = GetParam();
    const StartupDecision decision = decideStartup(expand(c.arguments));
    EXPECT_EQ(decision.operation, c.operation);
    EXPECT_EQ(decision.errorMessage, expand(c.message));
    if (c.operation != Operation::None) {
        EXPECT_EQ(decision.operand, expand(c.operand));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Switches,
    StartupTest,
    ::testing::Values(
        StartupCase{"Empty", "", Operation::None, "", ""},
        StartupCase{"EncryptAlone", "/e", Operation::None, "", ""},
        StartupCase{"DecryptAlone", "/d", Operation::None, "", ""},
        StartupCase{"EmptyOperand", "/e ", Operation::Encrypt, "", ""},
        StartupCase{"UpperCaseSwitch", "/E %D/plain.txt", Operation::None, "", ""},
        StartupCase{"UnknownSwitch", "/x %D/plain.txt", Operation::None, "", ""},
        StartupCase{"ThirdCharacterDropped", "/ex%D/plain.txt", Operation::Encrypt, "%D/plain.txt", ""},
        StartupCase{"EncryptEncrypted", "/e %D/a.zqv", Operation::None, "", "The file %D/a.zqv is already encrypted."},
        StartupCase{"ExtensionIsCaseSensitive", "/e %D/a.ZQV", Operation::Encrypt, "%D/a.ZQV", ""},
        StartupCase{"DecryptPlain", "/d %D/a.txt", Operation::None, "", "The file %D/a.txt is not encrypted."},
        StartupCase{"DecryptEncrypted", "/d %D/a.zqv", Operation::Decrypt, "%D/a.zqv", ""},
        StartupCase{
            "SelfExtractingEncrypted", "/s %D/a.zqv", Operation::None, "", "The file %D/a.zqv is already encrypted."},
        StartupCase{"SelfExtracting", "/s %D/plain.txt", Operation::SelfExtracting, "%D/plain.txt", ""},
        StartupCase{"FolderExisting", "/f %D/folder", Operation::EncryptFolder, "%D/folder", ""},
        StartupCase{"FolderOnPlainFile", "/f %D/plain.txt", Operation::None, "", "%D/plain.txt is not a valid folder."},
        StartupCase{"FolderMissing", "/f %D/missing", Operation::EncryptFolder, "%D/missing", ""},
        StartupCase{"FolderNamedZqv", "/f %D/x.zqv", Operation::None, "", "The file %D/x.zqv is already encrypted."},
        StartupCase{"OperandWithBlanks", "/e %D/My Files/a b.txt", Operation::Encrypt, "%D/My Files/a b.txt", ""},
        StartupCase{"QuotesAreKept", "/e \"%D/a.txt\"", Operation::Encrypt, "\"%D/a.txt\"", ""},
        StartupCase{"WipeIsNeverChecked", "/w ?a?b", Operation::Wipe, "?a?b", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ArgumentStringTest, JoinsArgumentsWithSingleBlanks)
{
    const char* withBlanks[] = {"zqvengine", "/e", "/home/u/My Files/a b.txt"};
    EXPECT_EQ(argumentString(3, withBlanks), QStringLiteral("/e /home/u/My Files/a b.txt"));
    const char* alone[] = {"zqvengine"};
    EXPECT_EQ(argumentString(1, alone), QString());
    const char* utf8[] = {"zqvengine", "/w", "/tmp/\xc3\xa9t\xc3\xa9.txt"};
    EXPECT_EQ(argumentString(3, utf8), QString::fromUtf8("/w /tmp/\xc3\xa9t\xc3\xa9.txt"));
}

TEST(IsNotPlainFileTest, OnlyAReadableRegularFileIsPlain)
{
    TempDir dir;
    testsupport::writeFile(dir.file("file.txt"), "x");
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
    EXPECT_FALSE(IsNotPlainFile(q(dir.file("file.txt"))));
    EXPECT_TRUE(IsNotPlainFile(q(dir.path())));
    EXPECT_TRUE(IsNotPlainFile(q(dir.file("missing"))));
    EXPECT_TRUE(IsNotPlainFile(QString()));
    EXPECT_TRUE(IsNotPlainFile(q(dir.file("pipe"))));
    if (::geteuid() != 0) {
        testsupport::writeFile(dir.file("locked.txt"), "x");
        ASSERT_EQ(::chmod(dir.file("locked.txt").c_str(), 0), 0);
        EXPECT_TRUE(IsNotPlainFile(q(dir.file("locked.txt"))));
    }
}

TEST(StartEngineTest, StartupMessagesUseCaptionZqvAndTheErrorIcon)
{
    RecordingMessenger messenger;
    EXPECT_EQ(startEngine(QStringLiteral("/d /tmp/a.txt"), messenger), nullptr);
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].title, QStringLiteral("ZQV"));
    EXPECT_EQ(messenger.shown[0].text, QStringLiteral("The file /tmp/a.txt is not encrypted."));
    EXPECT_EQ(messenger.shown[0].icon, MessageIcon::Critical);
}

TEST(StartEngineTest, WipeSwitchShowsTheWipeDialog)
{
    TempDir dir;
    testsupport::writeFile(dir.file("a.txt"), "x");
    RecordingMessenger messenger;
    QDialog* dialog = startEngine(QStringLiteral("/w ") + q(dir.file("a.txt")), messenger);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->objectName(), QStringLiteral("frmWipe"));
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("ZQV - Wipe"));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_TRUE(messenger.shown.empty());
    delete dialog;
}

TEST(StartEngineTest, EachOperationSwitchShowsItsDialog)
{
    TempDir dir;
    testsupport::writeFile(dir.file("a.txt"), "x");
    RecordingMessenger messenger;
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("/e ") + q(dir.file("a.txt")), QStringLiteral("frmEncrypt")},
        {QStringLiteral("/d ") + q(dir.file("a.txt.zqv")), QStringLiteral("frmDecrypt")},
        {QStringLiteral("/s ") + q(dir.file("a.txt")), QStringLiteral("frmSelfExtracting")},
        {QStringLiteral("/f ") + q(dir.path()), QStringLiteral("frmEncryptFolder")},
    };
    for (const auto& [arguments, expected] : cases) {
        QDialog* dialog = startEngine(arguments, messenger);
        ASSERT_NE(dialog, nullptr) << arguments.toStdString();
        EXPECT_EQ(dialog->objectName(), expected);
        EXPECT_TRUE(dialog->isVisible());
        delete dialog;
    }
    EXPECT_TRUE(messenger.shown.empty());
}

TEST(StartEngineTest, SilentEndsShowNothing)
{
    RecordingMessenger messenger;
    for (const char* arguments : {"", "/e", "/E /tmp/a.txt", "/q /tmp/a.txt"})
        EXPECT_EQ(startEngine(QString::fromLatin1(arguments), messenger), nullptr) << arguments;
    EXPECT_TRUE(messenger.shown.empty());
}

} // namespace

namespace {

// Every switch with an operand relative to the working folder.
struct RelativeCase
{
    const char* name;
    const char* workingFolder; // inside the temporary folder
    const char* arguments;
    const char* action;
    const char* listed;  // folder to list afterwards
    const char* listing; // what it holds then
};

class RelativeOperandTest : public ::testing::TestWithParam<RelativeCase>
{
};

TEST_P(RelativeOperandTest, WorksFromTheWorkingFolder)
{
    const RelativeCase& c = GetParam();
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("x").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(dir.file("y").c_str(), 0700), 0);
    testsupport::writeFile(dir.file("x/a.txt"), "alpha");
    ASSERT_NO_FATAL_FAILURE(enginetest::makeEncrypted(dir.file("x/a.txt"), dir.file("x/b.zqv"), QStringLiteral("pw")));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(q(dir.file(c.workingFolder))));
    RecordingMessenger messenger;
    forgetOperationDone();
    std::unique_ptr<QDialog> dialog(startEngine(QString::fromLatin1(c.arguments), messenger));
    ASSERT_NE(dialog, nullptr);
    auto* operation = static_cast<OperationDialog*>(dialog.get());
    EXPECT_FALSE(operationDone());
    operation->CryptoCtrl().setKdfParams(enginetest::kCheapKdf);
    operation->CryptoCtrl().setStubPath(QString::fromLatin1(ZQVSFX_PATH));
    operation->txtPassword1->setText(QStringLiteral("pw"));
    if (operation->txtPassword2 != nullptr)
        operation->txtPassword2->setText(QStringLiteral("pw"));
    if (auto* recursive = dialog->findChild<QCheckBox*>(QStringLiteral("chkRecursive")))
        recursive->setChecked(true);
    testsupport::child<QPushButton>(dialog.get(), c.action)->click();
    EXPECT_TRUE(operationDone()); // the engine will end with status 0
    EXPECT_TRUE(QDir::setCurrent(previous));
    EXPECT_TRUE(messenger.shown.empty()) << (messenger.shown.empty() ? "" : messenger.shown[0].detail.toStdString());
    EXPECT_EQ(testsupport::listFolder(dir.file(c.listed)), c.listing);
}

INSTANTIATE_TEST_SUITE_P(
    Switches,
    RelativeOperandTest,
    ::testing::Values(RelativeCase{"EncryptDot", "x", "/e ./a.txt", "cmdEncrypt", "x", "a.txt a.txt.zqv b.zqv"},
                      RelativeCase{"EncryptUp", "y", "/e ../x/a.txt", "cmdEncrypt", "x", "a.txt a.txt.zqv b.zqv"},
                      RelativeCase{"SelfExtracting", "x", "/s a.txt", "cmdMake", "x", "a.txt a.txt.exe b.zqv"},
                      RelativeCase{"DecryptUp", "y", "/d ../x/b.zqv", "cmdDecrypt", "x", "a.txt b b.zqv"},
                      RelativeCase{"Folder", "", "/f x", "cmdEncrypt", "", "x x.zip.zqv y"},
                      RelativeCase{"FolderUp", "y", "/f ../x", "cmdEncrypt", "", "x x.zip.zqv y"}),
    [](const auto& info) { return std::string(info.param.name); });

// Qt must not read its own options out of the operand: "-platform" with a
// plugin that does not exist would end the program before it starts.
TEST(QtOptionsTest, OperandsThatLookLikeQtOptionsAreLeftToTheEngine)
{
    for (const char* operand : {"-platform nosuchplugin", "-style=nosuchstyle -reverse", "-session x"}) {
        // The engine's own refusal of "/x" ends it with 1 (nothing done); Qt
        // stopping on the option would end it otherwise.
        const std::string command =
            std::string("QT_QPA_PLATFORM=offscreen ") + ZQVENGINE_PATH + " /x " + operand + " >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << operand << ": " << status;
    }
}

TEST(QtOptionsTest, DashOperandsReachTheDialogWhole)
{
    RecordingMessenger messenger;
    for (const char* operand : {"-reverse", "-style=x", "-platform offscreen"}) {
        std::unique_ptr<QDialog> dialog(startEngine(QLatin1String("/e ") + QLatin1String(operand), messenger));
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(static_cast<OperationDialog*>(dialog.get())->sourcePath(), QLatin1String(operand));
        EXPECT_EQ(dialog->layoutDirection(), Qt::LeftToRight);
    }
}

} // namespace
