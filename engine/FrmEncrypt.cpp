#include "FrmEncrypt.h"

#include "CommandLine.h"
#include "CryptoModule.h"
#include "DialogParts.h"
#include "Messenger.h"
#include "WipeFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace engine {

FrmEncrypt::FrmEncrypt(QString operand, Messenger& messenger, QWidget* parent)
    : OperationDialog(std::move(operand), messenger, parent)
{
    setObjectName(QStringLiteral("frmEncrypt"));
    setWindowTitle(QStringLiteral("ZQV - Encrypt File"));

    txtPassword1 = makePasswordField(this, QStringLiteral("txtPassword1"));
    txtPassword2 = makePasswordField(this, QStringLiteral("txtPassword2"));
    txtFileName = makeReadOnlyField(this, QStringLiteral("txtFileName"));
    txtOutput = makeField(this, QStringLiteral("txtOutput"));
    cmdBrowse = makeButton(this, QStringLiteral("cmdBrowse"), QStringLiteral("&Browse"));
    chkWipe = makeCheckBox(this, QStringLiteral("chkWipe"), QStringLiteral("Wipe original file after encrypting"));
    cmdEncrypt = makeButton(this, QStringLiteral("cmdEncrypt"), QStringLiteral("&Encrypt"));
    cmdClose = makeButton(this, QStringLiteral("cmdClose"), QStringLiteral("&Close"));
    ProgressBar1 = makeProgressBar();
    cmdEncrypt->setDefault(true);
    setWorkControls({cmdEncrypt, cmdClose, cmdBrowse});

    FormLayout form(this);
    form.addRow(QStringLiteral("&Password:"), txtPassword1);
    form.addRow(QStringLiteral("&Again:"), txtPassword2);
    form.addRow(QStringLiteral("File Name:"), txtFileName);
    form.addRow(QStringLiteral("&Save File As:"), txtOutput, cmdBrowse);
    form.addWide(chkWipe);
    form.addWide(ProgressBar1);
    form.addButtons({cmdEncrypt, cmdClose});

    setTabOrder(txtPassword1, txtPassword2);
    setTabOrder(txtPassword2, txtOutput);
    setTabOrder(txtOutput, cmdBrowse);
    setTabOrder(cmdBrowse, chkWipe);
    setTabOrder(chkWipe, cmdEncrypt);
    setTabOrder(cmdEncrypt, cmdClose);

    connect(cmdBrowse, &QPushButton::clicked, this, [this] {
        browse(txtOutput, QStringLiteral("Encrypted File (*.zqv)"));
    });
    connect(cmdEncrypt, &QPushButton::clicked, this, &FrmEncrypt::cmdEncrypt_Click);
    connect(cmdClose, &QPushButton::clicked, this, &FrmEncrypt::close);
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

    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool encrypted =
        EncryptFileWithPassword(*this, txtFileName->text(), txtOutput->text(), txtPassword1->text(), options);
    if (encrypted)
        finishSucceeded(chkWipe, txtFileName->text());
    else
        finishFailed(QStringLiteral("The file could not be encrypted."));
}

} // namespace engine
