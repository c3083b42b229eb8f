#pragma once

#include <QString>

#include "EngineMessages.h"
#include "OperationDone.h"

class QDialog;

namespace engine {

// The start-up procedure: decides from the argument string which dialog to
// open, or shows the one start-up message. Returns the dialog now shown (it
// deletes itself when closed), or nullptr when the engine is to end.
QDialog* startEngine(const QString& arguments, Messenger& messenger);

// The whole program: the engine runs while its one dialog is open.
int runEngine(int argc, char** argv);

} // namespace engine
