#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <functional>
#include <thread>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Crypto.h"
#include "DialogFixture.h"
#include "FrmDecrypt.h"
#include "FrmEncrypt.h"
#include "FrmEncryptFolder.h"
#include "FrmSelfExtracting.h"
#include "RecordingMessenger.h"
#include "TempDir.h"
#include "TreeHelpers.h"
#include "WidgetHelpers.h"

using namespace engine;
using namespace testsupport;

namespace {

std::string quoted(const std::string& path)
{
    return "'" + path + "'";
}

bool decryptTo(const std::string& sealed, const std::string& out, const QString& password)
{
    zqvcrypto::Crypto control;
    bool success = false;
    control.DeriveKey(password, 1, 256)->DecryptFile(q(sealed), q(out), success);
    return success;
}

class FolderDialogTest : public enginetest::DialogFixture<FrmEncryptFolder>
{
protected:
    void encrypt(const QString& password = QStringLiteral("pw"))
    {
        typePassword(password, password);
        QTest::mouseClick(dialog->cmdEncrypt, Qt::LeftButton);
    }
};

TEST_F(FolderDialogTest, BlanksOnlyOperandCannotBeEncrypted)
{
    open("   ");
    EXPECT_FALSE(loaded);
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].title, QStringLiteral("ZQV"));
    EXPECT_EQ(messenger.shown[0].text, QStringLiteral("This folder cannot be encrypted."));
}

TEST_F(FolderDialogTest, LoadAndCompressionOptions)
{
    open(dir.file("Data"));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("ZQV - Encrypt Folder"));
    EXPECT_EQ(dialog->txtOutput->text(), q(dir.file("Data.zip")));
    EXPECT_TRUE(dialog->optCompress[0]->isChecked());
    EXPECT_EQ(dialog->CompressionLevel->value(), 6);
    EXPECT_EQ(dialog->chosenLevel(), 6);
    for (QCheckBox* box : {dialog->chkPassword, dialog->chkExe, dialog->chkRecursive})
        EXPECT_FALSE(box->isChecked());

    clickIndicator(dialog->optCompress[1]);
    EXPECT_FALSE(dialog->CompressionLevel->isEnabled());
    EXPECT_EQ(dialog->chosenLevel(), 0) << "Do not compress passes level 0 whatever the slider shows";
    clickIndicator(dialog->optCompress[0]);
    EXPECT_TRUE(dialog->CompressionLevel->isEnabled());
}

TEST_F(FolderDialogTest, UpperCaseZipIsRefused)
{
    open(dir.file("Data"));
    dialog->txtOutput->setText(q(dir.file("Data.ZIP")));
    encrypt();
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].title, QStringLiteral("ZQVEngine"));
    EXPECT_EQ(messenger.shown[0].text, QStringLiteral("The encrypted file must have .zip as the file extension."));
}

TEST_F(FolderDialogTest, ThePlaintextArchiveHasNoNameWhilePackingAndNoneAfterAFailure)
{
    makeAwkwardTree(dir.file("Data"));
    // A folder where the result should go: packing succeeds, giving the result its name fails.
    ASSERT_EQ(::mkdir(dir.file("Data.zip.zqv").c_str(), 0700), 0);
    writeFile(dir.file("Data.zip.zqv/inside"), "already there");
    open(dir.file("Data"));
    std::vector<std::string> seenWhilePacking;
    const auto showProgress = dialog->ZIPLight.progress;
    dialog->ZIPLight.progress = [&](const QString& text, double value) {
        seenWhilePacking.push_back(listFolder(dir.path()));
        showProgress(text, value);
    };
    encrypt();
    ASSERT_FALSE(seenWhilePacking.empty());
    for (const std::string& listed : seenWhilePacking)
        EXPECT_EQ(listed, "Data Data.zip.zqv") << "nothing of the folder's plaintext may carry a name";
    EXPECT_FALSE(messenger.shown.empty());
    EXPECT_EQ(listFolder(dir.path()), "Data Data.zip.zqv");
    EXPECT_EQ(readFile(dir.file("Data.zip.zqv/inside")), "already there");
}

