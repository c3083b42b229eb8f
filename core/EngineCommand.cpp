#include "EngineCommand.h"

#include <limits>

namespace zqvcore {

QString enginePath(const QString& programFolder)
{
    return programFolder + QLatin1String("/zqvengine");
}

EngineCommand engineCommand(const QString& programFolder, Operation operation, const QString& path)
{
    return {enginePath(programFolder), {engineSwitch(operation), path}};
}

QStringList wipeListOperands(const QStringList& paths, qsizetype maxCharacters, QStringList* leftOut)
{
    QStringList operands;
    QString operand;
    for (const QString& path : paths) {
        if (path.contains(QLatin1Char('?'))) {
            if (leftOut != nullptr)
                leftOut->append(path);
            continue;
        }
        if (!operand.isEmpty() && operand.size() + 1 + path.size() > maxCharacters) {
            operands.append(operand);
            operand.clear();
        }
        operand += QLatin1Char('?') + path;
    }
    if (!operand.isEmpty())
        operands.append(operand);
    return operands;
}

QString wipeListOperand(const QStringList& paths, QStringList* leftOut)
{
    // One operand with no bound on its length.
    const QStringList operands = wipeListOperands(paths, std::numeric_limits<qsizetype>::max(), leftOut);
    return operands.isEmpty() ? QString() : operands.front();
}

QString argumentString(const QStringList& argumentsAfterProgram)
{
    return argumentsAfterProgram.join(QLatin1Char(' '));
}

EngineRequest parseArgumentString(const QString& argumentString)
{
    EngineRequest request;
    if (argumentString.size() < 3)
        return request;
    request.valid = true;
    request.engineSwitch = argumentString.left(2);
    request.operation = operationForSwitch(request.engineSwitch);
    request.operand = argumentString.mid(3);
    return request;
}

} // namespace zqvcore
