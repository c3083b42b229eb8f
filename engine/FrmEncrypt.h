#pragma once

#include "OperationDialog.h"

namespace engine {

// Encrypts the operand into a ".zqv" file with a password typed twice.
class FrmEncrypt : public OperationDialog
{
public:
    FrmEncrypt(QString operand, Messenger& messenger, QWidget* parent = nullptr);

    QPushButton* cmdEncrypt = nullptr;

private:
    // The output must carry the encrypted extension.
    [[nodiscard]] bool outputAccepted() override;
};

} // namespace engine
