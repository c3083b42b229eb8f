#pragma once

#include <QString>

#include "OperationRules.h"

namespace zqvwindow {

// Which operations fit the clicked row of the file list. `text` is the name
// the list shows, `tag` the item's full path.
struct ToolbarEnabling : zqvshell::OperationAvailability
{
    // The Queue button's menu; its "Wipe" item and the Advanced "Text" item
    // are never disabled.
    bool queueEncrypt = false;
    bool queueDecrypt = false;
    bool queueSelfExtracting = false;

    friend bool operator==(const ToolbarEnabling&, const ToolbarEnabling&) = default;
};

[[nodiscard]] ToolbarEnabling enablingForRow(const QString& text, const QString& tag);

} // namespace zqvwindow
