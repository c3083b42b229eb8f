#include "QueueModel.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <algorithm>

#include "FileUpdate.h"

namespace zqvcore {

QueueModel::QueueModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

QueueModel::~QueueModel() = default;

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

QueueChange QueueModel::append(const QueueEntry& entry)
{
    if (!canStoreInQueue(entry.path) || !canStoreInQueue(entry.action) || !canStoreInQueue(entry.whenQueued))
        return {false, QStringLiteral("An entry holds a line break.")};
    return update([&](QList<QueueEntry>& entries) {
        entries.append(entry);
        if (const QString problem = queueLimitProblem(entries); !problem.isEmpty()) {
            entries.removeLast();
            return QStringLiteral("%1 %2 was not added.").arg(problem, entry.path);
        }
        return QString();
    });
}

void QueueModel::removeAt(int row)
{
    if (row < 0 || row >= count())
        return;
    (void)remove(m_entries.at(row));
}

bool QueueModel::remove(const QueueEntry& entry)
{
    bool found = false;
    (void)update([&](QList<QueueEntry>& entries) {
        found = entries.removeOne(entry);
        return QString();
    });
    return found;
}

void QueueModel::clear()
{
    if (m_entries.isEmpty())
        return;
    const QList<QueueEntry> shown = m_entries;
    (void)update([&](QList<QueueEntry>& entries) {
        for (const QueueEntry& entry : shown)
            entries.removeOne(entry);
        return QString();
    });
}

void QueueModel::bindFile(const QString& filePath)
{
    beginResetModel();
    m_entries.clear();
    m_filePath = filePath;
    m_detached = false;
    endResetModel();
    if (m_filePath.isEmpty())
        return;

    (void)makeFolders(QFileInfo(m_filePath).absolutePath(), 0700);
    // Without the lock (a folder we cannot write) the file is still read.
    const FileLock lock(queueLockPath(m_filePath));
    QList<QueueEntry> latest;
    if (!latestUnderLock(latest))
        return;
    show(latest);
    watch();
}

void QueueModel::reload()
{
    if (!keptInFile())
        return;
    const QueueFileRead read = readQueueFileChecked(m_filePath);
    // An unreadable file is dealt with by the next change, under the lock.
    if (read.status == QueueFileRead::Status::Read || read.status == QueueFileRead::Status::Missing)
        show(read.entries);
}

QueueChange QueueModel::update(const std::function<QString(QList<QueueEntry>&)>& change)
{
    QList<QueueEntry> entries;
    QString saveError;
    if (keptInFile()) {
        const int folderError = makeFolders(QFileInfo(m_filePath).absolutePath(), 0700);
        const FileLock lock(queueLockPath(m_filePath));
        if (folderError != 0 || lock.error() != 0) {
            saveError = systemErrorText(folderError != 0 ? folderError : lock.error());
        } else if (latestUnderLock(entries)) {
            if (QString refusal = change(entries); !refusal.isEmpty()) {
                show(entries);
                return {false, std::move(refusal)};
            }
            const QueueSaveResult saved = writeQueueFile(m_filePath, entries);
            show(entries);
            if (!saved.ok && m_onSaveError)
                m_onSaveError(saved.error);
            return {true, {}};
        }
    }
    // In memory only: no file, an unusable one, or one we cannot lock.
    entries = m_entries;
    if (QString refusal = change(entries); !refusal.isEmpty())
        return {false, std::move(refusal)};
    show(entries);
    if (!saveError.isEmpty() && m_onSaveError)
        m_onSaveError(saveError);
    return {true, {}};
}

bool QueueModel::latestUnderLock(QList<QueueEntry>& latest)
{
    QueueFileRead read = readQueueFileChecked(m_filePath);
    switch (read.status) {
    case QueueFileRead::Status::Read:
    case QueueFileRead::Status::Missing:
        latest = std::move(read.entries);
        return true;
    case QueueFileRead::Status::Damaged: {
        const SetAside aside = setQueueFileAside(m_filePath);
        if (aside.ok) {
            latest = std::move(read.entries);
            notice(
                QStringLiteral("The queue file %1 could not be read: %2. It was kept as %3, and the queue starts %4.")
                    .arg(m_filePath,
                         read.reason,
                         aside.newPath,
                         latest.isEmpty()
                             ? QStringLiteral("empty")
                             : QStringLiteral("with the %1 entries before the damage").arg(latest.size())));
            // What could be read is the queue now; without it the file would stay missing until the next change.
            if (!latest.isEmpty())
                (void)writeQueueFile(m_filePath, latest);
            return true;
        }
        m_detached = true;
        show({});
        notice(QStringLiteral("The queue file %1 could not be read: %2, and it could not be moved aside: %3. "
                              "It was left as it is; the queue starts empty and is kept only until the program ends.")
                   .arg(m_filePath, read.reason, aside.error));
        return false;
    }
    case QueueFileRead::Status::NotUsable:
        break;
    }
    m_detached = true;
    show({});
    notice(QStringLiteral("The queue file %1 could not be read: %2. "
                          "It was left as it is; the queue starts empty and is kept only until the program ends.")
               .arg(m_filePath, read.reason));
    return false;
}

void QueueModel::show(const QList<QueueEntry>& entries)
{
    if (entries == m_entries)
        return;
    const qsizetype have = m_entries.size();
    if (entries.size() == have + 1 && std::equal(m_entries.cbegin(), m_entries.cend(), entries.cbegin())) {
        beginInsertRows({}, static_cast<int>(have), static_cast<int>(have));
        m_entries.append(entries.constLast());
        endInsertRows();
        return;
    }
    if (entries.size() + 1 == have) {
        qsizetype first = 0;
        while (first < entries.size() && entries.at(first) == m_entries.at(first))
            ++first;
        if (std::equal(entries.cbegin() + first, entries.cend(), m_entries.cbegin() + first + 1)) {
            beginRemoveRows({}, static_cast<int>(first), static_cast<int>(first));
            m_entries.removeAt(first);
            endRemoveRows();
            return;
        }
    }
    beginResetModel();
    m_entries = entries;
    endResetModel();
}

void QueueModel::notice(const QString& message)
{
    if (m_onNotice)
        m_onNotice(message);
}

void QueueModel::watch()
{
    if (m_watcher == nullptr) {
        m_watcher = new QFileSystemWatcher(this);
        // An atomic replace is a new file under the old name: the folder
        // reports it, and the file's own watch must be renewed.
        const auto follow = [this] {
            reload();
            if (keptInFile() && QFileInfo::exists(m_filePath) && !m_watcher->files().contains(m_filePath))
                m_watcher->addPath(m_filePath);
        };
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, follow);
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, follow);
    }
    if (!m_watcher->files().isEmpty())
        m_watcher->removePaths(m_watcher->files());
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    const QString folder = QFileInfo(m_filePath).absolutePath();
    if (QFileInfo::exists(folder))
        m_watcher->addPath(folder);
    if (QFileInfo::exists(m_filePath))
        m_watcher->addPath(m_filePath);
}

} // namespace zqvcore
