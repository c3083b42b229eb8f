#include "FrmEncrypt.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "CommandLine.h"
#include "CryptoModule.h"
#include "EngineMessages.h"
#include "FormParts.h"
#include "WipeFile.h"

namespace engine {

FrmEncrypt::FrmEncrypt(QString operand, Messenger& messenger, QWidget* parent)
    : OperationDialog(std::move(operand), messenger, parent)
{
    setObjectName(QStringLiteral("frmEncrypt"));
    setWindowTitle(QStringLiteral("ZQV - Encrypt File"));
    const FileForm form = buildFileForm({true,
                                         QStringLiteral("File Name:"),
                                         QStringLiteral("Wipe original file after encrypting"),
                                         QStringLiteral("cmdEncrypt"),
                                         QStringLiteral("&Encrypt"),
                                         QStringLiteral("Encrypted File (*.zqv)")});
    txtPassword1 = form.password1;
    txtPassword2 = form.password2;
    txtFileName = form.fileName;
    txtOutput = form.output;
    cmdBrowse = form.browse;
    chkWipe = form.wipe;
    cmdEncrypt = form.action;
    cmdClose = form.close;
    ProgressBar1 = form.progress;
    connect(cmdEncrypt, &QPushButton::clicked, this, &FrmEncrypt::cmdEncrypt_Click);
}

bool FrmEncrypt::load()
{
    txtFileName->setText(m_operand);
    txtOutput->setText(m_operand + QLatin1String(".zqv"));
    txtPassword1->setFocus();
    return true;
}

void FrmEncrypt::cmdEncrypt_Click()
{
    if (isBusy())
        return;
    if (!requirePassword(txtPassword1, true))
        return;
    if (!HasEncryptedExtension(txtOutput->text())) {
        messenger().message(this,
                            programTitle(),
                            QStringLiteral("The encrypted file must have .zqv as the file extension."),
                            MessageIcon::Critical);
        txtOutput->setFocus();
        return;
    }
    if (!requireMatchingPasswords(txtPassword1, txtPassword2))
        return;
    CipherOptions options;
    if (!confirmReplace(*this, txtOutput->text(), options.replaceExisting)) {
        txtOutput->setFocus();
        return;
    }
    // The original is only wiped once the new file has read back whole.
    options.verify = chkWipe->isChecked();

    const bool encrypted =
        EncryptFileWithPassword(*this, txtFileName->text(), txtOutput->text(), txtPassword1->text(), options);
    if (encrypted)
        finishSucceeded(chkWipe, txtFileName->text());
    else
        finishFailed(QStringLiteral("The file could not be encrypted."));
}

} // namespace engine
