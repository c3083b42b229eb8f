#pragma once

#include "ViewNotification.h"

class QWidget;

namespace zqvshell {

// Routes the folder tree's and the file list's events (selection, expansion,
// right click, double click, Enter, the context-menu key) to their handlers.
//
// How the window uses it: after giving the views their models, call
// SubclassWindow(TreeView1, tree handler) and SubclassWindow(ListView1, list
// handler) (FolderTree::install and FileList::install do exactly this), and
// UnsubclassWindow at unload. Routing the same widget twice leaves one route;
// a destroyed widget drops its route by itself.
bool SubclassWindow(QWidget* window, NotifyHandler handler);
bool UnsubclassWindow(QWidget* window);
[[nodiscard]] bool IsSubclassed(const QWidget* window);

} // namespace zqvshell
