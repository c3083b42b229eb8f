#include "FrmSelfExtracting.h"

namespace engine {

FrmSelfExtracting::FrmSelfExtracting(QString operand, Messenger& messenger, QWidget* parent)
    : OperationDialog(std::move(operand), messenger, parent)
{
    setObjectName(QStringLiteral("frmSelfExtracting"));
    setWindowTitle(QStringLiteral("ZQV - Make Self-Extracting Exe"));
    FileForm form;
    form.fileLabel = QStringLiteral("File Name:");
    form.wipeCaption = QStringLiteral("Wipe original file after making self-extracting exe");
    form.actionName = QStringLiteral("cmdMake");
    form.actionCaption = QStringLiteral("&Make");
    form.browseFilter = QStringLiteral("Executable File (*.exe)");
    form.failureText = QStringLiteral("The self-extracting file could not be made.");
    form.cancelledWork = QStringLiteral("Making a self-extracting file of ");
    form.routine = MakeSelfExtractingFile;
    form.proposedOutput = [](const QString& operand) { return operand + QLatin1String(".exe"); };
    cmdMake = buildFileForm(std::move(form));
}

} // namespace engine
