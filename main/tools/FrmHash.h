#pragma once

#include <QDialog>
#include <atomic>

#include "Crypto.h"
#include "WorkRunner.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace zqvtools {

class Md5Library;

// Shows the SHA-256 and MD5 values of one file. The window computes them
// itself once it is shown (or when computeValues() is called), off the
// interface thread, with a progress bar and Cancel for files that take more
// than a moment. Cancel, Escape or closing stops the reading and closes.
class FrmHash : public QDialog
{
    Q_OBJECT

public:
    // `md5` defaults to the library in the program folder.
    explicit FrmHash(QWidget* parent = nullptr, Md5Library* md5 = nullptr);

    // Puts the file's full path into txtFile; the values follow when shown.
    void load(const QString& path);
    // Computes both values now and fills the boxes; returns when done.
    void computeValues();
    [[nodiscard]] bool isComputing() const { return m_runner.isBusy(); }

    QLabel* Label1 = nullptr;
    QLineEdit* txtFile = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtSHA = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* txtMD5 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdOk = nullptr;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void setProgressVisible(bool visible);

    zqvcrypto::Crypto CryptoCtrl;
    Md5Library* m_md5;
    zqvgui::WorkRunner m_runner;
    QTimer* m_slowTimer = nullptr;
    QString m_path;
    std::atomic<bool> m_cancel{false};
    bool m_computed = false;
    bool m_closeWhenDone = false;
};

} // namespace zqvtools
