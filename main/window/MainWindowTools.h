#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "DesktopFolder.h"
#include "ItemIdList.h"

class QWidget;

namespace zqvwindow {

// The windows the main window opens but does not own; a missing one leaves
// its command disabled.
struct MainWindowTools
{
    std::function<void(QWidget* owner)> openPreferences;
    std::function<void(QWidget* owner, const QString& file)> openHashViewer;
    std::function<void(QWidget* owner)> openTextTool;
    std::function<void(QWidget* owner)> openAbout;
    // Renews "Encrypt Folder..." in the file managers at start-up.
    std::function<void(QWidget* owner)> renewFolderVerb;
    // Hands a document or address to the desktop's default handler; false
    // when no application is there to open it.
    std::function<bool(const QString& target)> openDocument;
    // The folder picker; nothing when cancelled.
    std::function<std::optional<zqvshell::ItemIdList>(QWidget* owner,
                                                      const QString& title,
                                                      const zqvshell::ItemIdList& initial,
                                                      const zqvshell::DesktopSources& sources)>
        browseForFolder;
};

} // namespace zqvwindow
