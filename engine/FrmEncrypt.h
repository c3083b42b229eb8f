#pragma once

#include "OperationDialog.h"

namespace engine {

// Encrypts the operand into a ".zqv" file with a password typed twice.
class FrmEncrypt : public OperationDialog
{
    Q_OBJECT

public:
    FrmEncrypt(QString operand, Messenger& messenger, QWidget* parent = nullptr);

    QPushButton* cmdEncrypt = nullptr;

private:
    [[nodiscard]] QString proposedOutput() const override;
    void cmdEncrypt_Click();
};

} // namespace engine
