#include "FrmEncrypt.h"

namespace engine {

FrmEncrypt::FrmEncrypt(QString operand, Messenger& messenger, QWidget* parent)
    : OperationDialog(std::move(operand), messenger, parent)
{
    setObjectName(QStringLiteral("frmEncrypt"));
    setWindowTitle(QStringLiteral("ZQV - Encrypt File"));
    cmdEncrypt = buildFileForm({FileAction::Encrypt,
                                QStringLiteral("File Name:"),
                                QStringLiteral("Wipe original file after encrypting"),
                                QStringLiteral("cmdEncrypt"),
                                QStringLiteral("&Encrypt"),
                                QStringLiteral("Encrypted File (*.zqv)"),
                                QStringLiteral("The file could not be encrypted.")});
}

bool FrmEncrypt::outputAccepted()
{
    return requireOutputExtension(QStringLiteral(".zqv"));
}

} // namespace engine
