#pragma once

#include "OperationDialog.h"

namespace engine {

// Decrypts a ".zqv" file with its password, typed once.
class FrmDecrypt : public OperationDialog
{
    Q_OBJECT

public:
    FrmDecrypt(QString operand, Messenger& messenger, QWidget* parent = nullptr);

    QLineEdit* txtPassword = nullptr; // the one password box, also txtPassword1
    QPushButton* cmdDecrypt = nullptr;

private:
    [[nodiscard]] QString proposedOutput() const override;
    void cmdDecrypt_Click();
};

} // namespace engine
