#pragma once

#include <QModelIndex>
#include <QPoint>
#include <functional>

class QAbstractItemView;

namespace zqvshell {

// How the window uses it: never directly; FolderTree and FileList route their views'
// events through these once installed.

// What the tree and the list report to their handlers (TreeViewNotify,
// ListViewNotify): the kind, the view it came from, the item concerned and,
// for mouse events, the point in the view's viewport.
enum class NotifyCode { SelChanged, ItemExpanding, RClick, DblClick, Return };

struct ViewNotification
{
    NotifyCode code;
    QAbstractItemView* view = nullptr;
    QModelIndex index;
    QPoint pos;
};

// True: consumed, the view does not handle the event itself.
using NotifyHandler = std::function<bool(const ViewNotification&)>;

} // namespace zqvshell
