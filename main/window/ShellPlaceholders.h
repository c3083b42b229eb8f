#pragma once

// PLACEHOLDERS for the shell browsing layer (folder tree, file list, sort
// arrows, splitter) until it lands: just enough of a file browser over the
// local file system for the main window to work against. Replaced whole.

#include <QFrame>
#include <QPointer>
#include <QString>
#include <QWidget>

class QAbstractItemView;
class QFileSystemModel;
class QHeaderView;
class QListView;
class QStackedLayout;
class QStandardItemModel;
class QTreeView;

namespace zqvwindow {

// One model shown in four modes: 0 large icons, 1 small icons, 2 list, 3 details.
class PlaceholderFileList : public QWidget
{
    Q_OBJECT
public:
    explicit PlaceholderFileList(QWidget* parent = nullptr);

    void setViewMode(int mode);
    [[nodiscard]] int viewMode() const { return m_mode; }
    void setAutoArrange(bool on);
    [[nodiscard]] bool autoArrange() const { return m_autoArrange; }

    void FillFileView(const QString& folder);
    void ClearFileView();
    [[nodiscard]] const QString& folder() const { return m_folder; }

    [[nodiscard]] int rowCount() const;
    [[nodiscard]] QString rowText(int row) const;
    [[nodiscard]] QString rowTag(int row) const;
    [[nodiscard]] int selectedRow() const;
    // -1 when the name is not in the list.
    [[nodiscard]] int rowOfText(const QString& text) const;
    void selectRow(int row);

    void sortRows(int column, int order);
    [[nodiscard]] QHeaderView* header() const;
    [[nodiscard]] QAbstractItemView* activeView() const;
    [[nodiscard]] bool owns(const QObject* object) const;

signals:
    void rowClicked(int row);
    void headerClicked(int column);

private:
    QStandardItemModel* m_model;
    QListView* m_iconView;
    QTreeView* m_detailsView;
    QStackedLayout* m_stack;
    QString m_folder;
    int m_mode = 3;
    bool m_autoArrange = false;
};

// Folders of the local file system, from "/".
class PlaceholderFolderTree : public QWidget
{
    Q_OBJECT
public:
    explicit PlaceholderFolderTree(QWidget* parent = nullptr);
    void SetTreeRoot(const QString& folder);
    void selectFolder(const QString& folder);
    [[nodiscard]] QString selectedFolder() const;
    [[nodiscard]] QString rootFolder() const;
    void ClearTree();

signals:
    void folderSelected(const QString& folder);

private:
    QFileSystemModel* m_model;
    QTreeView* m_view;
};

// The vertical bar between the panes: it keeps the panes laid out below
// `Top` and above `HeightOffset` and keeps the split ratio over resizes.
class PlaceholderVSplitter : public QObject
{
public:
    explicit PlaceholderVSplitter(QObject* parent = nullptr);
    void SetControls(QWidget* host, QWidget* left, QWidget* right, QWidget* bar);
    void setLeft(int left);
    [[nodiscard]] int Left() const { return m_left; }
    void setTop(int top) { m_top = top; }
    [[nodiscard]] int Top() const { return m_top; }
    void setHeightOffset(int offset) { m_heightOffset = offset; }
    [[nodiscard]] int HeightOffset() const { return m_heightOffset; }
    void layOut();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_host;
    QPointer<QWidget> m_leftPane;
    QPointer<QWidget> m_rightPane;
    QPointer<QWidget> m_bar;
    int m_left = 0;
    int m_top = 0;
    int m_heightOffset = 0;
    double m_ratio = 0.3;
    bool m_dragging = false;
};

// The sort arrow in the file list's header.
class PlaceholderHeaderIcons
{
public:
    void setListView(PlaceholderFileList* list) { m_list = list; }
    [[nodiscard]] bool SetHeaderIcons(int column, int order);

private:
    QPointer<PlaceholderFileList> m_list;
};

} // namespace zqvwindow
