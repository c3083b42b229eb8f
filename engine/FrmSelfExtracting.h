#pragma once

#include "OperationDialog.h"

namespace engine {

// Turns one file into an encrypted program that extracts itself with the
// password. Any output name goes.
class FrmSelfExtracting : public OperationDialog
{
public:
    FrmSelfExtracting(QString operand, Messenger& messenger, QWidget* parent = nullptr);

    QPushButton* cmdMake = nullptr;
};

} // namespace engine
