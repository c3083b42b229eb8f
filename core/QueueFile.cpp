#include "QueueFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "UniqueFd.h"

namespace zqvcore {
namespace {

constexpr qint64 kLargestQueueFile = 64 * 1024 * 1024;

bool syncFolder(const QString& folder)
{
    const cryptelle::UniqueFd fd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.get() >= 0 && ::fsync(fd.get()) == 0;
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
    const QString folder = QFileInfo(filePath).absolutePath();
    if (!QDir().mkpath(folder))
        return {false, QStringLiteral("The folder %1 cannot be created.").arg(QDir::toNativeSeparators(folder))};

    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return {false, file.errorString()};
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray bytes = queueFileBytes(entries);
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return {false, reason};
    }
    if (::fsync(file.handle()) != 0) {
        file.cancelWriting();
        return {false, QString::fromLocal8Bit(::strerror(errno))};
    }
    if (!file.commit())
        return {false, file.errorString()};
    // The rename is only durable once the folder is.
    if (!syncFolder(folder))
        return {false, QString::fromLocal8Bit(::strerror(errno))};
    return {true, {}};
}

} // namespace zqvcore
