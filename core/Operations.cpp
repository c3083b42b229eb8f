#include "Operations.h"

#include <array>

namespace zqvcore {
namespace {

constexpr std::array<OperationInfo, 5> kTable{{
    {Operation::Encrypt, "Encrypt", "Encrypt", "/e"},
    {Operation::Decrypt, "Decrypt", "Decrypt", "/d"},
    {Operation::SelfExtracting, "MakeExe", "Make Self-Extracting", "/s"},
    {Operation::Wipe, "Wipe", "Wipe", "/w"},
    {Operation::EncryptFolder, "", "", "/f"},
}};

template <typename Field> Operation find(const QString& text, Field field)
{
    if (text.isEmpty())
        return Operation::None;
    for (const OperationInfo& row : kTable) {
        if (text == QLatin1String(row.*field))
            return row.operation;
    }
    return Operation::None;
}

template <typename Field> QString text(Operation operation, Field field)
{
    for (const OperationInfo& row : kTable) {
        if (row.operation == operation)
            return QLatin1String(row.*field);
    }
    return {};
}

} // namespace

std::span<const OperationInfo> operationTable()
{
    return kTable;
}

Operation operationForToolbarKey(const QString& key)
{
    return find(key, &OperationInfo::toolbarKey);
}

Operation operationForActionWord(const QString& word)
{
    return find(word, &OperationInfo::actionWord);
}

Operation operationForSwitch(const QString& engineSwitch)
{
    return find(engineSwitch, &OperationInfo::engineSwitch);
}

QString toolbarKey(Operation operation)
{
    return text(operation, &OperationInfo::toolbarKey);
}

QString actionWord(Operation operation)
{
    return text(operation, &OperationInfo::actionWord);
}

QString engineSwitch(Operation operation)
{
    return text(operation, &OperationInfo::engineSwitch);
}

} // namespace zqvcore
