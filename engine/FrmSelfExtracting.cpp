#include "FrmSelfExtracting.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "CryptoModule.h"
#include "EngineMessages.h"
#include "FormParts.h"

namespace engine {

FrmSelfExtracting::FrmSelfExtracting(QString operand, Messenger& messenger, QWidget* parent)
    : OperationDialog(std::move(operand), messenger, parent)
{
    setObjectName(QStringLiteral("frmSelfExtracting"));
    setWindowTitle(QStringLiteral("ZQV - Make Self-Extracting Exe"));
    const FileForm form = buildFileForm({true,
                                         QStringLiteral("File Name:"),
                                         QStringLiteral("Wipe original file after making self-extracting exe"),
                                         QStringLiteral("cmdMake"),
                                         QStringLiteral("&Make"),
                                         QStringLiteral("Executable File (*.exe)")});
    txtPassword1 = form.password1;
    txtPassword2 = form.password2;
    txtFileName = form.fileName;
    txtOutput = form.output;
    cmdBrowse = form.browse;
    chkWipe = form.wipe;
    cmdMake = form.action;
    cmdClose = form.close;
    ProgressBar1 = form.progress;
    connect(cmdMake, &QPushButton::clicked, this, &FrmSelfExtracting::cmdMake_Click);
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

    if (MakeSelfExtractingFile(*this, txtFileName->text(), txtOutput->text(), txtPassword1->text(), options))
        finishSucceeded(chkWipe, txtFileName->text());
    else
        finishFailed(QStringLiteral("The self-extracting file could not be made."));
}

} // namespace engine
