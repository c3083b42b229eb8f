#pragma once

#include <QString>
#include <span>

namespace zqvcore {

enum class Operation { None, Encrypt, Decrypt, Wipe, SelfExtracting, EncryptFolder };

// One row per operation: the main window's toolbar key, the word the queue
// stores, and the engine's switch. Folder packing has only a switch.
struct OperationInfo
{
    Operation operation;
    const char* toolbarKey;
    const char* actionWord;
    const char* engineSwitch;
};

[[nodiscard]] std::span<const OperationInfo> operationTable();

// Lookups; Operation::None (or an empty text) when nothing matches.
[[nodiscard]] Operation operationForToolbarKey(const QString& key);
[[nodiscard]] Operation operationForActionWord(const QString& word);
[[nodiscard]] Operation operationForSwitch(const QString& engineSwitch);
[[nodiscard]] QString toolbarKey(Operation operation);
[[nodiscard]] QString actionWord(Operation operation);
[[nodiscard]] QString engineSwitch(Operation operation);

} // namespace zqvcore
