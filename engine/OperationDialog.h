#pragma once

#include "Crypto.h"

#include <QDialog>

#include <functional>

class QLineEdit;
class QProgressBar;

namespace engine {

class Messenger;

// What the ciphering dialogs share: the crypto control, the progress bar, the
// Browse procedure and long work that keeps the window alive.
class OperationDialog : public QDialog
{
    Q_OBJECT

public:
    OperationDialog(QString operand, Messenger& messenger, QWidget* parent = nullptr);

    [[nodiscard]] zqvcrypto::Crypto& CryptoCtrl() { return m_crypto; }
    [[nodiscard]] Messenger& messenger() { return m_messenger; }
    [[nodiscard]] bool isBusy() const { return m_busy; }

    // Runs `work` on a worker thread while this dialog keeps painting and its
    // progress bar moves; returns when the work is done.
    void runWork(const std::function<void()>& work);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

    // Prepares the progress bar, hidden until the first progress event.
    QProgressBar* makeProgressBar();
    // Asks for a file name to save to and puts it into `output`; cancel changes nothing.
    void browse(QLineEdit* output, const QString& filter);
    // Enables or disables the controls that start or end work.
    virtual void setControlsEnabled(bool enabled) = 0;
    // Shows the progress bar at this value; call on the interface thread.
    void onProgress(int percent);
    // The same, from any thread.
    void postProgress(int percent);

    const QString m_operand;

private:

    Messenger& m_messenger;
    zqvcrypto::Crypto m_crypto;
    QProgressBar* m_progress = nullptr;
    bool m_busy = false;
};

} // namespace engine
