#include "FrmDecrypt.h"

#include "CryptoModule.h"
#include "DialogParts.h"
#include "Messenger.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace engine {

FrmDecrypt::FrmDecrypt(QString operand, Messenger& messenger, QWidget* parent)
    : OperationDialog(std::move(operand), messenger, parent)
{
    setObjectName(QStringLiteral("frmDecrypt"));
    setWindowTitle(QStringLiteral("ZQV - Decrypt File"));

    txtPassword = makePasswordField(this, QStringLiteral("txtPassword"));
    txtFileName = makeReadOnlyField(this, QStringLiteral("txtFileName"));
    txtOutput = makeField(this, QStringLiteral("txtOutput"));
    cmdBrowse = makeButton(this, QStringLiteral("cmdBrowse"), QStringLiteral("&Browse"));
    chkWipe = makeCheckBox(this, QStringLiteral("chkWipe"), QStringLiteral("Wipe encrypted file after decrypting"));
    cmdDecrypt = makeButton(this, QStringLiteral("cmdDecrypt"), QStringLiteral("&Decrypt"));
    cmdClose = makeButton(this, QStringLiteral("cmdClose"), QStringLiteral("&Close"));
    ProgressBar1 = makeProgressBar();
    cmdDecrypt->setDefault(true);
    setWorkControls({cmdDecrypt, cmdClose, cmdBrowse});

    FormLayout form(this);
    form.addRow(QStringLiteral("&Password:"), txtPassword);
    form.addRow(QStringLiteral("Encrypted File:"), txtFileName);
    form.addRow(QStringLiteral("&Save File As:"), txtOutput, cmdBrowse);
    form.addWide(chkWipe);
    form.addWide(ProgressBar1);
    form.addButtons({cmdDecrypt, cmdClose});

    setTabOrder(txtPassword, txtOutput);
    setTabOrder(txtOutput, cmdBrowse);
    setTabOrder(cmdBrowse, chkWipe);
    setTabOrder(chkWipe, cmdDecrypt);
    setTabOrder(cmdDecrypt, cmdClose);

    connect(cmdBrowse, &QPushButton::clicked, this, [this] { browse(txtOutput, QString()); });
    connect(cmdDecrypt, &QPushButton::clicked, this, &FrmDecrypt::cmdDecrypt_Click);
    connect(cmdClose, &QPushButton::clicked, this, &FrmDecrypt::close);
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

    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!DecryptFileWithPassword(*this, txtFileName->text(), txtOutput->text(), txtPassword->text(), options)) {
        QApplication::restoreOverrideCursor();
        txtPassword->setFocus();
        return;
    }
    finishSucceeded(chkWipe, txtFileName->text());
}

} // namespace engine
