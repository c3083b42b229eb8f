#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "DialogFixture.h"
#include "FrmDecrypt.h"
#include "FrmEncrypt.h"
#include "FrmEncryptFolder.h"
#include "FrmSelfExtracting.h"
#include "FrmWipe.h"
#include "Messenger.h"
#include "WidgetHelpers.h"

using namespace engine;
using namespace testsupport;

namespace {

// Each dialog on a file (or folder) in `dir`, loaded and shown, ready for keys.
struct DialogCase
{
    const char* name;
    std::function<std::unique_ptr<QDialog>(const TempDir&, RecordingMessenger&)> open;
    const char* action;     // the button Enter presses from a text box; empty where there is none
    QStringList tabOrder;   // objectNames in the order Tab visits them
    const char* sourceFile; // what must survive an Enter on Close or Browse
};

void PrintTo(const DialogCase& c, std::ostream* out)
{
    *out << c.name;
}

template <typename Dialog>
std::unique_ptr<QDialog> openCipher(const TempDir& dir, RecordingMessenger& messenger, const char* operand)
{
    writeFile(dir.file("a.txt"), "keep me");
    writeFile(dir.file("a.txt.zqv"), "not really encrypted");
    ::mkdir(dir.file("folder").c_str(), 0700);
    writeFile(dir.file("folder/inner.txt"), "inner");
    auto dialog = std::make_unique<Dialog>(q(dir.file(operand)), messenger);
    dialog->CryptoCtrl().setKdfParams(enginetest::kCheapKdf);
    dialog->setWiper(enginetest::buildLibraryWiper());
    EXPECT_TRUE(dialog->load());
    dialog->txtPassword1->setText(QStringLiteral("pw"));
    if (dialog->txtPassword2 != nullptr)
        dialog->txtPassword2->setText(QStringLiteral("pw"));
    if (dialog->chkWipe != nullptr)
        dialog->chkWipe->setChecked(true);
    return dialog;
}

const QStringList kFileTail{QStringLiteral("txtOutput"), QStringLiteral("cmdBrowse"), QStringLiteral("chkWipe")};

// A file dialog visits the file, its password boxes, the output row, then its
// action and Close; Enter on Close or Browse must leave the file itself alone.
template <typename Dialog>
DialogCase fileCase(const char* name, const char* operand, const char* action, const QStringList& passwords)
{
    return {name,
            [operand](const TempDir& d, RecordingMessenger& m) { return openCipher<Dialog>(d, m, operand); },
            action,
            QStringList{QStringLiteral("txtFileName")} + passwords + kFileTail +
                QStringList{QString::fromLatin1(action), QStringLiteral("cmdClose")},
            operand};
}

std::vector<DialogCase> dialogCases()
{
    const QStringList twoPasswords{QStringLiteral("txtPassword1"), QStringLiteral("txtPassword2")};
    return {
        fileCase<FrmEncrypt>("Encrypt", "a.txt", "cmdEncrypt", twoPasswords),
        fileCase<FrmDecrypt>("Decrypt", "a.txt.zqv", "cmdDecrypt", {QStringLiteral("txtPassword")}),
        fileCase<FrmSelfExtracting>("SelfExtracting", "a.txt", "cmdMake", twoPasswords),
        {"Folder",
         [](const TempDir& d, RecordingMessenger& m) { return openCipher<FrmEncryptFolder>(d, m, "folder"); },
         "cmdEncrypt",
         {QStringLiteral("txtFileName"),
          QStringLiteral("txtPassword1"),
          QStringLiteral("txtPassword2"),
          QStringLiteral("txtOutput"),
          QStringLiteral("cmdBrowse"),
          QStringLiteral("optCompress_0"),
          QStringLiteral("CompressionLevel"),
          QStringLiteral("optCompress_1"),
          QStringLiteral("chkPassword"),
          QStringLiteral("chkExe"),
          QStringLiteral("chkRecursive"),
          QStringLiteral("cmdEncrypt"),
          QStringLiteral("cmdClose")},
         "folder/inner.txt"},
        {"Wipe",
         [](const TempDir& d, RecordingMessenger& m) -> std::unique_ptr<QDialog> {
             writeFile(d.file("a.txt"), "keep me");
             auto dialog = std::make_unique<FrmWipe>(q(d.file("a.txt")), m, enginetest::buildLibraryWiper());
             EXPECT_TRUE(dialog->load());
             return dialog;
         },
         "",
         {QStringLiteral("lvFiles"), QStringLiteral("cmdShred"), QStringLiteral("cmdClose")},
         "a.txt"},
    };
}

class DialogKeyboardTest : public ::testing::TestWithParam<DialogCase>
{
protected:
    void SetUp() override
    {
        dialog = GetParam().open(dir, messenger);
        dialog->show();
        QApplication::setActiveWindow(dialog.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    }

    void pressEnterOn(const char* name)
    {
        auto* widget = child<QWidget>(dialog.get(), name);
        widget->setFocus();
        ASSERT_EQ(dialog->focusWidget(), widget);
        QTest::keyClick(widget, Qt::Key_Return);
    }

    TempDir dir;
    RecordingMessenger messenger;
    std::unique_ptr<QDialog> dialog;
};

TEST_P(DialogKeyboardTest, EnterOnCloseClosesAndTouchesNothing)
{
    const std::string before = listFolder(dir.path());
    pressEnterOn("cmdClose");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(listFolder(dir.path()), before);
    EXPECT_TRUE(exists(dir.file(GetParam().sourceFile)));
    EXPECT_TRUE(messenger.shown.empty());
}

TEST_P(DialogKeyboardTest, EnterOnBrowseOnlyBrowses)
{
    if (dialog->findChild<QPushButton*>(QStringLiteral("cmdBrowse")) == nullptr)
        GTEST_SKIP() << "no Browse here";
    const std::string before = listFolder(dir.path());
    pressEnterOn("cmdBrowse");
    EXPECT_EQ(messenger.saveDialogs.size(), 1u);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(listFolder(dir.path()), before);
}

TEST_P(DialogKeyboardTest, EnterInATextBoxPressesTheActionAndOnlyThere)
{
    if (*GetParam().action == '\0') {
        // The wipe dialog has no default: Enter in the list wipes nothing.
        pressEnterOn("lvFiles");
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_TRUE(exists(dir.file(GetParam().sourceFile)));
        return;
    }
    auto* action = child<QPushButton>(dialog.get(), GetParam().action);
    QSignalSpy pressed(action, &QPushButton::clicked);
    pressEnterOn("txtOutput");
    EXPECT_EQ(pressed.count(), 1);
}

TEST_P(DialogKeyboardTest, TabFollowsTheVisualOrder)
{
    QStringList visited;
    for (QWidget* w = dialog->nextInFocusChain(); w != dialog.get(); w = w->nextInFocusChain()) {
        if ((w->focusPolicy() & Qt::TabFocus) != 0 && w->isVisibleTo(dialog.get()) && w->isEnabled())
            visited << w->objectName();
    }
    EXPECT_EQ(visited, GetParam().tabOrder);
}

TEST_P(DialogKeyboardTest, LoadCentresTheDialogOnItsScreen)
{
    const QPoint centre = dialog->screen()->availableGeometry().center();
    // Within a frame's width: the window manager may add one.
    EXPECT_LE((dialog->geometry().center() - centre).manhattanLength(), 16);
}

INSTANTIATE_TEST_SUITE_P(AllDialogs, DialogKeyboardTest, ::testing::ValuesIn(dialogCases()), [](const auto& info) {
    return std::string(info.param.name);
});

TEST(WipeDialogKeyboardTest, EnterOnWipeWipes)
{
    TempDir dir;
    RecordingMessenger messenger;
    writeFile(dir.file("a.txt"), "gone soon");
    FrmWipe dialog(q(dir.file("a.txt")), messenger, enginetest::buildLibraryWiper());
    ASSERT_TRUE(dialog.load());
    dialog.show();
    QSignalSpy finished(&dialog, &FrmWipe::wipeFinished);
    auto* wipe = child<QPushButton>(&dialog, "cmdShred");
    wipe->setFocus();
    QTest::keyClick(wipe, Qt::Key_Return);
    ASSERT_TRUE(finished.count() == 1 || finished.wait(20000));
    EXPECT_EQ(listFolder(dir.path()), "");
}

TEST(MessageBoxKeyboardTest, EnterPressesTheFocusedButtonNotTheDefault)
{
    QWidget window;
    window.show();
    zqvgui::Messenger messenger;
    bool pressedFocused = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->parentWidget(), &window);
        QAbstractButton* yes = box->button(QMessageBox::Yes);
        yes->setFocus();
        QTest::keyClick(yes, Qt::Key_Return);
        pressedFocused = true;
    });
    EXPECT_TRUE(messenger.question(&window, QStringLiteral("ZQV"), QStringLiteral("Replace?")))
        << "No is the default; Enter on the focused Yes must answer yes";
    EXPECT_TRUE(pressedFocused);
}

