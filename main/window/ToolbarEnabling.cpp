#include "ToolbarEnabling.h"

#include "PathRules.h"

namespace zqvwindow {

ToolbarEnabling enablingForRow(const QString& text, const QString& tag)
{
    ToolbarEnabling state;
    const bool encrypted = zqvcore::HasEncryptedExtension(text);
    state.encrypt = !encrypted;
    state.decrypt = encrypted;
    state.makeExe = !encrypted;
    state.queueEncrypt = !encrypted;
    state.queueDecrypt = encrypted;
    state.queueSelfExtracting = !encrypted;
    state.wipe = true;
    state.queue = true;
    state.hash = true;
    if (zqvcore::IsNotPlainFile(tag)) {
        state.encrypt = false;
        state.decrypt = false;
        state.makeExe = false;
        state.wipe = false;
        state.queue = false;
        state.hash = false;
    }
    return state;
}

} // namespace zqvwindow
