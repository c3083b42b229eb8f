#pragma once

#include <QDialog>
#include <functional>
#include <initializer_list>
#include <vector>

#include "Crypto.h"
#include "EngineMessages.h"
#include "WorkRunner.h"

class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace engine {

// What the ciphering dialogs share: the crypto control, the progress bar, the
// Browse procedure and long work that keeps the window alive.
class OperationDialog : public QDialog
{
    Q_OBJECT

public:
    OperationDialog(QString operand, Messenger& messenger, QWidget* parent = nullptr);

    [[nodiscard]] zqvcrypto::Crypto& CryptoCtrl() { return m_crypto; }
    [[nodiscard]] Messenger& messenger() { return m_messenger; }
    [[nodiscard]] bool isBusy() const { return m_runner.isBusy(); }

    // Runs `work` on a worker thread while this dialog keeps painting and its
    // progress bar moves; returns when the work is done.
    void runWork(const std::function<void()>& work);

protected:
    // The form the file dialogs share: the password (typed twice when asked),
    // the file, the output with Browse, the wipe box, the progress bar, the
    // action and Close, laid out with a matching tab order.
    struct FileFormText
    {
        bool confirmPassword = true;
        QString fileLabel;
        QString wipeCaption;
        QString actionName;
        QString actionCaption;
        QString browseFilter;
    };
    struct FileForm
    {
        QLineEdit* password1 = nullptr;
        QLineEdit* password2 = nullptr;
        QLineEdit* fileName = nullptr;
        QLineEdit* output = nullptr;
        QPushButton* browse = nullptr;
        QCheckBox* wipe = nullptr;
        QPushButton* action = nullptr;
        QPushButton* close = nullptr;
        QProgressBar* progress = nullptr;
    };
    FileForm buildFileForm(const FileFormText& text);

    void closeEvent(QCloseEvent* event) override;
    void reject() override;

    // Prepares the progress bar, hidden until the first progress event.
    QProgressBar* makeProgressBar();
    // Asks for a file name to save to and puts it into `output`; cancel changes nothing.
    void browse(QLineEdit* output, const QString& filter);
    // The controls that start or end work; they are disabled while work runs.
    void setWorkControls(std::initializer_list<QWidget*> controls) { m_runner.setControls(controls); }
    // The shared checks: a password at all (focus moves to it when asked),
    // and the confirmation typed exactly the same.
    [[nodiscard]] bool requirePassword(QLineEdit* password, bool moveFocus);
    [[nodiscard]] bool requireMatchingPasswords(QLineEdit* first, QLineEdit* second);
    // After the work: on success, wipe the source when asked and unload; on
    // failure, say so with the dialog's own sentence and stay.
    void finishSucceeded(const QCheckBox* wipe, const QString& source);
    void finishFailed(const QString& text);
    // Shows the progress bar at this value; call on the interface thread.
    void onProgress(int percent);
    // The same, from any thread.
    void postProgress(int percent);

    const QString m_operand;

private:
    Messenger& m_messenger;
    zqvcrypto::Crypto m_crypto;
    QProgressBar* m_progress = nullptr;
    zqvgui::WorkRunner m_runner;
};

} // namespace engine
