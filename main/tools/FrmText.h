#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

#include "Crypto.h"
#include "TextTool.h"

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
// such ciphertext back into text. The action runs off the interface thread
// with a Cancel; the window stays responsive meanwhile.
class FrmText : public QDialog
{
    Q_OBJECT

public:
    explicit FrmText(zqvgui::Messenger& messenger, QWidget* parent = nullptr);
    ~FrmText() override;

    // The key-derivation cost of new messages; tests lower it.
    void setKdfParams(const zqvcrypto::Argon2Params& params) { CryptoCtrl.setKdfParams(params); }

    // What an action runs on its worker thread; performTextAction unless a
    // test puts its own in.
    using Performer = std::function<TextActionResult(
        const zqvcrypto::Crypto& control, int algorithm, const QString& key, const QString& input, TextAction action)>;
    void setPerformer(Performer performer) { m_performer = std::move(performer); }
    [[nodiscard]] bool isWorking() const { return m_job != nullptr; }

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
    // Shown only while an action runs.
    QPushButton* cmdCancel = nullptr;

public slots:
    // Escape and the window's close: cancels a running action; otherwise
    // asks before typed text is lost.
    void reject() override;

private:
    struct Job;

    void optAction_Click(int index);
    void chkMask_Click();
    void cmdAction_Click();
    void cmdFromClipboard_Click();
    void cmdCopy_Click();
    void cmdFromFile_Click();
    void cmdSaveAs_Click();
    void cmdCancel_Click();
    void setWorking(bool working);

    zqvgui::Messenger& m_messenger;
    zqvcrypto::Crypto CryptoCtrl;
    Performer m_performer = performTextAction;
    std::shared_ptr<Job> m_job;
    std::vector<QWidget*> m_lockedWhileWorking;
    std::vector<QWidget*> m_disabledByWork;
};

} // namespace zqvtools