TEST_F(FolderDialogTest, EncryptedFolderRestoresByteForByteAndLeavesNoIntermediate)
{
    makeAwkwardTree(dir.file("Data"));
    writeFile(dir.file("Data.zip"), "an unrelated file the user already had");
    open(dir.file("Data"));
    clickIndicator(dialog->chkRecursive);
    clickIndicator(dialog->chkPassword);
    encrypt(QStringLiteral("folder pw"));
    EXPECT_TRUE(messenger.shown.empty()) << (messenger.shown.empty() ? "" : messenger.shown[0].text.toStdString());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(listFolder(dir.path()), "Data Data.zip Data.zip.zqv") << "no temporary archive may stay behind";
    EXPECT_EQ(readFile(dir.file("Data.zip")), "an unrelated file the user already had");

    ASSERT_TRUE(decryptTo(dir.file("Data.zip.zqv"), dir.file("restored.zip"), QStringLiteral("folder pw")));
    EXPECT_FALSE(run("7z t -pwrong " + quoted(dir.file("restored.zip")))) << "the inner archive has its own password";
    ASSERT_TRUE(run("7z x '-pfolder pw' -o" + quoted(dir.file("restored")) + " " + quoted(dir.file("restored.zip"))));
    EXPECT_TRUE(run("diff -r " + quoted(dir.file("Data")) + " " + quoted(dir.file("restored"))));
    EXPECT_FALSE(dialog->ProgressBar1->isHidden());
}

TEST_F(FolderDialogTest, StoredWithoutTheInnerPasswordRestoresLargeFilesToo)
{
    makeAwkwardTree(dir.file("Data"));
    std::string large(3u << 20, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>((i * 2654435761u) >> 13);
    writeFile(dir.file("Data/large.bin"), large);
    open(dir.file("Data"));
    clickIndicator(dialog->chkRecursive);
    clickIndicator(dialog->optCompress[1]);
    encrypt();
    EXPECT_TRUE(messenger.shown.empty()) << (messenger.shown.empty() ? "" : messenger.shown[0].text.toStdString());
    EXPECT_EQ(listFolder(dir.path()), "Data Data.zip.zqv");
    EXPECT_EQ(dialog->ProgressBar1->value(), 100);

    ASSERT_TRUE(decryptTo(dir.file("Data.zip.zqv"), dir.file("restored.zip"), QStringLiteral("pw")));
    EXPECT_TRUE(run("unzip -tq " + quoted(dir.file("restored.zip"))));
    ASSERT_TRUE(run("7z x -o" + quoted(dir.file("restored")) + " " + quoted(dir.file("restored.zip"))));
    EXPECT_TRUE(run("diff -r " + quoted(dir.file("Data")) + " " + quoted(dir.file("restored"))));
}

TEST_F(FolderDialogTest, SelfExtractingFolderArchive)
{
    makeAwkwardTree(dir.file("Data"));
    open(dir.file("Data"));
    clickIndicator(dialog->chkExe);
    clickIndicator(dialog->chkRecursive);
    encrypt();
    EXPECT_TRUE(messenger.shown.empty());
    EXPECT_EQ(listFolder(dir.path()), "Data Data.zip.exe");
    writeAskpass(dir.file("askpass.sh"), "pw");
    ASSERT_EQ(::mkdir(dir.file("out").c_str(), 0700), 0);
    ASSERT_TRUE(run("ZQV_ASKPASS=" + dir.file("askpass.sh") + " setsid -w " + dir.file("Data.zip.exe") + " --output " +
                    dir.file("out")));
    EXPECT_EQ(listFolder(dir.file("out")), "Data.zip");
    EXPECT_TRUE(run("unzip -tq " + quoted(dir.file("out/Data.zip"))));
}

TEST_F(FolderDialogTest, PackingFailureIsReportedAndTheDialogStays)
{
    open(dir.file("missing folder"));
    encrypt();
    ASSERT_EQ(messenger.shown.size(), 2u);
    EXPECT_EQ(messenger.shown[0].text, QStringLiteral("The folder could not be packed."));
    EXPECT_EQ(messenger.shown[1].title, QStringLiteral("ZQV"));
    EXPECT_EQ(messenger.shown[1].text, QStringLiteral("The files could not be encrypted."));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(listFolder(dir.path()), "");
}

class SelfExtractingDialogTest : public enginetest::DialogFixture<FrmSelfExtracting>
{
protected:
    void SetUp() override { openOnNewFile("a.doc", "document body"); }

    void make(const QString& one, const QString& two)
    {
        typePassword(one, two);
        QTest::mouseClick(dialog->cmdMake, Qt::LeftButton);
    }
};

TEST_F(SelfExtractingDialogTest, EmptyPasswordIsTheOnlyMessage)
{
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("ZQV - Make Self-Extracting Exe"));
    EXPECT_EQ(dialog->txtOutput->text(), q(dir.file("a.doc.exe")));
    make(QString(), QStringLiteral("different"));
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].text, QStringLiteral("Please enter a password."));
    EXPECT_EQ(listFolder(dir.path()), "a.doc");
}

