#pragma once

#include "OperationDialog.h"

namespace engine {

// Decrypts a ".zqv" file with its password, typed once; any output name goes.
class FrmDecrypt : public OperationDialog
{
public:
    FrmDecrypt(QString operand, Messenger& messenger, QWidget* parent = nullptr);

    QLineEdit* txtPassword = nullptr; // the one password box, also txtPassword1
    QPushButton* cmdDecrypt = nullptr;
};

} // namespace engine
