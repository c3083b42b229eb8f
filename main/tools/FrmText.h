#pragma once

#include <QDialog>

#include "Crypto.h"
#include "WorkRunner.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace zqvgui {
class Messenger;
}

namespace zqvtools {

// Encrypts a piece of text with a key into printable ciphertext, or turns
// such ciphertext back into text.
class FrmText : public QDialog
{
    Q_OBJECT

public:
    explicit FrmText(zqvgui::Messenger& messenger, QWidget* parent = nullptr);

    // The key-derivation cost of new messages; tests lower it.
    void setKdfParams(const zqvcrypto::Argon2Params& params) { CryptoCtrl.setKdfParams(params); }

    QLabel* Label1 = nullptr;
    QComboBox* cboAlgorithm = nullptr;
    QLabel* Label2 = nullptr;
    QRadioButton* optAction[2] = {nullptr, nullptr};
    QLabel* Label3 = nullptr;
    QLineEdit* txtKey = nullptr;
    QCheckBox* chkMask = nullptr;
    QLabel* lblAction = nullptr;
    QPlainTextEdit* txtInput = nullptr;
    QPushButton* cmdFromClipboard = nullptr;
    QPushButton* cmdFromFile = nullptr;
    QPushButton* cmdAction = nullptr;
    QLabel* lblResult = nullptr;
    QPlainTextEdit* txtOutput = nullptr;
    QPushButton* cmdCopy = nullptr;
    QPushButton* cmdSaveAs = nullptr;
    QPushButton* cmdOk = nullptr;
    QLabel* lblNote = nullptr;

public slots:
    void reject() override;

private:
    void optAction_Click(int index);
    void chkMask_Click();
    void cmdAction_Click();
    void cmdFromClipboard_Click();
    void cmdCopy_Click();
    void cmdFromFile_Click();
    void cmdSaveAs_Click();

    zqvgui::Messenger& m_messenger;
    zqvcrypto::Crypto CryptoCtrl;
    zqvgui::WorkRunner m_runner;
};

} // namespace zqvtools
