#pragma once

#include <QList>
#include <QString>

class QDateTime;
class QLocale;

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

// The most the queue holds. Writer and reader use the same two limits, so the
// program never writes a queue it would refuse to read back.
inline constexpr qsizetype kMostQueueEntries = 10000;
inline constexpr qint64 kLargestQueueFile = 16 * 1024 * 1024;

// $XDG_STATE_HOME/ZQV/queue.txt, ~/.local/state when the variable is unset or
// not absolute: the queue is per user, never in the program folder.
[[nodiscard]] QString defaultQueueFilePath();

// The file is three lines per entry (path, action word, time text), each line
// ending in CR LF, UTF-8. A path holding a line break cannot be stored.
[[nodiscard]] bool canStoreInQueue(const QString& text);

struct QueueFileRead
{
    enum class Status {
        Read,      // the whole file, every entry complete
        Missing,   // no file: an empty queue
        Damaged,   // a regular file we cannot take as it is (see `reason`);
                   // `entries` holds the complete ones before the damage, if any
        NotUsable, // something we must not read or replace (a pipe, a link to
                   // a device, a file we may not read): leave it alone
    };
    Status status = Status::Missing;
    QList<QueueEntry> entries;
    // Why it is Damaged or NotUsable, as a clause to follow the file's name and
    // a colon ("it is a named pipe, not a regular file").
    QString reason;
};

// Reads without blocking and within the limits above: a file larger than
// kLargestQueueFile, holding more than kMostQueueEntries entries, not UTF-8,
// or ending inside an entry is Damaged.
[[nodiscard]] QueueFileRead readQueueFileChecked(const QString& filePath);

// The entries of readQueueFileChecked; every failure is an empty queue.
[[nodiscard]] QList<QueueEntry> readQueueFile(const QString& filePath);

[[nodiscard]] QByteArray queueFileBytes(const QList<QueueEntry>& entries);

struct QueueSaveResult
{
    bool ok = false;
    QString error; // the reason when not ok
};

// Replaces the file atomically: the complete text is written unnamed beside
// it, synced, then put in its place, so a crash or a full disk leaves either
// the old queue or the new one, never a mix. The folder is created when
// missing; the file is readable by its owner only. A list beyond the limits
// above is refused and nothing is written.
[[nodiscard]] QueueSaveResult writeQueueFile(const QString& filePath, const QList<QueueEntry>& entries);

// Why `entries` cannot be written (beyond the limits), empty when it can.
[[nodiscard]] QString queueLimitProblem(const QList<QueueEntry>& entries);

// Moves an unreadable queue file out of the way, under a new name that says
// so ("queue.txt.unreadable-20261208-031805"), never replacing anything.
struct SetAside
{
    bool ok = false;
    QString newPath;
    QString error;
};
[[nodiscard]] SetAside setQueueFileAside(const QString& filePath);

// "When Queued": the locale's short date and long time, without the time
// zone that the locale's long time format names.
[[nodiscard]] QString queueTimeText(const QDateTime& when, const QLocale& locale);

// The lock every change to the queue file is made under (see QueueModel).
[[nodiscard]] QString queueLockPath(const QString& filePath);

} // namespace zqvcore