std::vector<DialogCase> cipherDialogCases()
{
    std::vector<DialogCase> cases = dialogCases();
    cases.pop_back(); // the wipe dialog has no password and no form rows
    return cases;
}

class CipherDialogLayoutTest : public ::testing::TestWithParam<DialogCase>
{
};

TEST_P(CipherDialogLayoutTest, PasswordBoxesEchoStarsAndRowsStayTogether)
{
    TempDir dir;
    RecordingMessenger messenger;
    auto dialog = GetParam().open(dir, messenger);
    auto* operation = static_cast<OperationDialog*>(dialog.get());
    dialog->show();
    for (QLineEdit* box : {operation->txtPassword1, operation->txtPassword2}) {
        if (box == nullptr)
            continue;
        EXPECT_EQ(box->echoMode(), QLineEdit::Password);
        EXPECT_EQ(box->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, box), int('*'));
    }

    const int gap = operation->txtOutput->y() - operation->txtFileName->y();
    const int closeY = operation->cmdClose->y();
    dialog->resize(dialog->width(), dialog->height() + 300);
    QApplication::processEvents();
    EXPECT_EQ(operation->txtOutput->y() - operation->txtFileName->y(), gap) << "the rows keep together";
    EXPECT_EQ(operation->txtFileName->height(), operation->txtOutput->height());
    EXPECT_GE(operation->cmdClose->y(), closeY + 250) << "the buttons stay at the bottom";
}

INSTANTIATE_TEST_SUITE_P(CipherDialogs,
                         CipherDialogLayoutTest,
                         ::testing::ValuesIn(cipherDialogCases()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
