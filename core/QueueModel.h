#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <functional>

#include "QueueFile.h"

namespace zqvcore {

// The queue's rows in the order they were added: "File", "Action",
// "When Queued". Once bound to a file, every change is saved at once, so the
// queue survives a program that ends without its shutdown.
class QueueModel : public QAbstractTableModel
{
public:
    enum Column { FileColumn, ActionColumn, WhenColumn, ColumnCount };

    using SaveErrorHandler = std::function<void(const QString& reason)>;

    explicit QueueModel(QObject* parent = nullptr);

    [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    [[nodiscard]] const QList<QueueEntry>& entries() const { return m_entries; }
    [[nodiscard]] int count() const { return static_cast<int>(m_entries.size()); }

    // Exact, case-sensitive comparison with every entry's path.
    [[nodiscard]] bool containsPath(const QString& path) const;

    // False (and nothing added) when the entry cannot be stored in the file.
    [[nodiscard]] bool append(const QueueEntry& entry);
    void removeAt(int row);
    void clear();

    // Loads the file's entries (replacing the rows) and saves to it from now on.
    void bindFile(const QString& filePath);
    [[nodiscard]] const QString& filePath() const { return m_filePath; }
    // Called with the reason whenever saving after a change fails.
    void setSaveErrorHandler(SaveErrorHandler handler) { m_onSaveError = std::move(handler); }
    [[nodiscard]] QueueSaveResult save() const;

private:
    void changed();

    QList<QueueEntry> m_entries;
    QString m_filePath;
    SaveErrorHandler m_onSaveError;
};

} // namespace zqvcore
