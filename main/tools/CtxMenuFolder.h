#pragma once

#include <QString>
#include <optional>

#include "FileManagerEntries.h"
#include "SettingsError.h"

class QWidget;

namespace zqvgui {
class Messenger;
}

namespace zqvcore {
class RegistrySettings;
}

namespace zqvtools {

// Creates or renews "Encrypt Folder..." in the file managers, starting the
// engine of `programFolder`. When an entry cannot be created the user is told
// (over `parent`) and false comes back.
bool WriteFolderVerb(QWidget* parent,
                     zqvgui::Messenger& messenger,
                     const QString& programFolder,
                     const zqvcore::UserFolders& folders);

// Removes our "Encrypt Folder..." entries; failures are ignored.
void RemoveFolderVerb(const zqvcore::UserFolders& folders);

// True when a setting's text reads as the number 1 (" 1", "1.0" and "01" do).
[[nodiscard]] bool readsAsOne(const QString& text);

// The main window's start-up step: with "Preferences"/"ShowContextMenus" on
// (on when never written), renews the folder verb so that a moved program
// folder is picked up. Nothing else is touched: no permissions change.
// A settings error is returned, and nothing is done.
std::optional<zqvcore::SettingsError> RenewFolderVerbAtStartup(QWidget* parent,
                                                               zqvgui::Messenger& messenger,
                                                               const zqvcore::RegistrySettings& settings,
                                                               const QString& programFolder,
                                                               const zqvcore::UserFolders& folders);

} // namespace zqvtools
