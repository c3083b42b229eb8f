#pragma once

#include <QDialog>

#include "ShellItem.h"

namespace zqvshell {

// How the window uses it: never directly; the context menu's Properties opens it.

// What a user asks of an item's Properties: name, type, size, dates,
// permissions, owner and the full path. Read only.
class PropertiesDialog : public QDialog
{
    Q_OBJECT
public:
    PropertiesDialog(QWidget* parent, const ShellItem& item, const QByteArray& path);
};

// "rwxr-x---" and the like, from a mode's permission bits.
[[nodiscard]] QString permissionText(unsigned mode);

} // namespace zqvshell
