#include "TextTool.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include "FrmText.h"
#include "QtText.h"
#include "RecordingMessenger.h"
#include "TempDir.h"
#include "WidgetHelpers.h"

using namespace testsupport;
using namespace zqvtools;

namespace {

class FrmTextTest : public ::testing::Test
{
protected:
    FrmTextTest()
        : form(messenger)
    {
        form.setKdfParams(zqvcrypto::Argon2Params{64, 1, 1});
    }

    QPlainTextEdit* input() { return child<QPlainTextEdit>(&form, "txtInput"); }
    QPlainTextEdit* output() { return child<QPlainTextEdit>(&form, "txtOutput"); }
    QLineEdit* key() { return child<QLineEdit>(&form, "txtKey"); }
    void click(const char* name) { QTest::mouseClick(child<QPushButton>(&form, name), Qt::LeftButton); }
    void choose(int action) { clickIndicator(child<QRadioButton>(&form, action == 0 ? "optAction_0" : "optAction_1")); }
    void chooseAlgorithm(const QString& name)
    {
        QComboBox* box = child<QComboBox>(&form, "cboAlgorithm");
        box->setCurrentIndex(box->findText(name));
    }

    RecordingMessenger messenger;
    TempDir dir;
    FrmText form;
};

TEST_F(FrmTextTest, OpensWithTheControlsCaptionsAndDefaults)
{
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Encrypt/Decrypt Text"));
    const std::pair<const char*, const char*> labels[] = {
        {"Label1", "Use the selected algorithm:"},
        {"Label2", "Perform the selected action:"},
        {"Label3", "Use the following key:"},
        {"lblAction", "Text to Encrypt:"},
        {"lblResult", "Encrypted Text"},
        {"lblNote", "If the decrypted text is unreadable then the key entered was incorrect."},
    };
    for (const auto& [name, caption] : labels)
        EXPECT_EQ(child<QLabel>(&form, name)->text(), QString::fromUtf8(caption)) << name;
    const std::pair<const char*, const char*> buttons[] = {
        {"cmdFromClipboard", "F&rom Clipboard"},
        {"cmdFromFile", "&From File"},
        {"cmdAction", "&Encrypt"},
        {"cmdCopy", "&Copy"},
        {"cmdSaveAs", "&Save As"},
        {"cmdOk", "C&lose"},
    };
    for (const auto& [name, caption] : buttons)
        EXPECT_EQ(child<QPushButton>(&form, name)->text(), QString::fromUtf8(caption)) << name;
    QComboBox* algorithms = child<QComboBox>(&form, "cboAlgorithm");
    ASSERT_EQ(algorithms->count(), 3);
    EXPECT_EQ(algorithms->itemText(0), QStringLiteral("AES"));
    EXPECT_EQ(algorithms->itemText(1), QStringLiteral("Twofish"));
    EXPECT_EQ(algorithms->itemText(2), QStringLiteral("RSA"));
    EXPECT_EQ(algorithms->currentIndex(), 0);
    EXPECT_TRUE(child<QRadioButton>(&form, "optAction_0")->isChecked());
    EXPECT_EQ(child<QRadioButton>(&form, "optAction_0")->text(), QStringLiteral("Encrypt"));
    EXPECT_EQ(child<QRadioButton>(&form, "optAction_1")->text(), QStringLiteral("Decrypt"));
    EXPECT_EQ(child<QCheckBox>(&form, "chkMask")->text(), QStringLiteral("Mask Input"));
    EXPECT_FALSE(child<QCheckBox>(&form, "chkMask")->isChecked());
    EXPECT_EQ(key()->echoMode(), QLineEdit::Normal);
}

TEST_F(FrmTextTest, ActionChoiceDrivesCaptionsAndTheNoteAndMaskHidesTheKey)
{
    form.show();
    QLabel* note = child<QLabel>(&form, "lblNote");
    EXPECT_FALSE(note->isVisible());
    choose(1);
    EXPECT_EQ(child<QLabel>(&form, "lblAction")->text(), QStringLiteral("Text to Decrypt:"));
    EXPECT_EQ(child<QPushButton>(&form, "cmdAction")->text(), QStringLiteral("&Decrypt"));
    EXPECT_EQ(child<QLabel>(&form, "lblResult")->text(), QStringLiteral("Decrypted Text"));
    EXPECT_TRUE(note->isVisible());
    choose(0);
    EXPECT_EQ(child<QLabel>(&form, "lblAction")->text(), QStringLiteral("Text to Encrypt:"));
    EXPECT_EQ(child<QPushButton>(&form, "cmdAction")->text(), QStringLiteral("&Encrypt"));
    EXPECT_EQ(child<QLabel>(&form, "lblResult")->text(), QStringLiteral("Encrypted Text"));
    EXPECT_FALSE(note->isVisible());

    clickIndicator(child<QCheckBox>(&form, "chkMask"));
    EXPECT_EQ(key()->echoMode(), QLineEdit::Password);
    clickIndicator(child<QCheckBox>(&form, "chkMask"));
    EXPECT_EQ(key()->echoMode(), QLineEdit::Normal);
}

TEST_F(FrmTextTest, EncryptedOutputDecryptsBackInEachAlgorithm)
{
    form.show();
    const QString text = QStringLiteral("Dear Ann,\nmeet me at 10.\n— Bö");
    for (const QString& algorithm : textAlgorithmNames()) {
        chooseAlgorithm(algorithm);
        choose(0);
        key()->setText(QStringLiteral("shared secret"));
        input()->setPlainText(text);
        click("cmdAction");
        const QString sealed = output()->toPlainText();
        EXPECT_TRUE(sealed.startsWith(QLatin1String("ZQVT"))) << algorithm.toStdString();
        choose(1);
        input()->setPlainText(sealed);
        click("cmdAction");
        EXPECT_EQ(output()->toPlainText(), text) << algorithm.toStdString();
    }
    EXPECT_TRUE(messenger.shown.empty());
}

TEST_F(FrmTextTest, RefusedDecryptionsSayDecryptionErrorAndShowNoText)
{
    form.show();
    key()->setText(QStringLiteral("right"));
    input()->setPlainText(QStringLiteral("secret"));
    click("cmdAction");
    const QString sealed = output()->toPlainText();
    choose(1);

    struct Case
    {
        const char* name;
        QString algorithm;
        QString key;
        QString input;
        bool outputCleared;
    };
    const Case cases[] = {
        {"wrong key", QStringLiteral("AES"), QStringLiteral("wrong"), sealed, true},
        {"other algorithm", QStringLiteral("Twofish"), QStringLiteral("right"), sealed, true},
        {"truncated", QStringLiteral("AES"), QStringLiteral("right"), sealed.left(sealed.size() - 8), true},
        {"not ciphertext", QStringLiteral("AES"), QStringLiteral("right"), QStringLiteral("hello there"), false},
    };
    for (const Case& c : cases) {
        output()->setPlainText(QStringLiteral("earlier output"));
        messenger.shown.clear();
        chooseAlgorithm(c.algorithm);
        key()->setText(c.key);
        input()->setPlainText(c.input);
        click("cmdAction");
        ASSERT_EQ(messenger.shown.size(), 1u) << c.name;
        EXPECT_EQ(messenger.shown[0].title, QStringLiteral("ZQV")) << c.name;
        EXPECT_EQ(messenger.shown[0].text, QStringLiteral("Decryption error.")) << c.name;
        EXPECT_EQ(messenger.shown[0].icon, zqvgui::MessageIcon::Critical) << c.name;
        EXPECT_EQ(output()->toPlainText(), c.outputCleared ? QString() : QStringLiteral("earlier output")) << c.name;
    }
}

TEST_F(FrmTextTest, EmptyKeyIsAskedForAndNothingIsCiphered)
{
    input()->setPlainText(QStringLiteral("text"));
    output()->setPlainText(QStringLiteral("before"));
    click("cmdAction");
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].text, QStringLiteral("Please enter a key."));
    EXPECT_EQ(output()->toPlainText(), QStringLiteral("before"));
}

