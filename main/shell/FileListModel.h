#pragma once

#include <QAbstractTableModel>
#include <QLocale>
#include <vector>

#include "ShellFolder.h"

namespace zqvshell {

// How the window uses it: never directly; FileList owns it and the window reads rows
// through FileList (selectedTag, selectedName) or the view's selection.

// The rows of the file list: one per item of the shown folder, shared by the
// four view modes. Sorting happens here, in place, with the folder's own
// comparison; rows are never added again to sort them.
class FileListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Role {
        TagRole = Qt::UserRole + 1, // full path (exact text) or the display name; empty when text cannot carry it
        PathBytesRole,              // exact path bytes; empty outside the file system
        ItemIdRole,                 // the row's own item bytes
        IsFolderRole,
    };

    explicit FileListModel(QObject* parent = nullptr);

    // Columns for a folder: Name, Size, Type, Date Modified on the file
    // system; Name and Type elsewhere. No columns after clear().
    void setColumns(bool fileSystem);
    void clear();
    // The folder's items become the rows, in the order given.
    void setItems(FolderPtr folder, std::vector<ShellItem> items);

    [[nodiscard]] const FolderPtr& folder() const { return m_folder; }
    [[nodiscard]] const ShellItem& item(int row) const { return m_items[static_cast<std::size_t>(row)]; }
    [[nodiscard]] bool isFileSystem() const { return m_fileSystem; }
    [[nodiscard]] QByteArray pathBytes(int row) const;
    [[nodiscard]] QString tag(int row) const;
    // The column count of the last setColumns; alignment per column.
    [[nodiscard]] Qt::Alignment columnAlignment(int column) const;
    [[nodiscard]] static int defaultColumnWidth(int column, bool fileSystem);

    // The sort parameter: the column, with bit 31 set for descending.
    [[nodiscard]] static quint32 sortParameter(int column, Qt::SortOrder order);
    // Orders two items of `folder` by a sort parameter.
    [[nodiscard]] static int
    CompareListItems(const ShellFolder& folder, const ShellItem& a, const ShellItem& b, quint32 sortParameter);
    // Sorts items before they become rows (used off the interface thread).
    static void sortItems(const ShellFolder& folder, std::vector<ShellItem>& items, quint32 sortParameter);

    void setDisplayLocale(const QLocale& locale);
    [[nodiscard]] const QLocale& displayLocale() const { return m_locale; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override;

private:
    FolderPtr m_folder;
    std::vector<ShellItem> m_items;
    bool m_fileSystem = true;
    int m_columns = 0;
    QLocale m_locale;
};

// "#,##0KB": bytes / 1024 rounded up, grouped in the locale's way.
[[nodiscard]] QString FormatSizeText(qint64 bytes, const QLocale& locale = QLocale());
// The locale's short date, a blank, the time without seconds.
[[nodiscard]] QString FileTimeToDisplayString(qint64 millisecondsSinceEpoch, const QLocale& locale = QLocale());

} // namespace zqvshell
