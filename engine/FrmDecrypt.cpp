#include "FrmDecrypt.h"

namespace engine {

FrmDecrypt::FrmDecrypt(QString operand, Messenger& messenger, QWidget* parent)
    : OperationDialog(std::move(operand), messenger, parent)
{
    setObjectName(QStringLiteral("frmDecrypt"));
    setWindowTitle(QStringLiteral("ZQV - Decrypt File"));
    // No filter for the decrypted file, and no sentence of the dialog's own:
    // the routine's says it all.
    FileForm form;
    form.fileLabel = QStringLiteral("Encrypted File:");
    form.wipeCaption = QStringLiteral("Wipe encrypted file after decrypting");
    form.actionName = QStringLiteral("cmdDecrypt");
    form.actionCaption = QStringLiteral("&Decrypt");
    form.cancelledWork = QStringLiteral("Decrypting ");
    form.routine = DecryptFileWithPassword;
    // The start-up checks guarantee the ".zqv" this drops.
    form.proposedOutput = [](const QString& operand) {
        return operand.left(std::max<qsizetype>(0, operand.size() - 4));
    };
    form.newFile = false;
    // Replacing a file is only asked about for a password that opens this one.
    form.checkBeforeReplace = CheckDecryptPassword;
    cmdDecrypt = buildFileForm(std::move(form));
    txtPassword = txtPassword1;
}

} // namespace engine
