#pragma once

#include <QDialog>
#include <optional>

#include "DesktopFolder.h"
#include "ItemIdList.h"

class QTreeView;

namespace zqvshell {

// How the window uses it: the File menu's Change Root... calls BrowseForFolder(this, "Select the
// TreeView root folder", 0, ItemIdList(), current root) and hands the answer
// to FolderTree::SetTreeRoot.

class FolderTree;

// Our folder picker over the same namespace as the main tree, so "Desktop",
// "Home" and the volumes can be chosen as well as any folder.
class FolderPickerDialog : public QDialog
{
    Q_OBJECT
public:
    FolderPickerDialog(QWidget* owner, const QString& title, DesktopSources sources, const ItemIdList& root = {});

    // Opens the tree down to `pidlFQ` and selects it; false when some step is
    // missing (the deepest folder found stays selected).
    bool selectFolder(const ItemIdList& pidlFQ);
    [[nodiscard]] std::optional<ItemIdList> chosen() const;
    [[nodiscard]] FolderTree* folderTree() const { return m_tree; }

private:
    FolderTree* m_tree;
};

// Shows the picker modally; the chosen folder, or nothing on Cancel. `flags`
// is kept for callers that pass one; no flag changes anything yet.
[[nodiscard]] std::optional<ItemIdList> BrowseForFolder(QWidget* owner,
                                                        const QString& title,
                                                        int flags,
                                                        const ItemIdList& root,
                                                        const ItemIdList& initial,
                                                        const DesktopSources& sources);

} // namespace zqvshell
