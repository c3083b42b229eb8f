#include "Operations.h"

#include <array>
#include <cstdlib>

#include "PathRules.h"

namespace zqvcore {
namespace {

// The order is the order of the toolbar, the menus and the file-manager entries.
constexpr std::array<OperationInfo, 5> kTable{{
    {Operation::Encrypt,
     "Encrypt",
     "Encrypt File",
     "encrypt",
     "Encrypt",
     "mnuQueueEncrypt",
     "Queue for Encryption",
     "/e",
     "mnuEncrypt",
     "&Encrypt File",
     "zqv-encrypt-file",
     "Encrypt File",
     ToPlainFiles,
     EntryRuns::OnePerItem},
    {Operation::Decrypt,
     "Decrypt",
     "Decrypt File",
     "decrypt",
     "Decrypt",
     "mnuQueueDecrypt",
     "Queue for Decryption",
     "/d",
     "mnuDecrypt",
     "&Decrypt File",
     "zqv-decrypt-file",
     "Decrypt File",
     ToEncryptedFiles,
     EntryRuns::OnePerItem},
    {Operation::SelfExtracting,
     "MakeExe",
     "Make Exe",
     "exe",
     "Make Self-Extracting",
     "mnuQueueSelfExtracting",
     "Queue for Self-Extracting",
     "/s",
     "mnuMakeExe",
     "Make &Self-Extracting Exe",
     "zqv-make-exe",
     "Make Self-Extracting Exe",
     ToPlainFiles,
     EntryRuns::OnePerItem},
    {Operation::Wipe,
     "Wipe",
     "Wipe File",
     "shred",
     "Wipe",
     "mnuQueueWipe",
     "Queue for Wiping",
     "/w",
     "mnuWipe",
     "&Wipe File",
     "zqv-wipe-file",
     "Wipe File",
     ToAnyFile,
     EntryRuns::WipeList},
    {Operation::EncryptFolder,
     "",
     "",
     "",
     "",
     "",
     "",
     "/f",
     "mnuEncryptFolder",
     "Encrypt &Folder...",
     "zqv-encrypt-folder",
     "Encrypt Folder...",
     ToFolders,
     EntryRuns::OnePerItem},
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

const OperationInfo& operationInfo(Operation operation)
{
    for (const OperationInfo& row : kTable) {
        if (row.operation == operation)
            return row;
    }
    std::abort();
}

ItemKind itemKind(const QString& name, bool readableRegularFile, bool folder)
{
    if (folder)
        return ItemKind::Folder;
    if (!readableRegularFile)
        return ItemKind::Other;
    return HasEncryptedExtension(name) ? ItemKind::EncryptedFile : ItemKind::PlainFile;
}

bool appliesTo(unsigned appliesBits, ItemKind kind)
{
    switch (kind) {
    case ItemKind::PlainFile:
        return (appliesBits & ToPlainFiles) != 0;
    case ItemKind::EncryptedFile:
        return (appliesBits & ToEncryptedFiles) != 0;
    case ItemKind::Folder:
        return (appliesBits & ToFolders) != 0;
    case ItemKind::Other:
        break;
    }
    return false;
}

bool appliesTo(const OperationInfo& row, ItemKind kind)
{
    return appliesTo(row.appliesTo, kind);
}

OperationSet availableOperations(ItemKind kind)
{
    OperationSet result;
    for (const OperationInfo& row : kTable) {
        if (appliesTo(row, kind))
            result.insert(row.operation);
    }
    return result;
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
