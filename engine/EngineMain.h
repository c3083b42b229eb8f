#pragma once

#include <QString>

#include "EngineMessages.h"

class QDialog;

namespace engine {

// The start-up procedure: decides from the argument string which dialog to
// open, or shows the one start-up message. Returns the dialog now shown (it
// deletes itself when closed), or nullptr when the engine is to end.
QDialog* startEngine(const QString& arguments, Messenger& messenger);

// Called by a dialog that has done its operation. The engine's exit status
// says whether it did (0) or not (1: refused, failed, or closed without
// doing it), so that the queue keeps what was not done.
void markOperationDone();
[[nodiscard]] bool operationDone();
// Back to not done, for a process that opens more than one dialog (tests).
void forgetOperationDone();

// The whole program: the engine runs while its one dialog is open.
int runEngine(int argc, char** argv);

} // namespace engine
