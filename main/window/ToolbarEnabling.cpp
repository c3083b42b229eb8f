#include "ToolbarEnabling.h"

namespace zqvwindow {

ToolbarEnabling enablingForRow(const QString& text, const QString& tag)
{
    const zqvshell::OperationAvailability row = zqvshell::availableOperations(text, tag);
    // The Queue menu's items follow the name alone: the button above them
    // already refuses a row that is not a plain file.
    const zqvshell::OperationAvailability byName = zqvshell::availableOperations(text, true);
    ToolbarEnabling state;
    static_cast<zqvshell::OperationAvailability&>(state) = row;
    state.queueEncrypt = byName.encrypt;
    state.queueDecrypt = byName.decrypt;
    state.queueSelfExtracting = byName.makeExe;
    return state;
}

} // namespace zqvwindow
