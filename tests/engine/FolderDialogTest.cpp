#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>
#include <unistd.h>

#include "Crypto.h"
#include "DialogFixture.h"
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
    void SetUp() override
    {
        writeFile(dir.file("a.doc"), "document body");
        open(dir.file("a.doc"));
        ASSERT_TRUE(loaded);
    }

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
