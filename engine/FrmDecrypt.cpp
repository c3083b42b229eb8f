#include "FrmDecrypt.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "CryptoModule.h"
#include "EngineMessages.h"
#include "FormParts.h"

namespace engine {

FrmDecrypt::FrmDecrypt(QString operand, Messenger& messenger, QWidget* parent)
    : OperationDialog(std::move(operand), messenger, parent)
{
    setObjectName(QStringLiteral("frmDecrypt"));
    setWindowTitle(QStringLiteral("ZQV - Decrypt File"));
    // No filter for the decrypted file: any name goes.
    const FileForm form = buildFileForm({false,
                                         QStringLiteral("Encrypted File:"),
                                         QStringLiteral("Wipe encrypted file after decrypting"),
                                         QStringLiteral("cmdDecrypt"),
                                         QStringLiteral("&Decrypt"),
                                         QString()});
    txtPassword = form.password1;
    txtFileName = form.fileName;
    txtOutput = form.output;
    cmdBrowse = form.browse;
    chkWipe = form.wipe;
    cmdDecrypt = form.action;
    cmdClose = form.close;
    ProgressBar1 = form.progress;
    connect(cmdDecrypt, &QPushButton::clicked, this, &FrmDecrypt::cmdDecrypt_Click);
}

bool FrmDecrypt::load()
{
    txtFileName->setText(m_operand);
    txtOutput->setText(m_operand.left(std::max<qsizetype>(0, m_operand.size() - 4)));
    txtPassword->setFocus();
    return true;
}

void FrmDecrypt::cmdDecrypt_Click()
{
    if (isBusy())
        return;
    CipherOptions options;
    if (!confirmReplace(*this, txtOutput->text(), options.replaceExisting)) {
        txtOutput->setFocus();
        return;
    }
    options.verify = chkWipe->isChecked();

    if (!DecryptFileWithPassword(*this, txtFileName->text(), txtOutput->text(), txtPassword->text(), options)) {
        txtPassword->setFocus();
        return;
    }
    finishSucceeded(chkWipe, txtFileName->text());
}

} // namespace engine
