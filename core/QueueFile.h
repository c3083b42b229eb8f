#pragma once

#include <QList>
#include <QString>

namespace zqvcore {

// One row of the queue: the file, the word naming the operation, and when it
// was queued as display text (stored and read back, never parsed).
struct QueueEntry
{
    QString path;
    QString action;
    QString whenQueued;

    friend bool operator==(const QueueEntry&, const QueueEntry&) = default;
};

// $XDG_STATE_HOME/ZQV/queue.txt, ~/.local/state when the variable is unset or
// not absolute: the queue is per user, never in the program folder.
[[nodiscard]] QString defaultQueueFilePath();

// The file is three lines per entry (path, action word, time text), each line
// ending in CR LF, UTF-8. A path holding a line break cannot be stored.
[[nodiscard]] bool canStoreInQueue(const QString& text);

// Entries up to the first incomplete one; a missing or unreadable file is an
// empty queue. Nothing is checked beyond the shape.
[[nodiscard]] QList<QueueEntry> readQueueFile(const QString& filePath);

[[nodiscard]] QByteArray queueFileBytes(const QList<QueueEntry>& entries);

struct QueueSaveResult
{
    bool ok = false;
    QString error; // the system's reason when not ok
};

// Replaces the file atomically: the complete text is written unnamed beside
// it, synced, then put in its place, so a crash or a full disk leaves either
// the old queue or the new one, never a mix. The folder is created when
// missing; the file is readable by its owner only.
[[nodiscard]] QueueSaveResult writeQueueFile(const QString& filePath, const QList<QueueEntry>& entries);

} // namespace zqvcore
