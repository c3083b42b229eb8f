#include "FileListModel.h"

#include <QDateTime>
#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>
#include <algorithm>

#include "FileTypes.h"
#include "ShellNamespace.h"

namespace zqvshell {

namespace {

constexpr quint32 kDescendingBit = 0x80000000U;

// Which item field a visible column shows: outside the file system the second
// column is the type.
Column columnContent(int column, bool fileSystem)
{
    if (!fileSystem && column == 1) {
        return Column::Type;
    }
    return static_cast<Column>(column);
}

// How each kind of column looks: its header, its alignment and its first
// width, in the order of `Column`.
struct ColumnLook
{
    const char* title;
    Qt::AlignmentFlag alignment;
    int width;
};
constexpr ColumnLook kColumnLooks[] = {
    {"Name", Qt::AlignLeft, 120},
    {"Size", Qt::AlignRight, 60},
    {"Type", Qt::AlignLeft, 120},
    {"Date Modified", Qt::AlignLeft, 120},
};

const ColumnLook& lookOf(int column, bool fileSystem)
{
    const int content = static_cast<int>(columnContent(column, fileSystem));
    return kColumnLooks[content >= 0 && content < static_cast<int>(std::size(kColumnLooks)) ? content : 0];
}

// A file URI that keeps every byte of the path, valid UTF-8 or not.
QByteArray fileUri(const QByteArray& path)
{
    return QByteArrayLiteral("file://") + path.toPercentEncoding("/");
}

} // namespace

QString FormatSizeText(qint64 bytes, const QLocale& locale)
{
    const qint64 kilobytes = bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0);
    QLocale grouped = locale;
    grouped.setNumberOptions(grouped.numberOptions() & ~QLocale::OmitGroupSeparator);
    return grouped.toString(kilobytes) + QStringLiteral("KB");
}

QString FileTimeToDisplayString(qint64 millisecondsSinceEpoch, const QLocale& locale)
{
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(millisecondsSinceEpoch).toLocalTime();
    // Some locales' short time still has seconds ("C": HH:mm:ss); drop them.
    static const QRegularExpression seconds(QStringLiteral("[:.]?s{1,2}"));
    const QString timeFormat = locale.timeFormat(QLocale::ShortFormat).remove(seconds);
    return locale.toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(local.time(), timeFormat);
}

FileListModel::FileListModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

void FileListModel::setDisplayLocale(const QLocale& locale)
{
    m_locale = locale;
    if (!m_items.empty()) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }
}

void FileListModel::setColumns(bool fileSystem)
{
    beginResetModel();
    m_items.clear();
    m_fileSystem = fileSystem;
    m_columns = fileSystem ? 4 : 2;
    endResetModel();
}

void FileListModel::clear()
{
    beginResetModel();
    m_items.clear();
    m_items.shrink_to_fit();
    m_columns = 0;
    endResetModel();
}

void FileListModel::setItems(FolderPtr folder, std::vector<ShellItem> items)
{
    beginResetModel();
    m_folder = std::move(folder);
    m_items = std::move(items);
    endResetModel();
}

QByteArray FileListModel::pathBytes(int row) const
{
    if (!m_folder || row < 0 || row >= rowCount() || !m_fileSystem) {
        return {};
    }
    return m_folder->path(item(row).id);
}

QString FileListModel::tag(int row) const
{
    if (row < 0 || row >= rowCount()) {
        return {};
    }
    if (!m_fileSystem) {
        return item(row).displayName;
    }
    // A path that text cannot carry exactly gets no tag, so nothing acts on a
    // look-alike file.
    return exactPathText(pathBytes(row)).value_or(QString());
}

Qt::Alignment FileListModel::columnAlignment(int column) const
{
    return lookOf(column, m_fileSystem).alignment;
}

int FileListModel::defaultColumnWidth(int column, bool fileSystem)
{
    return lookOf(column, fileSystem).width;
}

quint32 FileListModel::sortParameter(int column, Qt::SortOrder order)
{
    return static_cast<quint32>(column) | (order == Qt::DescendingOrder ? kDescendingBit : 0U);
}

