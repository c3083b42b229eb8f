#include "FrmDecrypt.h"

#include <QPushButton>

namespace engine {

FrmDecrypt::FrmDecrypt(QString operand, Messenger& messenger, QWidget* parent)
    : OperationDialog(std::move(operand), messenger, parent)
{
    setObjectName(QStringLiteral("frmDecrypt"));
    setWindowTitle(QStringLiteral("ZQV - Decrypt File"));
    // No filter for the decrypted file: any name goes.
    cmdDecrypt = buildFileForm({false,
                                QStringLiteral("Encrypted File:"),
                                QStringLiteral("Wipe encrypted file after decrypting"),
                                QStringLiteral("cmdDecrypt"),
                                QStringLiteral("&Decrypt"),
                                QString()});
    txtPassword = txtPassword1;
    connect(cmdDecrypt, &QPushButton::clicked, this, &FrmDecrypt::cmdDecrypt_Click);
}

QString FrmDecrypt::proposedOutput() const
{
    // The start-up checks guarantee the ".zqv" this drops.
    return m_operand.left(std::max<qsizetype>(0, m_operand.size() - 4));
}

void FrmDecrypt::cmdDecrypt_Click()
{
    // Nothing is checked first: an empty password is tried like any other.
    if (!isBusy())
        performFileAction(FileAction::Decrypt, QString());
}

} // namespace engine
