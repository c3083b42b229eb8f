#include "FrmDecrypt.h"

namespace engine {

FrmDecrypt::FrmDecrypt(QString operand, Messenger& messenger, QWidget* parent)
    : OperationDialog(std::move(operand), messenger, parent)
{
    setObjectName(QStringLiteral("frmDecrypt"));
    setWindowTitle(QStringLiteral("ZQV - Decrypt File"));
    // No filter for the decrypted file, and no sentence of the dialog's own:
    // the routine's says it all.
    cmdDecrypt = buildFileForm({FileAction::Decrypt,
                                QStringLiteral("Encrypted File:"),
                                QStringLiteral("Wipe encrypted file after decrypting"),
                                QStringLiteral("cmdDecrypt"),
                                QStringLiteral("&Decrypt"),
                                QString(),
                                QString()});
    txtPassword = txtPassword1;
}

} // namespace engine
