#pragma once

#include <QString>

namespace engine {

enum class Operation { None, Encrypt, Decrypt, Wipe, SelfExtracting, EncryptFolder };

// What the start-up procedure decided: one dialog to open, or one message to
// show before ending, or nothing at all.
struct StartupDecision
{
    Operation operation = Operation::None;
    QString operand;
    QString errorMessage; // shown with the caption "ZQV" when not empty
};

// The program's arguments after its own path, joined with single blanks. Callers
// pass the switch and the path as two arguments, so blanks inside the path come
// through exactly as they are.
[[nodiscard]] QString argumentString(int argc, const char* const* argv);

[[nodiscard]] StartupDecision decideStartup(const QString& argumentString);

// True when the last four characters are exactly ".zqv".
[[nodiscard]] bool HasEncryptedExtension(const QString& path);

// True when the path cannot be opened as an existing file for reading: a folder,
// a missing or empty path, a file we may not read.
[[nodiscard]] bool IsNotPlainFile(const QString& path);

} // namespace engine
