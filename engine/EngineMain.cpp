#include "EngineMain.h"

#include <QApplication>
#include <thread>

#include <UnnamedOutput.h>
#include <cryptelle/Version.h>

#include "AppIcon.h"
#include "CommandLine.h"
#include "EngineMessages.h"
#include "FrmDecrypt.h"
#include "FrmEncrypt.h"
#include "FrmEncryptFolder.h"
#include "FrmSelfExtracting.h"
#include "FrmWipe.h"

namespace engine {
namespace {

// Runs the dialog's load handler before showing it; a dialog that cannot load
// ends the engine.
template <typename Dialog> QDialog* showLoaded(Dialog* dialog)
{
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (!dialog->load()) {
        delete dialog;
        return nullptr;
    }
    dialog->show();
    return dialog;
}

} // namespace

QDialog* startEngine(const QString& arguments, Messenger& messenger)
{
    const StartupDecision decision = decideStartup(arguments);
    if (!decision.errorMessage.isEmpty()) {
        messenger.message(nullptr, QStringLiteral("ZQV"), decision.errorMessage, MessageIcon::Critical);
        return nullptr;
    }
    switch (decision.operation) {
    case Operation::Wipe:
        return showLoaded(new FrmWipe(decision.operand, messenger));
    case Operation::Encrypt:
        return showLoaded(new FrmEncrypt(decision.operand, messenger));
    case Operation::Decrypt:
        return showLoaded(new FrmDecrypt(decision.operand, messenger));
    case Operation::SelfExtracting:
        return showLoaded(new FrmSelfExtracting(decision.operand, messenger));
    case Operation::EncryptFolder:
        return showLoaded(new FrmEncryptFolder(decision.operand, messenger));
    case Operation::None:
        break;
    }
    return nullptr;
}

int runEngine(int argc, char** argv)
{
    const QString arguments = argumentString(argc, argv);
    // Qt gets none of the arguments: the operand is a path, and a path such as
    // "-reverse" or "-platform" must not be read as an option of Qt's.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(programTitle());
    QApplication::setApplicationVersion(QString::fromLatin1(cryptelle::kVersionString));
    // Docks and task bars group the dialogs with Cryptelle and show its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("cryptelle"));
    QApplication::setWindowIcon(cryptelle::applicationIcon());
    // Partial outputs that killed runs left on file systems without unnamed
    // files are overwritten and removed beside the dialog, not before it.
    const std::jthread leftovers(cryptelle::wipeRecordedLeftovers);
    Messenger messenger;
    if (startEngine(arguments, messenger) == nullptr)
        return 1;
    const int status = QApplication::exec();
    return status == 0 && operationDone() ? 0 : 1;
}

} // namespace engine