int FileListModel::CompareListItems(const ShellFolder& folder,
                                    const ShellItem& a,
                                    const ShellItem& b,
                                    quint32 sortParameter)
{
    const int result = folder.compare(static_cast<int>(sortParameter & ~kDescendingBit), a, b);
    return (sortParameter & kDescendingBit) != 0 ? -result : result;
}

void FileListModel::sortItems(const ShellFolder& folder, std::vector<ShellItem>& items, quint32 sortParameter)
{
    std::sort(items.begin(), items.end(), [&](const ShellItem& a, const ShellItem& b) {
        return CompareListItems(folder, a, b, sortParameter) < 0;
    });
}

void FileListModel::sort(int column, Qt::SortOrder order)
{
    if (!m_folder || m_items.size() < 2 || column < 0 || column >= m_columns) {
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<QByteArray> ids;
    ids.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& index : before) {
        ids.push_back(item(index.row()).id);
    }
    sortItems(*m_folder, m_items, sortParameter(column, order));
    // Persistent indexes (selection, current row) follow their items.
    QHash<QByteArray, int> rowOf;
    if (!before.isEmpty()) {
        rowOf.reserve(rowCount());
        for (int row = 0; row < rowCount(); ++row) {
            rowOf.insert(item(row).id, row);
        }
    }
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        after.push_back(index(rowOf.value(ids[static_cast<std::size_t>(i)]), before[i].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_items.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const ShellItem& entry = item(index.row());
    const Column content = columnContent(index.column(), m_fileSystem);
    switch (role) {
    case Qt::DisplayRole:
        switch (content) {
        case Column::Name:
            return entry.displayName;
        case Column::Size:
            return entry.folder || entry.size < 0 ? QString() : FormatSizeText(entry.size, m_locale);
        case Column::Type:
            return entry.type != nullptr ? entry.type->typeName : QString();
        case Column::Modified:
            return entry.folder || entry.modified < 0 ? QString() : FileTimeToDisplayString(entry.modified, m_locale);
        }
        return {};
    case Qt::DecorationRole:
        return content == Column::Name ? QVariant(itemIcon(entry)) : QVariant();
    case Qt::ToolTipRole:
        return m_fileSystem ? readablePath(pathBytes(index.row())) : entry.displayName;
    case Qt::TextAlignmentRole:
        // Only the size leaves the view's own alignment (centred under icons).
        return content == Column::Size ? QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    case TagRole:
        return tag(index.row());
    case PathBytesRole:
        return pathBytes(index.row());
    case ItemIdRole:
        return entry.id;
    case IsFolderRole:
        return entry.folder;
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns) {
        return {};
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(columnAlignment(section) | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    return QString::fromLatin1(lookOf(section, m_fileSystem).title);
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

QStringList FileListModel::mimeTypes() const
{
    return {QStringLiteral("text/plain"), QStringLiteral("text/uri-list")};
}

QMimeData* FileListModel::mimeData(const QModelIndexList& indexes) const
{
    QList<int> rows;
    for (const QModelIndex& index : indexes) {
        if (index.isValid() && !rows.contains(index.row())) {
            rows.push_back(index.row());
        }
    }
    std::sort(rows.begin(), rows.end());
    QStringList tags;
    QByteArray uris;
    for (const int row : rows) {
        if (const QString text = tag(row); !text.isEmpty()) {
            tags.push_back(text);
        }
        const QByteArray path = pathBytes(row);
        if (!path.isEmpty()) {
            uris += fileUri(path) + "\r\n";
        }
    }
    auto* data = new QMimeData;
    // The queue takes the list's own drags by their text.
    data->setText(tags.join(QLatin1Char('\n')));
    if (!uris.isEmpty()) {
        data->setData(QStringLiteral("text/uri-list"), uris);
    }
    return data;
}

Qt::DropActions FileListModel::supportedDragActions() const
{
    return Qt::CopyAction | Qt::LinkAction;
}

} // namespace zqvshell