TEST_F(SelfExtractingDialogTest, AnyOutputNameAndWipeAfterMaking)
{
    dialog->txtOutput->setText(q(dir.file("present")));
    clickIndicator(dialog->chkWipe);
    make(QStringLiteral("pw"), QStringLiteral("pw"));
    EXPECT_TRUE(messenger.shown.empty());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(listFolder(dir.path()), "present");
    writeAskpass(dir.file("askpass.sh"), "pw");
    ASSERT_TRUE(run("ZQV_ASKPASS=" + dir.file("askpass.sh") + " setsid -w " + dir.file("present")));
    EXPECT_EQ(readFile(dir.file("a.doc")), "document body");
}

TEST_F(SelfExtractingDialogTest, FailureShowsBothMessages)
{
    dialog->CryptoCtrl().setStubPath(q(dir.file("no-extractor")));
    make(QStringLiteral("pw"), QStringLiteral("pw"));
    ASSERT_EQ(messenger.shown.size(), 2u);
    EXPECT_EQ(messenger.shown[0].title, QStringLiteral("ZQVEngine"));
    EXPECT_EQ(messenger.shown[0].text, QStringLiteral("Could not create encrypted self-encrypting executable file."));
    EXPECT_EQ(messenger.shown[1].text, QStringLiteral("The self-extracting file could not be made."));
    EXPECT_EQ(listFolder(dir.path()), "a.doc");
    EXPECT_TRUE(dialog->isVisible());
}

} // namespace

