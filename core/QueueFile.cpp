#include "QueueFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "FileUpdate.h"

namespace zqvcore {
namespace {

constexpr qint64 kLargestQueueFile = 64 * 1024 * 1024;

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

QList<QueueEntry> readQueueFile(const QString& filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kLargestQueueFile)
        return {};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {};

    QStringList lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size(); // a last line without its break still counts
        qsizetype lineEnd = end;
        if (lineEnd > start && bytes.at(lineEnd - 1) == '\r')
            --lineEnd;
        lines.append(QString::fromUtf8(bytes.constData() + start, lineEnd - start));
        start = end + 1;
    }

    QList<QueueEntry> entries;
    for (qsizetype i = 0; i + 2 < lines.size(); i += 3)
        entries.append({lines.at(i), lines.at(i + 1), lines.at(i + 2)});
    return entries;
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

QueueSaveResult writeQueueFile(const QString& filePath, const QList<QueueEntry>& entries)
{
    for (const QueueEntry& entry : entries) {
        if (!canStoreInQueue(entry.path) || !canStoreInQueue(entry.action) || !canStoreInQueue(entry.whenQueued))
            return {false, QStringLiteral("An entry holds a line break.")};
    }
    if (const int error = makeFolders(QFileInfo(filePath).absolutePath(), 0700); error != 0)
        return {false, systemErrorText(error)};
    // The queue names the user's files: nobody else reads it.
    if (const int error = replaceFileAtomically(filePath, queueFileBytes(entries), 0600); error != 0)
        return {false, systemErrorText(error)};
    return {true, {}};
}

} // namespace zqvcore
