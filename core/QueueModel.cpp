#include "QueueModel.h"

namespace zqvcore {

QueueModel::QueueModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

int QueueModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count();
}

int QueueModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant QueueModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const QueueEntry& entry = m_entries.at(index.row());
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case FileColumn:
            return entry.path;
        case ActionColumn:
            return entry.action;
        case WhenColumn:
            return entry.whenQueued;
        default:
            return {};
        }
    }
    if (role == Qt::ToolTipRole && index.column() == FileColumn)
        return entry.path;
    return {};
}

QVariant QueueModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case FileColumn:
        return QStringLiteral("File");
    case ActionColumn:
        return QStringLiteral("Action");
    case WhenColumn:
        return QStringLiteral("When Queued");
    default:
        return {};
    }
}

bool QueueModel::containsPath(const QString& path) const
{
    for (const QueueEntry& entry : m_entries) {
        if (entry.path == path)
            return true;
    }
    return false;
}

bool QueueModel::append(const QueueEntry& entry)
{
    if (!canStoreInQueue(entry.path) || !canStoreInQueue(entry.action) || !canStoreInQueue(entry.whenQueued))
        return false;
    beginInsertRows({}, count(), count());
    m_entries.append(entry);
    endInsertRows();
    changed();
    return true;
}

void QueueModel::removeAt(int row)
{
    if (row < 0 || row >= count())
        return;
    beginRemoveRows({}, row, row);
    m_entries.removeAt(row);
    endRemoveRows();
    changed();
}

void QueueModel::clear()
{
    if (m_entries.isEmpty())
        return;
    beginResetModel();
    m_entries.clear();
    endResetModel();
    changed();
}

void QueueModel::bindFile(const QString& filePath)
{
    beginResetModel();
    m_filePath = filePath;
    m_entries = readQueueFile(filePath);
    endResetModel();
}

QueueSaveResult QueueModel::save() const
{
    if (m_filePath.isEmpty())
        return {true, {}};
    return writeQueueFile(m_filePath, m_entries);
}

void QueueModel::changed()
{
    const QueueSaveResult result = save();
    if (!result.ok && m_onSaveError)
        m_onSaveError(result.error);
}

} // namespace zqvcore
