#include "FrmSelfExtracting.h"

#include "CryptoModule.h"
#include "DialogParts.h"
#include "Messenger.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace engine {

FrmSelfExtracting::FrmSelfExtracting(QString operand, Messenger& messenger, QWidget* parent)
    : OperationDialog(std::move(operand), messenger, parent)
{
    setObjectName(QStringLiteral("frmSelfExtracting"));
    setWindowTitle(QStringLiteral("ZQV - Make Self-Extracting Exe"));

    txtPassword1 = makePasswordField(this, QStringLiteral("txtPassword1"));
    txtPassword2 = makePasswordField(this, QStringLiteral("txtPassword2"));
    txtFileName = makeReadOnlyField(this, QStringLiteral("txtFileName"));
    txtOutput = makeField(this, QStringLiteral("txtOutput"));
    cmdBrowse = makeButton(this, QStringLiteral("cmdBrowse"), QStringLiteral("&Browse"));
    chkWipe = makeCheckBox(this,
                           QStringLiteral("chkWipe"),
                           QStringLiteral("Wipe original file after making self-extracting exe"));
    cmdMake = makeButton(this, QStringLiteral("cmdMake"), QStringLiteral("&Make"));
    cmdClose = makeButton(this, QStringLiteral("cmdClose"), QStringLiteral("&Close"));
    ProgressBar1 = makeProgressBar();
    cmdMake->setDefault(true);
    setWorkControls({cmdMake, cmdClose, cmdBrowse});

    FormLayout form(this);
    form.addRow(QStringLiteral("&Password:"), txtPassword1);
    form.addRow(QStringLiteral("&Again:"), txtPassword2);
    form.addRow(QStringLiteral("File Name:"), txtFileName);
    form.addRow(QStringLiteral("&Save File As:"), txtOutput, cmdBrowse);
    form.addWide(chkWipe);
    form.addWide(ProgressBar1);
    form.addButtons({cmdMake, cmdClose});

    setTabOrder(txtPassword1, txtPassword2);
    setTabOrder(txtPassword2, txtOutput);
    setTabOrder(txtOutput, cmdBrowse);
    setTabOrder(cmdBrowse, chkWipe);
    setTabOrder(chkWipe, cmdMake);
    setTabOrder(cmdMake, cmdClose);

    connect(cmdBrowse, &QPushButton::clicked, this, [this] {
        browse(txtOutput, QStringLiteral("Executable File (*.exe)"));
    });
    connect(cmdMake, &QPushButton::clicked, this, &FrmSelfExtracting::cmdMake_Click);
    connect(cmdClose, &QPushButton::clicked, this, &FrmSelfExtracting::close);
}

bool FrmSelfExtracting::load()
{
    txtFileName->setText(m_operand);
    txtOutput->setText(m_operand + QLatin1String(".exe"));
    txtPassword1->setFocus();
    return true;
}

void FrmSelfExtracting::cmdMake_Click()
{
    if (isBusy())
        return;
    if (!requirePassword(txtPassword1, false) || !requireMatchingPasswords(txtPassword1, txtPassword2))
        return;
    CipherOptions options;
    if (!confirmReplace(*this, txtOutput->text(), options.replaceExisting)) {
        txtOutput->setFocus();
        return;
    }
    options.verify = chkWipe->isChecked();

    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (MakeSelfExtractingFile(*this, txtFileName->text(), txtOutput->text(), txtPassword1->text(), options))
        finishSucceeded(chkWipe, txtFileName->text());
    else
        finishFailed(QStringLiteral("The self-extracting file could not be made."));
}

} // namespace engine
