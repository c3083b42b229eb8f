#pragma once

namespace engine {

// Called by a dialog that has done its operation. The engine's exit status
// says whether it did (0) or not (1: refused, failed, or closed without
// doing it), so that the queue keeps what was not done.
void markOperationDone();
[[nodiscard]] bool operationDone();
// Back to not done, for a process that opens more than one dialog (tests).
void forgetOperationDone();

} // namespace engine
