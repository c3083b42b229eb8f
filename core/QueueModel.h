#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <functional>

#include "QueueFile.h"

class QFileSystemWatcher;

namespace zqvcore {

// What became of a change asked of the queue.
struct QueueChange
{
    bool done = false;
    QString refusal; // why it was not made, a whole sentence; empty when done

    explicit operator bool() const { return done; }
};

// The queue's rows in the order they were added: "File", "Action",
// "When Queued".
//
// Once bound to a file, the file is the queue and the rows only show it. Any
// number of programs may have it open: each change (an add, a removal, a
// clear) is made under an exclusive lock on the file's latest content (read
// again, apply that one change, replace the file atomically, release), and the
// rows are then that content. A removal takes away the entry the rows showed,
// found by its three texts wherever it now stands, so nothing another program
// added or removed meanwhile is lost or brought back. The rows follow the file
// when another program changes it. Nothing is saved at the end: there is
// nothing left to save.
//
// A file that cannot be read is never written over. A regular file we cannot
// take (too large, too many entries, not UTF-8, ending inside an entry) is
// set aside under a name that says so and the queue starts from what could be
// read of it; anything else (a pipe, a link to a device, a file we may not
// read) is left as it is and the queue is kept in memory only. Either way the
// notice handler is told in plain words.
class QueueModel : public QAbstractTableModel
{
public:
    enum Column { FileColumn, ActionColumn, WhenColumn, ColumnCount };

    using SaveErrorHandler = std::function<void(const QString& reason)>;
    using NoticeHandler = std::function<void(const QString& message)>;

    explicit QueueModel(QObject* parent = nullptr);
    ~QueueModel() override;

    [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    [[nodiscard]] const QList<QueueEntry>& entries() const { return m_entries; }
    [[nodiscard]] int count() const { return static_cast<int>(m_entries.size()); }

    // Exact, case-sensitive comparison with every entry's path.
    [[nodiscard]] bool containsPath(const QString& path) const;

    // Refused (nothing added) when the entry cannot be stored in the file or
    // the queue is full.
    [[nodiscard]] QueueChange append(const QueueEntry& entry);
    void removeAt(int row);
    // Removes that entry (the first equal one) wherever it stands; false when
    // it is no longer there.
    bool remove(const QueueEntry& entry);
    // Removes every entry the rows show; an entry another program added since
    // the rows last followed the file stays.
    void clear();

    // Loads the file's entries (replacing the rows), keeps to the file from
    // now on and watches it. Whatever had to be done about an unreadable file
    // goes to the notice handler, so set that first.
    void bindFile(const QString& filePath);
    [[nodiscard]] const QString& filePath() const { return m_filePath; }
    // False once the file was found unusable: changes stay in memory.
    [[nodiscard]] bool keptInFile() const { return !m_filePath.isEmpty() && !m_detached; }
    // Follows the file now (the watcher does it when the event loop runs).
    void reload();

    // Called with the reason whenever a change could not be written; the
    // change then stays in the rows for this run.
    void setSaveErrorHandler(SaveErrorHandler handler) { m_onSaveError = std::move(handler); }
    void setNoticeHandler(NoticeHandler handler) { m_onNotice = std::move(handler); }

private:
    // Applies `change` to the latest content under the lock and shows the
    // result. `change` returns a refusal sentence, or empty when it applied.
    QueueChange update(const std::function<QString(QList<QueueEntry>&)>& change);
    // The latest content under the lock, after dealing with an unreadable
    // file; nullopt once the file is found unusable.
    bool latestUnderLock(QList<QueueEntry>& latest);
    void show(const QList<QueueEntry>& entries);
    void notice(const QString& message);
    void watch();

    QList<QueueEntry> m_entries;
    QString m_filePath;
    bool m_detached = false;
    SaveErrorHandler m_onSaveError;
    NoticeHandler m_onNotice;
    QFileSystemWatcher* m_watcher = nullptr;
};

} // namespace zqvcore