TEST_F(FrmTextTest, FromFileKeepsLinesAndRefusesMissingFiles)
{
    writeFile(dir.file("three.txt"), "one\r\ntwo\nthree\n");
    writeFile(dir.file("empty.txt"), "");
    struct Case
    {
        const char* name;
        QString chosen;
        QString expected;
        bool message;
    };
    const Case cases[] = {
        {"three lines", q(dir.file("three.txt")), QStringLiteral("one\ntwo\nthree"), false},
        {"empty file", q(dir.file("empty.txt")), QString(), false},
        {"cancelled", QString(), QStringLiteral("unchanged"), false},
        {"missing file", q(dir.file("missing.txt")), QStringLiteral("unchanged"), true},
    };
    for (const Case& c : cases) {
        input()->setPlainText(QStringLiteral("unchanged"));
        messenger.shown.clear();
        messenger.openDialogs.clear();
        messenger.chosenFile = c.chosen;
        click("cmdFromFile");
        ASSERT_EQ(messenger.openDialogs.size(), 1u) << c.name;
        EXPECT_EQ(messenger.openDialogs[0].title, QStringLiteral("From File"));
        EXPECT_EQ(messenger.openDialogs[0].filter, QStringLiteral("Text Files (*.txt)"));
        EXPECT_EQ(input()->toPlainText(), c.expected) << c.name;
        EXPECT_EQ(messenger.shown.size(), c.message ? 1u : 0u) << c.name;
    }
}

TEST_F(FrmTextTest, SaveAsWritesCrLfAndAsksBeforeReplacing)
{
    messenger.chosenFile = q(dir.file("out.txt"));
    output()->setPlainText(QString());
    click("cmdSaveAs");
    EXPECT_EQ(readFile(dir.file("out.txt")), "\r\n");
    EXPECT_EQ(messenger.saveDialogs.at(0).title, QStringLiteral("From File"));
    EXPECT_EQ(messenger.saveDialogs.at(0).filter, QStringLiteral("Text Files (*.txt)"));
    EXPECT_TRUE(messenger.questions.empty()) << "nothing to replace yet";

    messenger.questions.clear();
    output()->setPlainText(QStringLiteral("first\nsecond ü"));
    messenger.answer = false;
    click("cmdSaveAs");
    EXPECT_EQ(messenger.questions.size(), 1u);
    EXPECT_EQ(readFile(dir.file("out.txt")), "\r\n") << "a refused replacement leaves the file alone";

    messenger.answer = true;
    click("cmdSaveAs");
    EXPECT_EQ(readFile(dir.file("out.txt")), "first\r\nsecond \xc3\xbc\r\n");
    EXPECT_EQ(listFolder(dir.path()), "out.txt") << "no temporary file stays behind";

    messenger.chosenFile = q(dir.file("no folder/out.txt"));
    click("cmdSaveAs");
    ASSERT_FALSE(messenger.shown.empty());
    EXPECT_EQ(messenger.shown.back().text, QStringLiteral("The file could not be saved."));
}

TEST_F(FrmTextTest, ClipboardFillsTheInputAndTakesTheOutput)
{
    QApplication::clipboard()->setText(QStringLiteral("from the clipboard"));
    click("cmdFromClipboard");
    EXPECT_EQ(input()->toPlainText(), QStringLiteral("from the clipboard"));
    output()->setPlainText(QStringLiteral("to the clipboard"));
    click("cmdCopy");
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("to the clipboard"));
}

} // namespace
