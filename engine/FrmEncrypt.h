#pragma once

#include "OperationDialog.h"

class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace engine {

// Encrypts the operand into a ".zqv" file with a password typed twice.
class FrmEncrypt : public OperationDialog
{
    Q_OBJECT

public:
    FrmEncrypt(QString operand, Messenger& messenger, QWidget* parent = nullptr);

    [[nodiscard]] bool load();

    QLineEdit* txtPassword1 = nullptr;
    QLineEdit* txtPassword2 = nullptr;
    QLineEdit* txtFileName = nullptr;
    QLineEdit* txtOutput = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QCheckBox* chkWipe = nullptr;
    QPushButton* cmdEncrypt = nullptr;
    QPushButton* cmdClose = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

private:
    void cmdEncrypt_Click();
};

} // namespace engine
