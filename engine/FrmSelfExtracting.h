#pragma once

#include "OperationDialog.h"

class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace engine {

// Turns one file into an encrypted program that extracts itself with the password.
class FrmSelfExtracting : public OperationDialog
{
    Q_OBJECT

public:
    FrmSelfExtracting(QString operand, Messenger& messenger, QWidget* parent = nullptr);

    [[nodiscard]] bool load();

    QLineEdit* txtPassword1 = nullptr;
    QLineEdit* txtPassword2 = nullptr;
    QLineEdit* txtFileName = nullptr;
    QLineEdit* txtOutput = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QCheckBox* chkWipe = nullptr;
    QPushButton* cmdMake = nullptr;
    QPushButton* cmdClose = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

private:
    void cmdMake_Click();
};

} // namespace engine
