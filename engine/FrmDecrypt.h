#pragma once

#include "OperationDialog.h"

class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace engine {

// Decrypts a ".zqv" file with its password.
class FrmDecrypt : public OperationDialog
{
    Q_OBJECT

public:
    FrmDecrypt(QString operand, Messenger& messenger, QWidget* parent = nullptr);

    [[nodiscard]] bool load();

    QLineEdit* txtPassword = nullptr;
    QLineEdit* txtFileName = nullptr;
    QLineEdit* txtOutput = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QCheckBox* chkWipe = nullptr;
    QPushButton* cmdDecrypt = nullptr;
    QPushButton* cmdClose = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

private:
    void cmdDecrypt_Click();
};

} // namespace engine
