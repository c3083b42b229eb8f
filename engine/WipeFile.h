#pragma once

#include <QString>

#include "ShredLibrary.h"

namespace engine {

using zqvwipe::defaultShredLibraryPath;
using zqvwipe::isRemoved;
using zqvwipe::ShredLibrary;
using zqvwipe::targetOf;
using zqvwipe::Wiper;
using zqvwipe::WipeResult;
using zqvwipe::WipeTarget;

// What the user is told about a file that was removed without being
// overwritten; empty for the other outcomes.
[[nodiscard]] QString removedNotOverwrittenText(const QString& path, WipeResult result);

// Wipes one target through the program folder's library. Safe to call from a
// worker thread; calls are serialised.
WipeResult WipeFile(const WipeTarget& target);

} // namespace engine
