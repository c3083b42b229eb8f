#include "FrmSelfExtracting.h"

#include <QPushButton>

namespace engine {

FrmSelfExtracting::FrmSelfExtracting(QString operand, Messenger& messenger, QWidget* parent)
    : OperationDialog(std::move(operand), messenger, parent)
{
    setObjectName(QStringLiteral("frmSelfExtracting"));
    setWindowTitle(QStringLiteral("ZQV - Make Self-Extracting Exe"));
    cmdMake = buildFileForm({true,
                             QStringLiteral("File Name:"),
                             QStringLiteral("Wipe original file after making self-extracting exe"),
                             QStringLiteral("cmdMake"),
                             QStringLiteral("&Make"),
                             QStringLiteral("Executable File (*.exe)")});
    connect(cmdMake, &QPushButton::clicked, this, &FrmSelfExtracting::cmdMake_Click);
}

QString FrmSelfExtracting::proposedOutput() const
{
    return m_operand + QLatin1String(".exe");
}

void FrmSelfExtracting::cmdMake_Click()
{
    // Any output name goes; the focus stays where it is on a failed check.
    if (!isBusy() && requirePassword(false) && requireMatchingPasswords())
        performFileAction(FileAction::SelfExtracting, QStringLiteral("The self-extracting file could not be made."));
}

} // namespace engine
