#include "BrowseForFolder.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "FolderTree.h"
#include "FolderTreeModel.h"

namespace zqvshell {

FolderPickerDialog::FolderPickerDialog(QWidget* owner,
                                       const QString& title,
                                       DesktopSources sources,
                                       const ItemIdList& root)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("frmBrowseForFolder"));
    setWindowTitle(title);
    auto* caption = new QLabel(title, this);
    caption->setObjectName(QStringLiteral("lblTitle"));
    auto* view = new QTreeView(this);
    view->setObjectName(QStringLiteral("tvwFolders"));
    m_tree = new FolderTree(view, std::move(sources), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(view, 1);
    layout->addWidget(buttons);
    resize(360, 420);
    m_tree->SetTreeRoot(root);
    view->setFocus();
}

bool FolderPickerDialog::selectFolder(const ItemIdList& pidlFQ)
{
    QModelIndex node = m_tree->rootNode();
    const cTVItemData* rootData = m_tree->GetTreeItemData(node);
    if (rootData == nullptr) {
        return false;
    }
    const ItemIdList& root = rootData->pidlFQ();
    bool found = pidlFQ.count() >= root.count();
    for (int i = 0; found && i < root.count(); ++i) {
        found = pidlFQ.itemBytes(i) == root.itemBytes(i);
    }
    FolderTreeModel* model = m_tree->model();
    for (int i = root.count(); found && i < pidlFQ.count(); ++i) {
        m_tree->FillTreeChildren(node);
        found = false;
        for (int row = 0; row < model->rowCount(node); ++row) {
            const QModelIndex child = model->index(row, 0, node);
            if (model->node(child)->item.id == pidlFQ.itemBytes(i)) {
                m_tree->view()->expand(node);
                node = child;
                found = true;
                break;
            }
        }
    }
    m_tree->view()->setCurrentIndex(node);
    m_tree->view()->scrollTo(node);
    return found;
}

std::optional<ItemIdList> FolderPickerDialog::chosen() const
{
    const cTVItemData* data = m_tree->GetTreeItemData(m_tree->selectedNode());
    if (data == nullptr) {
        return std::nullopt;
    }
    return data->pidlFQ();
}

std::optional<ItemIdList> BrowseForFolder(QWidget* owner,
                                          const QString& title,
                                          int /*flags*/,
                                          const ItemIdList& root,
                                          const ItemIdList& initial,
                                          const DesktopSources& sources)
{
    FolderPickerDialog dialog(owner, title, sources, root);
    dialog.selectFolder(initial);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.chosen();
}

} // namespace zqvshell
