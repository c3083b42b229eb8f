#pragma once

#include <QString>

namespace zqvwindow {

// Which operations fit the clicked row of the file list. `text` is the name
// the list shows, `tag` the item's full path.
struct ToolbarEnabling
{
    bool encrypt = false;
    bool decrypt = false;
    bool makeExe = false;
    bool wipe = false;
    bool queue = false;
    bool hash = false;
    // The Queue button's menu; its "Wipe" item and the Advanced "Text" item
    // are never disabled.
    bool queueEncrypt = false;
    bool queueDecrypt = false;
    bool queueSelfExtracting = false;

    friend bool operator==(const ToolbarEnabling&, const ToolbarEnabling&) = default;
};

[[nodiscard]] ToolbarEnabling enablingForRow(const QString& text, const QString& tag);

} // namespace zqvwindow
