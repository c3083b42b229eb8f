#include "CommandLine.h"

#include <QFile>
#include <QStringList>

namespace engine {

QString argumentString(int argc, const char* const* argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
    return zqvcore::argumentString(arguments);
}

StartupDecision decideStartup(const QString& arguments)
{
    StartupDecision decision;
    const zqvcore::EngineRequest request = zqvcore::parseArgumentString(arguments);
    if (!request.valid)
        return decision;
    decision.operand = request.operand;
    const QString& operand = decision.operand;
    const QString alreadyEncrypted = QLatin1String("The file ") + operand + QLatin1String(" is already encrypted.");

    switch (request.operation) {
    case Operation::Encrypt:
    case Operation::SelfExtracting:
        if (HasEncryptedExtension(operand))
            decision.errorMessage = alreadyEncrypted;
        else
            decision.operation = request.operation;
        break;
    case Operation::Decrypt:
        if (!HasEncryptedExtension(operand))
            decision.errorMessage = QLatin1String("The file ") + operand + QLatin1String(" is not encrypted.");
        else
            decision.operation = Operation::Decrypt;
        break;
    case Operation::EncryptFolder:
        if (HasEncryptedExtension(operand))
            decision.errorMessage = alreadyEncrypted;
        else if (IsNotPlainFile(operand))
            decision.operation = Operation::EncryptFolder;
        else
            decision.errorMessage = operand + QLatin1String(" is not a valid folder.");
        break;
    case Operation::Wipe:
        decision.operation = Operation::Wipe;
        break;
    case Operation::None:
        break;
    }
    return decision;
}

} // namespace engine
