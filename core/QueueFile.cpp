#include "QueueFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringDecoder>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

#include "FileUpdate.h"
#include "UserFile.h"

namespace zqvcore {
namespace {

// Per entry: the three texts and their line ends.
qint64 entryBytes(const QueueEntry& entry)
{
    return entry.path.toUtf8().size() + entry.action.toUtf8().size() + entry.whenQueued.toUtf8().size() + 6;
}

int renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: a second name, then the first one goes.
    if (::link(from.constData(), to.constData()) != 0)
        return errno;
    if (::unlink(from.constData()) != 0)
        return errno;
    return 0;
}

} // namespace

QString defaultQueueFilePath()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QLatin1String("/.local/state");
    return state + QLatin1String("/ZQV/queue.txt");
}

bool canStoreInQueue(const QString& text)
{
    return !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'));
}

QueueFileRead readQueueFileChecked(const QString& filePath)
{
    QueueFileRead result;
    const UserFileRead file = readUserFile(filePath, kLargestQueueFile);
    // Also a file where the queue's folder belongs: it holds no queue to protect.
    if (file.missing())
        return result;
    if (!file.ok()) {
        // Too large is still our own kind of file: it can be set aside.
        result.status = file.error == EFBIG ? QueueFileRead::Status::Damaged : QueueFileRead::Status::NotUsable;
        result.reason = file.reason;
        return result;
    }
    const QByteArray& bytes = file.bytes;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        result.status = QueueFileRead::Status::Damaged;
        result.reason = QStringLiteral("it is not UTF-8 text");
        return result;
    }

    QStringList lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size(); // a last line without its break still counts
        qsizetype lineEnd = end;
        if (lineEnd > start && text.at(lineEnd - 1) == QLatin1Char('\r'))
            --lineEnd;
        lines.append(text.mid(start, lineEnd - start));
        start = end + 1;
    }
    if (lines.size() / 3 > kMostQueueEntries) {
        result.status = QueueFileRead::Status::Damaged;
        result.reason = QStringLiteral("it holds more than %1 entries").arg(kMostQueueEntries);
        return result;
    }
    for (qsizetype i = 0; i + 2 < lines.size(); i += 3)
        result.entries.append({lines.at(i), lines.at(i + 1), lines.at(i + 2)});
    result.status = QueueFileRead::Status::Read;
    if (lines.size() % 3 != 0) {
        result.status = QueueFileRead::Status::Damaged;
        result.reason = QStringLiteral("it ends inside an entry");
    }
    return result;
}

QList<QueueEntry> readQueueFile(const QString& filePath)
{
    QueueFileRead read = readQueueFileChecked(filePath);
    return read.status == QueueFileRead::Status::NotUsable ? QList<QueueEntry>() : std::move(read.entries);
}

QByteArray queueFileBytes(const QList<QueueEntry>& entries)
{
    QByteArray bytes;
    for (const QueueEntry& entry : entries) {
        for (const QString* line : {&entry.path, &entry.action, &entry.whenQueued}) {
            bytes += line->toUtf8();
            bytes += "\r\n";
        }
    }
    return bytes;
}

QString queueLimitProblem(const QList<QueueEntry>& entries)
{
    if (entries.size() > kMostQueueEntries)
        return QStringLiteral("The queue can hold at most %1 entries.").arg(kMostQueueEntries);
    qint64 total = 0;
    for (const QueueEntry& entry : entries)
        total += entryBytes(entry);
    if (total > kLargestQueueFile)
        return QStringLiteral("The queue file can be at most %1.").arg(sizeInWords(kLargestQueueFile));
    return {};
}

QueueSaveResult writeQueueFile(const QString& filePath, const QList<QueueEntry>& entries)
{
    for (const QueueEntry& entry : entries) {
        if (!canStoreInQueue(entry.path) || !canStoreInQueue(entry.action) || !canStoreInQueue(entry.whenQueued))
            return {false, QStringLiteral("An entry holds a line break.")};
    }
    if (const QString problem = queueLimitProblem(entries); !problem.isEmpty())
        return {false, problem};
    if (const int error = makeFolders(QFileInfo(filePath).absolutePath(), 0700); error != 0)
        return {false, systemErrorText(error)};
    // The queue names the user's files: nobody else reads it.
    if (const int error = replaceFileAtomically(filePath, queueFileBytes(entries), 0600); error != 0)
        return {false, systemErrorText(error)};
    return {true, {}};
}

SetAside setQueueFileAside(const QString& filePath)
{
    const QString stem = filePath + QLatin1String(".unreadable-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QByteArray from = QFile::encodeName(filePath);
    for (int attempt = 1; attempt < 100; ++attempt) {
        const QString candidate = attempt == 1 ? stem : stem + QLatin1Char('-') + QString::number(attempt);
        const int error = renameNoReplace(from, QFile::encodeName(candidate));
        if (error == 0)
            return {true, candidate, {}};
        if (error != EEXIST)
            return {false, {}, systemErrorText(error)};
    }
    return {false, {}, systemErrorText(EEXIST)};
}

QString queueTimeText(const QDateTime& when, const QLocale& locale)
{
    // Drop the format's zone letters ("t", outside quotes) and the blanks
    // that joined them to the rest.
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString withoutZone;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        withoutZone += c;
    }
    withoutZone = withoutZone.simplified();
    if (withoutZone.endsWith(QLatin1Char('(')) || withoutZone.endsWith(QLatin1String("()")))
        withoutZone = withoutZone.left(withoutZone.lastIndexOf(QLatin1Char('('))).trimmed();
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), withoutZone);
}

QString queueLockPath(const QString& filePath)
{
    return filePath + QLatin1String(".lock");
}

} // namespace zqvcore