namespace {

struct SubfolderCase
{
    const char* name;
    bool recursive;
    bool answer;
    std::size_t questions;
    const char* packed; // the archive's entries, or empty when nothing was made
};

class SubfolderQuestionTest : public FolderDialogTest, public ::testing::WithParamInterface<SubfolderCase>
{
};

TEST_P(SubfolderQuestionTest, AskedOnlyWhenSubfoldersWouldBeLeftOut)
{
    const SubfolderCase& c = GetParam();
    ASSERT_EQ(::mkdir(dir.file("Data").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(dir.file("Data/one").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(dir.file("Data/.two").c_str(), 0700), 0);
    writeFile(dir.file("Data/top.txt"), "top");
    writeFile(dir.file("Data/one/deep.txt"), "deep");
    open(dir.file("Data"));
    if (c.recursive)
        clickIndicator(dialog->chkRecursive);
    messenger.answer = c.answer;
    encrypt();
    ASSERT_EQ(messenger.questions.size(), c.questions);
    if (c.questions == 1) {
        EXPECT_EQ(messenger.questions[0],
                  QLatin1String("2 subfolders of ") + q(dir.file("Data")) +
                      QLatin1String(" will not be included, because \"Encrypt folder contents recursively\" is not "
                                    "ticked. Pack only the files directly in the folder?"));
    }
    if (*c.packed == '\0') {
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->focusWidget(), dialog->chkRecursive);
        EXPECT_EQ(listFolder(dir.path()), "Data");
        return;
    }
    EXPECT_FALSE(dialog->isVisible());
    ASSERT_TRUE(decryptTo(dir.file("Data.zip.zqv"), dir.file("out.zip"), QStringLiteral("pw")));
    ASSERT_TRUE(run("unzip -q " + quoted(dir.file("out.zip")) + " -d " + quoted(dir.file("out")) + " && (cd " +
                    quoted(dir.file("out")) + " && find . -mindepth 1 | sort | tr '\\n' ' ' > " +
                    quoted(dir.file("entries")) + ")"));
    EXPECT_EQ(readFile(dir.file("entries")), c.packed);
}

INSTANTIATE_TEST_SUITE_P(
    Answers,
    SubfolderQuestionTest,
    ::testing::Values(SubfolderCase{"YesPacksTheTopLevel", false, true, 1, "./top.txt "},
                      SubfolderCase{"NoReturnsToTheBox", false, false, 1, ""},
                      SubfolderCase{"RecursiveAsksNothing", true, false, 0, "./.two ./one ./one/deep.txt ./top.txt "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FolderDialogTest, LevelNumberFollowsTheSlider)
{
    open(dir.file("Data"));
    auto* number = child<QLabel>(dialog.get(), "lblLevel");
    EXPECT_EQ(number->text(), QStringLiteral("6"));
    dialog->CompressionLevel->setValue(9);
    EXPECT_EQ(number->text(), QStringLiteral("9"));
}

TEST_F(FolderDialogTest, RelativeFolderIsPackedFromTheWorkingFolder)
{
    makeAwkwardTree(dir.file("Data"));
    const std::string previous = QDir::currentPath().toStdString();
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    open("Data");
    clickIndicator(dialog->chkRecursive);
    encrypt();
    ASSERT_EQ(::chdir(previous.c_str()), 0);
    EXPECT_TRUE(messenger.shown.empty()) << (messenger.shown.empty() ? "" : messenger.shown[0].detail.toStdString());
    ASSERT_TRUE(decryptTo(dir.file("Data.zip.zqv"), dir.file("restored.zip"), QStringLiteral("pw")));
    ASSERT_TRUE(run("unzip -q " + quoted(dir.file("restored.zip")) + " -d " + quoted(dir.file("restored"))));
    EXPECT_TRUE(run("diff -r " + quoted(dir.file("Data")) + " " + quoted(dir.file("restored"))));
}

} // namespace

namespace {

// Holds the work at a point until the interface thread has done its part,
// so a stop always lands while the work runs, however fast it is.
class StopHandshake
{
public:
    void workerWaits()
    {
        m_reached = true;
        while (!m_released)
            std::this_thread::yield();
    }
    [[nodiscard]] bool reached() const { return m_reached; }
    class Release
    {
    public:
        explicit Release(StopHandshake& handshake)
            : m_handshake(handshake)
        {
        }
        ~Release() { m_handshake.m_released = true; }
        Release(const Release&) = delete;
        Release& operator=(const Release&) = delete;

    private:
        StopHandshake& m_handshake;
    };

private:
    std::atomic<bool> m_reached = false;
    std::atomic<bool> m_released = false;
};

// How the user stops a folder being packed: Escape, Close, or the window's close box.
enum class StopBy { Escape, CloseButton, CloseBox };

// Runs `click` and, once the worker waits at the handshake, stops the work the
// way `stopBy` says before letting the worker go on. True when it was stopped.
bool clickAndStop(
    StopHandshake& handshake, QDialog& dialog, QPushButton* close, StopBy stopBy, const std::function<void()>& click)
{
    bool stopped = false;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!handshake.reached() || stopped)
            return;
        stopped = true;
        const StopHandshake::Release release(handshake);
        EXPECT_EQ(close->text(), QStringLiteral("&Cancel")) << "the button says it stops the work";
        switch (stopBy) {
        case StopBy::Escape:
            QTest::keyClick(&dialog, Qt::Key_Escape);
            break;
        case StopBy::CloseButton:
            EXPECT_TRUE(close->isEnabled()) << "Close is how the work is stopped";
            QTest::mouseClick(close, Qt::LeftButton);
            break;
        case StopBy::CloseBox:
            dialog.close();
            break;
        }
    });
    poll.start();
    click();
    poll.stop();
    return stopped;
}

class FolderCancelTest : public enginetest::DialogFixture<FrmEncryptFolder>,
                         public ::testing::WithParamInterface<StopBy>
{
};

TEST_P(FolderCancelTest, StoppingWhileItRunsLeavesNothingAndSaysSo)
{
    ASSERT_EQ(::mkdir(dir.file("tree").c_str(), 0700), 0);
    for (int i = 0; i < 4; ++i)
        writeFile(dir.file("tree/part" + std::to_string(i)), std::string(512 * 1024, static_cast<char>('a' + i)));
    open(dir.file("tree"));
    ASSERT_TRUE(loaded);
    typePassword(QStringLiteral("pw"), QStringLiteral("pw"));
    // The packing waits at its first progress until the user has stopped it.
    StopHandshake handshake;
    dialog->ZIPLight.progress = [&](const QString&, double) { handshake.workerWaits(); };
    const bool stopped = clickAndStop(handshake, *dialog, dialog->cmdClose, GetParam(), [&] {
        QTest::mouseClick(dialog->cmdEncrypt, Qt::LeftButton);
    });
    ASSERT_TRUE(stopped);

    EXPECT_TRUE(dialog->isVisible()) << "the dialog stays, with everything typed";
    EXPECT_EQ(listFolder(dir.path()), "tree") << "no output, no partial";
    EXPECT_EQ(listFolder(dir.file("tree")), "part0 part1 part2 part3");
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].parent, dialog.get());
    EXPECT_EQ(messenger.shown[0].text,
              QLatin1String("Encrypting ") + q(dir.file("tree")) +
                  QLatin1String(" was cancelled. No file was written, and the folder is as it was."));
    EXPECT_TRUE(dialog->cmdEncrypt->isEnabled());
    EXPECT_EQ(dialog->cmdClose->text(), QStringLiteral("&Close"));
    EXPECT_EQ(dialog->txtPassword1->text(), QStringLiteral("pw"));

    // Stopped once, it runs whole the next time.
    dialog->ZIPLight.progress = nullptr;
    messenger.shown.clear();
    QTest::mouseClick(dialog->cmdEncrypt, Qt::LeftButton);
    EXPECT_TRUE(messenger.shown.empty());
    EXPECT_EQ(listFolder(dir.path()), "tree tree.zip.zqv");
}

