#pragma once

#include "OperationDialog.h"

namespace engine {

// Turns one file into an encrypted program that extracts itself with the password.
class FrmSelfExtracting : public OperationDialog
{
    Q_OBJECT

public:
    FrmSelfExtracting(QString operand, Messenger& messenger, QWidget* parent = nullptr);

    QPushButton* cmdMake = nullptr;

private:
    [[nodiscard]] QString proposedOutput() const override;
    void cmdMake_Click();
};

} // namespace engine
