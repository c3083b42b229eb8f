#pragma once

#include <QStackedWidget>

class QAbstractItemView;
class QItemSelectionModel;
class QListView;
class QTreeView;

namespace zqvshell {

class FileListModel;
class SortArrowHeader;

// The file list widget: one model, one selection, four modes. Large icons,
// small icons and list use an icon view; details uses a table with the sort
// arrows in its header. The window switches modes with setViewMode only.
//
// How the window uses it: create it as ListView1, hand it to FileList (which
// sets the model), call setViewMode from SetView, setAutoArrange from the
// Auto Arrange command; connect header()->sectionClicked for column clicks.
class FileListView : public QStackedWidget
{
    Q_OBJECT
public:
    enum class ViewMode { LargeIcons = 0, SmallIcons = 1, List = 2, Details = 3 };

    explicit FileListView(QWidget* parent = nullptr);

    void setModel(FileListModel* model);
    [[nodiscard]] FileListModel* model() const { return m_model; }
    [[nodiscard]] QItemSelectionModel* selectionModel() const { return m_selection; }

    // The one place a mode is applied. Modes outside 0..3 are refused (false).
    bool setViewMode(ViewMode mode);
    bool setViewMode(int mode);
    [[nodiscard]] ViewMode viewMode() const { return m_mode; }
    // On: icons kept in rows, laid out again as the view's width changes.
    // Off: icons stay where they are and can be dragged to another place.
    void setAutoArrange(bool on);
    [[nodiscard]] bool autoArrange() const { return m_autoArrange; }

    [[nodiscard]] QAbstractItemView* currentView() const;
    [[nodiscard]] QListView* iconView() const { return m_iconView; }
    [[nodiscard]] QTreeView* detailsView() const { return m_detailsView; }
    [[nodiscard]] SortArrowHeader* header() const { return m_header; }
    // Both inner views, for routing their events.
    [[nodiscard]] QList<QAbstractItemView*> views() const;

    // Widths of a fresh set of columns: the starting widths, widened where
    // a size, type or date would not fit, and the Name column taking the
    // width left over.
    void applyColumnWidths();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    [[nodiscard]] int contentWidth(int column) const;
    void fitNameColumn();
    void applyArrangement();

    FileListModel* m_model = nullptr;
    QItemSelectionModel* m_selection = nullptr;
    QListView* m_iconView;
    QTreeView* m_detailsView;
    SortArrowHeader* m_header;
    ViewMode m_mode = ViewMode::Details;
    bool m_autoArrange = false;
    bool m_fitting = false;
    // The user sized the Name column by hand since the last fill.
    bool m_nameSizedByHand = false;
};

} // namespace zqvshell