std::string stopName(const ::testing::TestParamInfo<StopBy>& info)
{
    switch (info.param) {
    case StopBy::Escape:
        return "Escape";
    case StopBy::CloseButton:
        return "CloseButton";
    case StopBy::CloseBox:
        break;
    }
    return "CloseBox";
}

INSTANTIATE_TEST_SUITE_P(Ways,
                         FolderCancelTest,
                         ::testing::Values(StopBy::Escape, StopBy::CloseButton, StopBy::CloseBox),
                         stopName);

} // namespace

namespace {

struct FileCancelCase
{
    const char* name;
    bool selfExtracting;
    StopBy stopBy;
};

class FileCancelTest : public ::testing::TestWithParam<FileCancelCase>
{
protected:
    TempDir dir;
    RecordingMessenger messenger;
};

TEST_P(FileCancelTest, StoppingEncryptionOrMakingLeavesNothingAndTheSourceUntouched)
{
    const std::string content(2 * 1024 * 1024, 's');
    writeFile(dir.file("a.doc"), content);
    std::unique_ptr<OperationDialog> dialog;
    if (GetParam().selfExtracting)
        dialog = std::make_unique<FrmSelfExtracting>(q(dir.file("a.doc")), messenger);
    else
        dialog = std::make_unique<FrmEncrypt>(q(dir.file("a.doc")), messenger);
    dialog->CryptoCtrl().setStubPath(QString::fromLatin1(ZQVSFX_PATH));
    dialog->CryptoCtrl().setKdfParams(enginetest::kCheapKdf);
    // The reading waits after its first piece until the user has stopped it.
    StopHandshake handshake;
    dialog->tools().progress = [&](int) { handshake.workerWaits(); };
    ASSERT_TRUE(dialog->load());
    dialog->show();
    QTest::keyClicks(dialog->txtPassword1, QStringLiteral("pw"));
    QTest::keyClicks(dialog->txtPassword2, QStringLiteral("pw"));
    dialog->chkWipe->setChecked(true);
    const bool stopped = clickAndStop(handshake, *dialog, dialog->cmdClose, GetParam().stopBy, [&] {
        QTest::mouseClick(dialog->findChild<QPushButton*>(GetParam().selfExtracting ? QStringLiteral("cmdMake")
                                                                                    : QStringLiteral("cmdEncrypt")),
                          Qt::LeftButton);
    });
    ASSERT_TRUE(stopped);

    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(listFolder(dir.path()), "a.doc") << "no output and no partial; the source is not wiped";
    EXPECT_EQ(readFile(dir.file("a.doc")), content);
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].parent, dialog.get());
    const QString work =
        GetParam().selfExtracting ? QStringLiteral("Making a self-extracting file of ") : QStringLiteral("Encrypting ");
    EXPECT_EQ(messenger.shown[0].text,
              work + q(dir.file("a.doc")) + QLatin1String(" was cancelled. No file was written, and ") +
                  q(dir.file("a.doc")) + QLatin1String(" is as it was."));
    EXPECT_TRUE(dialog->cmdClose->isEnabled());
    EXPECT_EQ(dialog->cmdClose->text(), QStringLiteral("&Close"));
}

