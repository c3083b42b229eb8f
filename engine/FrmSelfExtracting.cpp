#include "FrmSelfExtracting.h"

namespace engine {

FrmSelfExtracting::FrmSelfExtracting(QString operand, Messenger& messenger, QWidget* parent)
    : OperationDialog(std::move(operand), messenger, parent)
{
    setObjectName(QStringLiteral("frmSelfExtracting"));
    setWindowTitle(QStringLiteral("ZQV - Make Self-Extracting Exe"));
    cmdMake = buildFileForm({FileAction::SelfExtracting,
                             QStringLiteral("File Name:"),
                             QStringLiteral("Wipe original file after making self-extracting exe"),
                             QStringLiteral("cmdMake"),
                             QStringLiteral("&Make"),
                             QStringLiteral("Executable File (*.exe)"),
                             QStringLiteral("The self-extracting file could not be made.")});
}

} // namespace engine
