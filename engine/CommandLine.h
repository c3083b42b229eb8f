#pragma once

#include <QString>

#include "EngineCommand.h"
#include "PathRules.h"

namespace engine {

using zqvcore::HasEncryptedExtension;
using zqvcore::IsNotPlainFile;
using zqvcore::Operation;

// What the start-up procedure decided: one dialog to open, or one message to
// show before ending, or nothing at all.
struct StartupDecision
{
    Operation operation = Operation::None;
    QString operand;
    QString errorMessage; // shown with the caption "ZQV" when not empty
};

// The program's arguments after its own path, joined with single blanks.
[[nodiscard]] QString argumentString(int argc, const char* const* argv);

[[nodiscard]] StartupDecision decideStartup(const QString& argumentString);

} // namespace engine