INSTANTIATE_TEST_SUITE_P(Ways,
                         FileCancelTest,
                         ::testing::Values(FileCancelCase{"EncryptByEscape", false, StopBy::Escape},
                                           FileCancelCase{"EncryptByCloseBox", false, StopBy::CloseBox},
                                           FileCancelCase{"MakeByCloseButton", true, StopBy::CloseButton}),
                         [](const ::testing::TestParamInfo<FileCancelCase>& info) {
                             return std::string(info.param.name);
                         });

struct DecryptCancelCase
{
    const char* name;
    StopBy stopBy;
    bool wipe;          // the encrypted file is to be wiped, so the result is read back first
    bool replaceOutput; // the decrypted file's name is taken, and the user agreed to replace it
};

class DecryptCancelTest : public ::testing::TestWithParam<DecryptCancelCase>
{
protected:
    TempDir dir;
    RecordingMessenger messenger;
};

TEST_P(DecryptCancelTest, StoppingDecryptionLeavesNoOutputAndTheEncryptedFileUntouched)
{
    // Several blocks of chunks, so the work is held between two of them.
    std::string content(6 * 1024 * 1024, '\0');
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 131 / 7);
    writeFile(dir.file("plain"), content);
    ASSERT_NO_FATAL_FAILURE(enginetest::makeEncrypted(dir.file("plain"), dir.file("a.doc.zqv"), QStringLiteral("pw")));
    ASSERT_EQ(::unlink(dir.file("plain").c_str()), 0);
    const std::string sealed = readFile(dir.file("a.doc.zqv"));
    if (GetParam().replaceOutput)
        writeFile(dir.file("a.doc"), "keep me");
    const std::string before = listFolder(dir.path());

    FrmDecrypt dialog(q(dir.file("a.doc.zqv")), messenger);
    // The decryption waits at its first progress, between two blocks of
    // chunks, until the user has stopped it.
    StopHandshake handshake;
    dialog.CryptoCtrl().setProgressHandler([&](int) { handshake.workerWaits(); });
    ASSERT_TRUE(dialog.load());
    dialog.show();
    QTest::keyClicks(dialog.txtPassword, QStringLiteral("pw"));
    dialog.chkWipe->setChecked(GetParam().wipe);
    messenger.answer = true;
    const bool stopped = clickAndStop(handshake, dialog, dialog.cmdClose, GetParam().stopBy, [&] {
        QTest::mouseClick(dialog.cmdDecrypt, Qt::LeftButton);
    });
    ASSERT_TRUE(stopped);

    EXPECT_TRUE(dialog.isVisible()) << "the dialog stays, with everything typed";
    EXPECT_EQ(listFolder(dir.path()), before) << "no output and no partial; the encrypted file is not wiped";
    EXPECT_TRUE(readFile(dir.file("a.doc.zqv")) == sealed);
    if (GetParam().replaceOutput) {
        EXPECT_EQ(readFile(dir.file("a.doc")), "keep me");
    }
    const std::size_t questions = GetParam().replaceOutput ? 1u : 0u;
    ASSERT_EQ(messenger.shown.size(), questions + 1);
    EXPECT_EQ(messenger.shown.back().parent, &dialog);
    EXPECT_EQ(messenger.shown.back().text,
              QLatin1String("Decrypting ") + q(dir.file("a.doc.zqv")) +
                  QLatin1String(" was cancelled. No file was written, and ") + q(dir.file("a.doc.zqv")) +
                  QLatin1String(" is as it was."));
    EXPECT_TRUE(dialog.cmdDecrypt->isEnabled());
    EXPECT_EQ(dialog.txtPassword->text(), QStringLiteral("pw"));

    // Stopped once, it runs whole the next time.
    dialog.CryptoCtrl().setProgressHandler({});
    messenger.shown.clear();
    QTest::mouseClick(dialog.cmdDecrypt, Qt::LeftButton);
    EXPECT_TRUE(readFile(dir.file("a.doc")) == content);
    EXPECT_FALSE(dialog.isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Ways,
    DecryptCancelTest,
    ::testing::Values(DecryptCancelCase{"ByEscapeWithWipe", StopBy::Escape, true, false},
                      DecryptCancelCase{"ByCloseBox", StopBy::CloseBox, false, false},
                      DecryptCancelCase{"ByCloseOverAnAgreedReplace", StopBy::CloseButton, false, true}),
    [](const ::testing::TestParamInfo<DecryptCancelCase>& info) { return std::string(info.param.name); });

TEST(FileCancelOtherTest, AFolderGivenToEncryptIsRefusedAsBeforeWithoutAnOutput)
{
    TempDir dir;
    RecordingMessenger messenger;
    ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0700), 0);
    FrmEncrypt dialog(q(dir.file("folder")), messenger);
    dialog.CryptoCtrl().setKdfParams(enginetest::kCheapKdf);
    ASSERT_TRUE(dialog.load());
    dialog.show();
    QTest::keyClicks(dialog.txtPassword1, QStringLiteral("pw"));
    QTest::keyClicks(dialog.txtPassword2, QStringLiteral("pw"));
    QTest::mouseClick(dialog.cmdEncrypt, Qt::LeftButton);
    ASSERT_EQ(messenger.shown.size(), 2u);
    EXPECT_EQ(messenger.shown[0].text, QStringLiteral("The file was could not be encrypted."));
    EXPECT_EQ(messenger.shown[1].text, QStringLiteral("The file could not be encrypted."));
    EXPECT_EQ(listFolder(dir.path()), "folder");
}

} // namespace
