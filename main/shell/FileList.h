#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

#include "DesktopFolder.h"
#include "ShellFolder.h"
#include "ShellPane.h"
#include "ViewNotification.h"

class QAction;
class QMenu;

namespace zqvshell {

class FileListModel;
class FileListView;
class cLVHeaderSortIcons;

// The file list's routines over one FileListView: fill (read off the
// interface thread, so the window keeps painting), clear, sort, and the
// reactions to double click, Enter and right click.
//
// How the window uses it: a FileList parented to the window (it must not
// outlive ListView1): connect folderOpened to the tree's selectChild;
// list.setContextMenu(...);
// list.setHeaderIcons(&HdrIcons); list.setViewMenu(mnuView); list.install().
// Sorting (the View menu's Ascending/Descending, header clicks):
// setSortKey/setSortOrder, HdrIcons.SetHeaderIcons, then sortRows(). The
// toolbar reads selectedTag() and selectedName(); row clicks come from
// view()->selectionModel(). Connect filled() too: after a fill that found
// nothing no row is selected, and no selection signal says so.
class FileList : public ShellPane
{
    Q_OBJECT
public:
    // `sources`: where the desktop root finds its entries.
    FileList(FileListView* view, DesktopSources sources, QObject* parent = nullptr);
    ~FileList() override;

    [[nodiscard]] FileListView* view() const { return m_view; }
    [[nodiscard]] FileListModel* model() const { return m_model; }
    void setHeaderIcons(cLVHeaderSortIcons* icons) { m_headerIcons = icons; }
    // Shown on a right click on empty space.
    void setViewMenu(QMenu* menu);
    // How a pop-up menu is shown (tests answer instead of a person).
    void setMenuRunner(std::function<QAction*(QMenu&, const QPoint&)> runner) { m_runner = std::move(runner); }

    [[nodiscard]] int SortKey() const { return m_sortKey; }
    void setSortKey(int column) { m_sortKey = column; }
    [[nodiscard]] int SortOrder() const { return m_sortOrder; }
    void setSortOrder(int order) { m_sortOrder = order; }
    // Sorts the rows in place by SortKey and SortOrder.
    void sortRows();

    void FillFileView(const ItemIdList& pidlFQ, const ItemIdList& pidlRel);
    void ClearFileView();
    // The folder of the last fill that produced rows.
    [[nodiscard]] const FolderPtr& currentFolder() const { return m_current; }
    bool ListViewNotify(const ViewNotification& notification);

    // The focused row if selected, else the first selected row; -1 for none.
    [[nodiscard]] int selectedRow() const;
    [[nodiscard]] QString selectedTag() const;
    [[nodiscard]] QString selectedName() const;

signals:
    // After every fill, with row 0 selected when it produced rows, with no
    // row selected when the folder showed nothing.
    void filled();
    // A folder row was opened (double click, Enter): its own item bytes, so
    // two names that look alike never mix.
    void folderOpened(const QByteArray& id);

private:
    bool notify(const ViewNotification& notification) override { return ListViewNotify(notification); }
    void activate(int row);
    QAction* runMenu(QMenu& menu, const QPoint& screenPos);

    FileListView* m_view;
    FileListModel* m_model;
    cLVHeaderSortIcons* m_headerIcons = nullptr;
    QPointer<QMenu> m_viewMenu;
    std::function<QAction*(QMenu&, const QPoint&)> m_runner;
    FolderPtr m_current;
    int m_sortKey = 0;
    int m_sortOrder = 0;
    quint64 m_generation = 0;
};

} // namespace zqvshell
