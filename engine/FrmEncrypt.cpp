#include "FrmEncrypt.h"

namespace engine {

FrmEncrypt::FrmEncrypt(QString operand, Messenger& messenger, QWidget* parent)
    : OperationDialog(std::move(operand), messenger, parent)
{
    setObjectName(QStringLiteral("frmEncrypt"));
    setWindowTitle(QStringLiteral("ZQV - Encrypt File"));
    FileForm form;
    form.fileLabel = QStringLiteral("File Name:");
    form.wipeCaption = QStringLiteral("Wipe original file after encrypting");
    form.actionName = QStringLiteral("cmdEncrypt");
    form.actionCaption = QStringLiteral("&Encrypt");
    form.browseFilter = QStringLiteral("Encrypted File (*.zqv)");
    form.failureText = QStringLiteral("The file could not be encrypted.");
    form.cancelledWork = QStringLiteral("Encrypting ");
    form.routine = EncryptFileWithPassword;
    form.proposedOutput = [](const QString& operand) { return operand + QLatin1String(".zqv"); };
    form.focusMissingPassword = true;
    cmdEncrypt = buildFileForm(std::move(form));
}

bool FrmEncrypt::outputAccepted()
{
    return requireOutputExtension(QStringLiteral(".zqv"));
}

} // namespace engine
