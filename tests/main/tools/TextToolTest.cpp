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
#include <QTimer>
#include <future>

#include <gtest/gtest.h>

#include "Crypto.h"
#include "FrmText.h"
#include "KdfParams.h"
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
    // Labels and buttons alike: a control of another kind has no caption.
    const std::pair<const char*, const char*> captions[] = {
        {"Label1", "Use the selected algorithm:"},
        {"Label2", "Perform the selected action:"},
        {"Label3", "Use the following key:"},
        {"lblAction", "Text to Encrypt:"},
        {"lblResult", "Encrypted Text"},
        {"lblNote", "If the decrypted text is unreadable then the key entered was incorrect."},
        {"cmdFromClipboard", "F&rom Clipboard"},
        {"cmdFromFile", "&From File"},
        {"cmdAction", "&Encrypt"},
        {"cmdCopy", "&Copy"},
        {"cmdSaveAs", "&Save As"},
        {"cmdOk", "C&lose"},
    };
    for (const auto& [name, caption] : captions) {
        const QWidget* control = child<QWidget>(&form, name);
        const auto* label = qobject_cast<const QLabel*>(control);
        const auto* button = qobject_cast<const QPushButton*>(control);
        EXPECT_EQ(label != nullptr    ? label->text()
                  : button != nullptr ? button->text()
                                      : QString(),
                  QString::fromUtf8(caption))
            << name;
    }
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
    EXPECT_EQ(messenger.saveDialogs.size(), 2u) << "No cancels the save; the file dialog does not come back";

    messenger.answer = true;
    click("cmdSaveAs");
    EXPECT_EQ(readFile(dir.file("out.txt")), "first\r\nsecond \xc3\xbc\r\n");
    EXPECT_EQ(listFolder(dir.path()), "out.txt") << "no temporary file stays behind";

    messenger.chosenFile = q(dir.file("no folder/out.txt"));
    click("cmdSaveAs");
    ASSERT_FALSE(messenger.shown.empty());
    EXPECT_EQ(messenger.shown.back().text, QStringLiteral("The file could not be saved."));
}

// An action that runs until the test lets it go, so the test can act while
// it is running.
struct HeldAction
{
    std::promise<void> release;
    std::promise<void> finished;
    FrmText::Performer performer()
    {
        std::shared_future<void> go = release.get_future().share();
        auto done = std::make_shared<std::promise<void>>(std::move(finished));
        finishedFuture = done->get_future();
        return [go, done](const zqvcrypto::Crypto&, int, const QString&, const QString&, TextAction) {
            go.wait();
            TextActionResult result;
            result.succeeded = true;
            result.output = QStringLiteral("result nobody asked for any more");
            done->set_value();
            return result;
        };
    }
    // Lets the action end and waits until it has.
    void finish()
    {
        release.set_value();
        finishedFuture.wait();
    }
    std::future<void> finishedFuture;
};

TEST_F(FrmTextTest, ARunningActionCanBeCancelledAndTheWindowKeepsWorking)
{
    form.show();
    QPushButton* cancel = child<QPushButton>(&form, "cmdCancel");
    EXPECT_FALSE(cancel->isVisible()) << "Cancel only while an action runs";
    EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));

    struct Case
    {
        const char* name;
        std::function<void()> cancelIt;
    };
    const Case cases[] = {
        {"Cancel button", [&] { QTest::mouseClick(cancel, Qt::LeftButton); }},
        {"Escape", [&] { QTest::keyClick(&form, Qt::Key_Escape); }},
        {"closing the window", [&] { form.close(); }},
    };
    for (const Case& c : cases) {
        key()->setText(QStringLiteral("key"));
        input()->setPlainText(QStringLiteral("typed text"));
        output()->setPlainText(QStringLiteral("earlier output"));
        messenger.shown.clear();
        HeldAction held;
        form.setPerformer(held.performer());
        bool sawItRunning = false;
        // Runs inside the action's wait: the window still handles events.
        QTimer::singleShot(0, &form, [&] {
            sawItRunning = form.isWorking() && cancel->isVisible() && cancel->isEnabled() && !key()->isEnabled() &&
                           !input()->isEnabled() && !child<QPushButton>(&form, "cmdAction")->isEnabled();
            c.cancelIt();
        });
        click("cmdAction");
        EXPECT_TRUE(sawItRunning) << c.name;
        EXPECT_FALSE(form.isWorking()) << c.name;
        EXPECT_TRUE(form.isVisible()) << c.name << ": cancelling does not close the window";
        EXPECT_FALSE(cancel->isVisible()) << c.name;
        EXPECT_TRUE(key()->isEnabled() && input()->isEnabled()) << c.name;

        // The abandoned action ends later; what it made is dropped.
        held.finish();
        QCoreApplication::processEvents();
        EXPECT_EQ(output()->toPlainText(), QStringLiteral("earlier output")) << c.name;
        EXPECT_EQ(input()->toPlainText(), QStringLiteral("typed text")) << c.name;
        EXPECT_TRUE(messenger.shown.empty()) << c.name;
    }
}

TEST_F(FrmTextTest, ACancelledActionStillRunningDoesNotHoldUpTheNext)
{
    form.show();
    key()->setText(QStringLiteral("key"));
    input()->setPlainText(QStringLiteral("text"));
    HeldAction held;
    form.setPerformer(held.performer());
    QTimer::singleShot(0, &form, [&] { QTest::mouseClick(child<QPushButton>(&form, "cmdCancel"), Qt::LeftButton); });
    click("cmdAction");
    ASSERT_FALSE(form.isWorking());

    form.setPerformer(performTextAction);
    click("cmdAction");
    EXPECT_TRUE(output()->toPlainText().startsWith(QLatin1String("ZQVT")));
    held.finish();
}

