#include <QAbstractItemModelTester>
#include <QFile>

#include <gtest/gtest.h>
#include <unistd.h>

#include "QtText.h"
#include "QueueModel.h"
#include "TempDir.h"

using namespace zqvcore;
using testsupport::q;

namespace {

QList<QueueEntry> threeEntries()
{
    return {
        {QStringLiteral("/home/ann/report final.pdf"),
         QStringLiteral("Encrypt"),
         QStringLiteral("07/12/2026 14:02:11")},
        {QStringLiteral("/home/ann/Ünïcödé/café.zqv"),
         QStringLiteral("Decrypt"),
         QStringLiteral("08/12/2026 09:00:00")},
        {QStringLiteral("/tmp/a"), QStringLiteral("Make Self-Extracting"), QString()},
    };
}

TEST(QueueFile, SaveThenLoadGivesTheSameRowsAndTheExactBytes)
{
    testsupport::TempDir dir;
    const QString path = q(dir.file("state/ZQV/queue.txt"));
    ASSERT_TRUE(writeQueueFile(path, threeEntries()).ok);
    EXPECT_EQ(readQueueFile(path), threeEntries());
    EXPECT_EQ(testsupport::readFile(dir.file("state/ZQV/queue.txt")),
              "/home/ann/report final.pdf\r\nEncrypt\r\n07/12/2026 14:02:11\r\n"
              "/home/ann/\xC3\x9Cn\xC3\xAF"
              "c\xC3\xB6"
              "d\xC3\xA9/caf\xC3\xA9.zqv\r\nDecrypt\r\n08/12/2026 09:00:00\r\n"
              "/tmp/a\r\nMake Self-Extracting\r\n\r\n");
    ASSERT_TRUE(writeQueueFile(path, {}).ok);
    EXPECT_EQ(testsupport::readFile(dir.file("state/ZQV/queue.txt")), "");
}

TEST(QueueFile, LoadingStopsAtTheFirstIncompleteEntry)
{
    struct Case
    {
        const char* content;
        int entries;
    };
    const Case cases[] = {
        {"", 0},
        {"a\r\nEncrypt\r\nt1\r\nb\r\nWipe\r\nt2\r\nc\r\n", 2}, // seven lines
        {"a\r\nEncrypt\r\nt1\r\nb\r\nWipe\r\n", 1},
        {"a\r\nEncrypt\r\nt1", 1},                            // last line without its break
        {"a\nEncrypt\nt1\n", 1},                              // bare line feeds
        {"a\r\nNonsense\r\nt1\r\na\r\nEncrypt\r\nt1\r\n", 2}, // unknown words and duplicates load as they are
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        testsupport::TempDir dir;
        testsupport::writeFile(dir.file("queue.txt"), c.content);
        EXPECT_EQ(readQueueFile(q(dir.file("queue.txt"))).size(), c.entries);
    }
    testsupport::TempDir dir;
    EXPECT_TRUE(readQueueFile(q(dir.file("missing.txt"))).isEmpty());
    EXPECT_TRUE(readQueueFile(q(dir.path())).isEmpty()); // a folder in its place
}

TEST(QueueFile, AFailedSaveLeavesTheOldQueueIntact)
{
    testsupport::TempDir dir;
    const QString path = q(dir.file("queue.txt"));
    ASSERT_TRUE(writeQueueFile(path, threeEntries()).ok);
    const std::string before = testsupport::readFile(dir.file("queue.txt"));

    QList<QueueEntry> broken = threeEntries();
    broken[1].path = QStringLiteral("/tmp/two\nlines");
    EXPECT_FALSE(writeQueueFile(path, broken).ok);

    if (::geteuid() != 0) { // root writes into read-only folders
        ASSERT_TRUE(testsupport::run("chmod a-w '" + dir.path() + "'"));
        const QueueSaveResult result = writeQueueFile(path, {});
        ASSERT_TRUE(testsupport::run("chmod u+w '" + dir.path() + "'"));
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.error.isEmpty());
    }
    EXPECT_EQ(testsupport::readFile(dir.file("queue.txt")), before);
    EXPECT_EQ(testsupport::listFolder(dir.path()), "queue.txt"); // no temporary left behind
}

TEST(QueueModel, EveryChangeIsOnDiskAtOnce)
{
    testsupport::TempDir dir;
    const QString path = q(dir.file("ZQV/queue.txt"));
    {
        QueueModel model;
        QAbstractItemModelTester tester(&model);
        model.bindFile(path);
        EXPECT_EQ(model.count(), 0);
        for (const QueueEntry& entry : threeEntries())
            ASSERT_TRUE(model.append(entry));
        model.removeAt(1);
        model.removeAt(7); // out of range: nothing
        // The model goes without any explicit save, as after a crash.
    }
    QueueModel next;
    next.bindFile(path);
    ASSERT_EQ(next.count(), 2);
    EXPECT_EQ(next.entries().at(0), threeEntries().at(0));
    EXPECT_EQ(next.entries().at(1), threeEntries().at(2));
    EXPECT_EQ(next.data(next.index(1, QueueModel::ActionColumn)).toString(), QStringLiteral("Make Self-Extracting"));

    next.clear();
    QueueModel afterClear;
    afterClear.bindFile(path);
    EXPECT_EQ(afterClear.count(), 0);
}

TEST(QueueModel, RefusesLineBreaksAndFindsDuplicatesAnywhere)
{
    QueueModel model;
    for (const QueueEntry& entry : threeEntries())
        ASSERT_TRUE(model.append(entry));
    for (const char* bad : {"/tmp/a\nb", "/tmp/a\rb", "/tmp/end\n"})
        EXPECT_FALSE(model.append({QLatin1String(bad), QStringLiteral("Wipe"), QString()})) << bad;
    EXPECT_EQ(model.count(), 3);

    for (const QueueEntry& entry : threeEntries())
        EXPECT_TRUE(model.containsPath(entry.path)) << entry.path.toStdString();
    EXPECT_FALSE(model.containsPath(QStringLiteral("/TMP/A")));
    EXPECT_FALSE(model.containsPath(QStringLiteral("/tmp/a ")));
    EXPECT_FALSE(QueueModel().containsPath(QString()));
}

TEST(QueueModel, ReportsAFailedSave)
{
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("blocker"), "a file where the folder should be");
    QueueModel model;
    model.bindFile(q(dir.file("blocker/queue.txt")));
    QString reason;
    model.setSaveErrorHandler([&](const QString& r) { reason = r; });
    ASSERT_TRUE(model.append(threeEntries().at(0)));
    EXPECT_FALSE(reason.isEmpty());
    EXPECT_EQ(model.count(), 1); // the row stays for this run
}

TEST(QueueFile, DefaultPathFollowsXdgStateHome)
{
    const QByteArray old = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", "/srv/state");
    EXPECT_EQ(defaultQueueFilePath(), QStringLiteral("/srv/state/ZQV/queue.txt"));
    qputenv("XDG_STATE_HOME", "relative/state");
    EXPECT_TRUE(defaultQueueFilePath().endsWith(QStringLiteral("/.local/state/ZQV/queue.txt")));
    qunsetenv("XDG_STATE_HOME");
    EXPECT_TRUE(defaultQueueFilePath().endsWith(QStringLiteral("/.local/state/ZQV/queue.txt")));
    if (!old.isNull())
        qputenv("XDG_STATE_HOME", old);
}

} // namespace
