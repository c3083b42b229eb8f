#pragma once

#include <QDialog>
#include <atomic>
#include <functional>
#include <initializer_list>
#include <vector>

#include <NonCopyable.h>

#include "Crypto.h"
#include "CryptoModule.h"
#include "EngineMessages.h"
#include "WipeFile.h"
#include "WorkRunner.h"

class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace engine {

// What the ciphering dialogs share: their common controls, the crypto
// control, the progress bar, the Browse procedure, the keyboard and long work
// that keeps the window alive.
class OperationDialog : public QDialog
{
    Q_OBJECT

public:
    OperationDialog(QString operand, Messenger& messenger, QWidget* parent = nullptr);

    // Fills the fields from the operand. False when the dialog cannot be
    // shown; the user has then been told why.
    [[nodiscard]] bool load();

    [[nodiscard]] zqvcrypto::Crypto& CryptoCtrl() { return m_crypto; }
    [[nodiscard]] Messenger& messenger() { return m_messenger; }
    [[nodiscard]] bool isBusy() const { return m_runner.isBusy(); }
    [[nodiscard]] OperationTools& tools() { return m_tools; }
    // The wipe used after a successful operation; the library's by default.
    void setWiper(Wiper wiper) { m_tools.wiper = std::move(wiper); }
    // The file or folder operated on; the read-only box only shows it.
    [[nodiscard]] const QString& sourcePath() const { return m_operand; }

    QLineEdit* txtPassword1 = nullptr;
    QLineEdit* txtPassword2 = nullptr; // null where the password is typed once
    QLineEdit* txtFileName = nullptr;
    QLineEdit* txtOutput = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QCheckBox* chkWipe = nullptr; // null where there is nothing to wipe
    QPushButton* cmdClose = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

protected:
    // The cipher routine a file dialog runs: EncryptFileWithPassword and its siblings.
    using FileRoutine = std::function<CipherOutcome(OperationTools&,
                                                    const QString& source,
                                                    const QString& destination,
                                                    const QString& password,
                                                    const CipherOptions&)>;
    // A check made before the replace question, where the answer needs the
    // password (the decrypt dialog's); false when the user has been told why.
    using PasswordCheck = std::function<bool(OperationTools&, const QString& source, const QString& password)>;

    // The form the file dialogs share: the file, the password (typed twice
    // for a new file), the output with Browse, the wipe box, the progress bar,
    // the action and Close, with the tab order of the layout; and what the
    // dialog does with it. Returns the action button.
    struct FileForm
    {
        QString fileLabel;
        QString wipeCaption;
        QString actionName;
        QString actionCaption;
        QString browseFilter;
        QString failureText; // the dialog's own sentence after the routine's; empty for none
        FileRoutine routine;
        std::function<QString(const QString& operand)> proposedOutput;
        // A new file needs a password typed twice; an existing one tries any.
        bool newFile = true;
        // Where the password is missing, whether the focus moves to it.
        bool focusMissingPassword = false;
        PasswordCheck checkBeforeReplace; // null for none
        // What is said when the user stops the work ("Encrypting "); empty where it cannot stop.
        QString cancelledWork;
    };
    QPushButton* buildFileForm(FileForm form);

    // The output the dialog proposes from the operand at load.
    void setProposedOutput(std::function<QString(const QString& operand)> propose)
    {
        m_proposedOutput = std::move(propose);
    }
    // A check of the output name between the password checks; true by default.
    [[nodiscard]] virtual bool outputAccepted() { return true; }
    // Whether the operand can be worked on at all; tells the user when not.
    [[nodiscard]] virtual bool operandAccepted() { return true; }

    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void keyPressEvent(QKeyEvent* event) override;

    // Prepares the progress bar, hidden until the first progress event.
    QProgressBar* makeProgressBar();
    // The button Enter presses from a text or check box, and the controls
    // disabled while work runs.
    void setActionButton(QPushButton* action, std::initializer_list<QWidget*> workControls);
    // Asks for a file name to save to and puts it into the output box; cancel
    // changes nothing, and a name that does not exist yet is asked about.
    void browse(const QString& filter);
    // The shared checks: a password at all (focus moves to it when asked),
    // and the confirmation typed exactly the same.
    [[nodiscard]] bool requirePassword(bool moveFocus);
    [[nodiscard]] bool requireMatchingPasswords();
    // The output ends exactly in `extension` (".zqv", ".zip"); otherwise says
    // so and moves the focus to the output.
    [[nodiscard]] bool requireOutputExtension(const QString& extension);
    // Asks before the output is replaced, once per output name the user agreed to.
    [[nodiscard]] bool confirmReplaceOnce(const QString& destination, bool& replace);
    // After the dialog's own checks: runs the form's routine with the wipe
    // box's state taken once (the box stays disabled meanwhile), wipes the
    // source after a read-back, and unloads on success.
    void performFileAction();
    void finishFailed(const QString& text);
    // While it lives, Close, Escape and the window's close box ask the work
    // to stop instead of being refused; Close stays enabled for that.
    class CancelScope : private cryptelle::NonCopyable
    {
    public:
        explicit CancelScope(OperationDialog& dialog);
        ~CancelScope();

    private:
        OperationDialog& m_dialog;
        QString m_closeText;
    };
    [[nodiscard]] CancelScope allowCancel() { return CancelScope(*this); }
    [[nodiscard]] bool cancelRequested() const { return m_cancel.load(); }

    // Shows the progress bar at this value; call on the interface thread.
    void onProgress(int percent);
    // The same, from any thread.
    void postProgress(int percent);

    const QString m_operand;

private:
    void passwordRejected();
    // The action button of the file dialogs: the shared checks in their
    // order, then the operation.
    void fileAction_Click();

    Messenger& m_messenger;
    zqvcrypto::Crypto m_crypto;
    zqvgui::WorkRunner m_runner;
    OperationTools m_tools;
    void requestCancel();

    QPushButton* m_action = nullptr;
    QString m_replaceAgreed;
    std::atomic<bool> m_cancel = false;
    bool m_cancellable = false;
    std::vector<QWidget*> m_workControls;
    std::function<QString(const QString&)> m_proposedOutput;
    FileForm m_form;
};

} // namespace engine
