#include "FrmEncrypt.h"

#include <QLineEdit>
#include <QPushButton>

#include "CommandLine.h"

namespace engine {

FrmEncrypt::FrmEncrypt(QString operand, Messenger& messenger, QWidget* parent)
    : OperationDialog(std::move(operand), messenger, parent)
{
    setObjectName(QStringLiteral("frmEncrypt"));
    setWindowTitle(QStringLiteral("ZQV - Encrypt File"));
    cmdEncrypt = buildFileForm({true,
                                QStringLiteral("File Name:"),
                                QStringLiteral("Wipe original file after encrypting"),
                                QStringLiteral("cmdEncrypt"),
                                QStringLiteral("&Encrypt"),
                                QStringLiteral("Encrypted File (*.zqv)")});
    connect(cmdEncrypt, &QPushButton::clicked, this, &FrmEncrypt::cmdEncrypt_Click);
}

QString FrmEncrypt::proposedOutput() const
{
    return m_operand + QLatin1String(".zqv");
}

void FrmEncrypt::cmdEncrypt_Click()
{
    if (isBusy() || !requirePassword(true))
        return;
    if (!HasEncryptedExtension(txtOutput->text())) {
        messenger().message(this,
                            programTitle(),
                            QStringLiteral("The encrypted file must have .zqv as the file extension."),
                            MessageIcon::Critical);
        txtOutput->setFocus();
        return;
    }
    if (requireMatchingPasswords())
        performFileAction(FileAction::Encrypt, QStringLiteral("The file could not be encrypted."));
}

} // namespace engine