TEST_F(FrmTextTest, AMessageAskingForMoreThanTheCeilingIsRefusedWithoutDeriving)
{
    form.show();
    key()->setText(QStringLiteral("right"));
    input()->setPlainText(QStringLiteral("secret"));
    click("cmdAction");
    QByteArray envelope = QByteArray::fromBase64(output()->toPlainText().toLatin1());
    ASSERT_GT(envelope.size(), 17);
    // The costliest message the old ceiling let through: 2 GiB, 16 passes, 16 lanes,
    // which took a minute to derive before it failed.
    const unsigned char cost[12] = {0, 0x20, 0, 0, 0, 0, 0, 16, 0, 0, 0, 16};
    for (int i = 0; i < 12; ++i)
        envelope[5 + i] = static_cast<char>(cost[i]);
    bool derived = false;
    form.setPerformer([&derived](const zqvcrypto::Crypto& control,
                                 int algorithm,
                                 const QString& keyText,
                                 const QString& text,
                                 TextAction action) {
        const TextActionResult result = performTextAction(control, algorithm, keyText, text, action);
        // A derivation would have ended in the tag check, not in a refusal of the cost.
        derived = result.detail != zqvcrypto::describe(zqvcrypto::TextError::BadParameters);
        return result;
    });
    choose(1);
    input()->setPlainText(QString::fromLatin1(envelope.toBase64()));
    output()->setPlainText(QStringLiteral("earlier output"));
    click("cmdAction");
    EXPECT_FALSE(derived);
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].text, QStringLiteral("Decryption error."));
    EXPECT_EQ(messenger.shown[0].detail,
              QStringLiteral("The text asks for settings outside the safe limits, so it was not decrypted."));
    EXPECT_TRUE(output()->toPlainText().isEmpty());
}

TEST_F(FrmTextTest, EscapeAsksBeforeTypedTextIsLostAndCloseDoesNot)
{
    struct Case
    {
        const char* name;
        QString typed;
        bool useCloseButton;
        bool answer;
        bool asked;
        bool closed;
    };
    const Case cases[] = {
        {"empty input", QString(), false, true, false, true},
        {"typed text, answered No", QStringLiteral("draft"), false, false, true, false},
        {"typed text, answered Yes", QStringLiteral("draft"), false, true, true, true},
        {"Close button", QStringLiteral("draft"), true, false, false, true},
    };
    for (const Case& c : cases) {
        form.show();
        input()->setPlainText(c.typed);
        messenger.questions.clear();
        messenger.answer = c.answer;
        if (c.useCloseButton)
            click("cmdOk");
        else
            QTest::keyClick(&form, Qt::Key_Escape);
        EXPECT_EQ(messenger.questions.size(), c.asked ? 1u : 0u) << c.name;
        EXPECT_EQ(form.isVisible(), !c.closed) << c.name;
        EXPECT_EQ(input()->toPlainText(), c.typed) << c.name;
    }
}

TEST_F(FrmTextTest, FromFileRefusesBytesThatAreNotTextInTheLocaleEncoding)
{
    writeFile(dir.file("latin1.txt"), "caf\xe9 cr\xe8me\n");
    writeFile(dir.file("utf8.txt"), "caf\xc3\xa9\n");
    input()->setPlainText(QStringLiteral("unchanged"));
    messenger.chosenFile = q(dir.file("latin1.txt"));
    // Under a UTF-8 locale, or C, these bytes are no text.
    ASSERT_TRUE(localeCodeset() == "UTF-8" || localeCodeset() == "ANSI_X3.4-1968") << localeCodeset().constData();
    click("cmdFromFile");
    ASSERT_EQ(messenger.shown.size(), 1u);
    EXPECT_EQ(messenger.shown[0].text,
              QStringLiteral("The file is not text in this system's encoding (%1), so it was not loaded.")
                  .arg(QString::fromLatin1(localeCodeset())));
    EXPECT_EQ(messenger.shown[0].detail, q(dir.file("latin1.txt")));
    EXPECT_EQ(input()->toPlainText(), QStringLiteral("unchanged")) << "no replacement characters";

    messenger.chosenFile = q(dir.file("utf8.txt"));
    click("cmdFromFile");
    EXPECT_EQ(input()->toPlainText(), QStringLiteral("café"));
}

TEST(DecodeText, UsesTheLocaleEncodingWhereTheBytesAreNotUtf8)
{
    struct Case
    {
        const char* name;
        QByteArray bytes;
        QByteArray codeset;
        bool decoded;
        QString text;
    };
    const Case cases[] = {
        {"UTF-8 under any locale", "caf\xc3\xa9", "ISO-8859-1", true, QStringLiteral("café")},
        {"Latin-1 under a Latin-1 locale", "caf\xe9", "ISO-8859-1", true, QStringLiteral("café")},
        {"Latin-1 under a UTF-8 locale", "caf\xe9", "UTF-8", false, QString()},
        {"Latin-1 under the C locale", "caf\xe9", "ANSI_X3.4-1968", false, QString()},
        {"euro sign in Latin-9", "\xa4", "ISO-8859-15", true, QStringLiteral("€")},
        {"unknown encoding", "caf\xe9", "NO-SUCH-ENCODING", false, QString()},
    };
    for (const Case& c : cases) {
        QString text = QStringLiteral("before");
        EXPECT_EQ(decodeText(c.bytes, c.codeset, text), c.decoded) << c.name;
        if (c.decoded) {
            EXPECT_EQ(text, c.text) << c.name;
        }
    }
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
