#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QTimeZone>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "InChild.h"
#include "QtText.h"
#include "QueueModel.h"
#include "TempDir.h"

using namespace zqvcore;
using testsupport::numbered;
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

namespace {

QueueEntry entryFor(const std::string& name)
{
    return {
        QStringLiteral("/home/ann/") + QString::fromStdString(name), QStringLiteral("Encrypt"), QStringLiteral("t")};
}

// As many entries as a queue may hold.
QList<QueueEntry> fullQueue()
{
    QList<QueueEntry> full;
    for (int i = 0; i < kMostQueueEntries; ++i)
        full.append(entryFor(numbered("f", i)));
    return full;
}

using Names = std::vector<std::string>;

Names pathsOf(const QList<QueueEntry>& entries)
{
    Names paths;
    for (const QueueEntry& entry : entries)
        paths.push_back(entry.path.mid(10).toStdString());
    return paths;
}

TEST(QueueSharing, TwoQueuesOnOneFileNeverLoseOrResurrectEntries)
{
    testsupport::TempDir dir;
    const QString path = q(dir.file("ZQV/queue.txt"));
    // Two windows, each with its own rows; neither follows the other's
    // changes in between (no event loop runs), as when both act quickly.
    QueueModel a;
    QueueModel b;
    QAbstractItemModelTester testerA(&a);
    QAbstractItemModelTester testerB(&b);
    a.bindFile(path);
    b.bindFile(path);

    ASSERT_TRUE(a.append(entryFor("a1")));
    ASSERT_TRUE(b.append(entryFor("b1")));
    ASSERT_TRUE(a.append(entryFor("a2")));
    EXPECT_EQ(pathsOf(readQueueFile(path)), (Names{"a1", "b1", "a2"}));
    EXPECT_EQ(pathsOf(a.entries()), (Names{"a1", "b1", "a2"}));

    b.removeAt(0); // b shows a1, b1: it removes a1
    ASSERT_TRUE(a.append(entryFor("a3")));
    EXPECT_EQ(pathsOf(readQueueFile(path)), (Names{"b1", "a2", "a3"})); // a1 stays gone

    EXPECT_TRUE(b.remove(entryFor("a2")));  // done by b's Perform
    EXPECT_FALSE(a.remove(entryFor("a2"))); // and again by a's: already gone, nothing else goes
    EXPECT_EQ(pathsOf(readQueueFile(path)), (Names{"b1", "a3"}));

    // a clears what it shows; what b adds after a last looked stays.
    ASSERT_TRUE(b.append(entryFor("b2")));
    const QList<QueueEntry> aShows = a.entries();
    a.clear();
    EXPECT_EQ(pathsOf(readQueueFile(path)), (Names{"b2"}));
    EXPECT_FALSE(aShows.contains(entryFor("b2")));

    // Exit: a window that goes writes nothing, so it cannot undo the other's changes.
    {
        QueueModel c;
        c.bindFile(path);
        ASSERT_TRUE(b.append(entryFor("b3")));
    }
    EXPECT_EQ(pathsOf(readQueueFile(path)), (Names{"b2", "b3"}));

    b.reload();
    a.reload();
    EXPECT_EQ(a.entries(), b.entries());
    EXPECT_EQ(a.entries(), readQueueFile(path));
}

TEST(QueueSharing, TwoProcessesAddingAndRemovingAtOnceKeepEveryChange)
{
    testsupport::TempDir dir;
    const QString path = q(dir.file("ZQV/queue.txt"));
    constexpr int kEach = 60;
    pid_t children[2];
    for (int writer = 0; writer < 2; ++writer) {
        children[writer] = ::fork();
        ASSERT_GE(children[writer], 0);
        if (children[writer] == 0) {
            ::alarm(60);
            QueueModel model;
            model.bindFile(path);
            for (int i = 0; i < kEach; ++i) {
                const QueueEntry entry = entryFor(numbered("w", writer) + numbered("-", i));
                if (!model.append(entry))
                    ::_exit(2);
                if (i % 2 == 0 && !model.remove(entry))
                    ::_exit(3);
            }
            ::_exit(0);
        }
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    Names expected;
    for (int writer = 0; writer < 2; ++writer) {
        for (int i = 1; i < kEach; i += 2)
            expected.push_back(numbered("w", writer) + numbered("-", i));
    }
    Names found = pathsOf(readQueueFile(path));
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
}

TEST(QueueSharing, TheRowsFollowTheFileWhenTheEventLoopRuns)
{
    int argc = 1;
    char name[] = "core_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    testsupport::TempDir dir;
    const QString path = q(dir.file("ZQV/queue.txt"));
    QueueModel a;
    QueueModel b;
    a.bindFile(path);
    b.bindFile(path);
    ASSERT_TRUE(b.append(entryFor("b1")));
    // The watcher's report arrives through the event loop.
    for (int round = 0; round < 400 && a.count() == 0; ++round) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ::usleep(5000);
    }
    EXPECT_EQ(pathsOf(a.entries()), (Names{"b1"}));
}

TEST(QueueLimits, WriterAndReaderAgree)
{
    testsupport::TempDir dir;
    const QString path = q(dir.file("queue.txt"));
    const QList<QueueEntry> full = fullQueue();
    ASSERT_TRUE(writeQueueFile(path, full).ok);
    EXPECT_EQ(readQueueFileChecked(path).status, QueueFileRead::Status::Read);
    EXPECT_EQ(readQueueFile(path).size(), kMostQueueEntries);

    // One more is refused by the writer, and the file stays as it was.
    QList<QueueEntry> over = full;
    over.append(entryFor("one too many"));
    const QueueSaveResult refused = writeQueueFile(path, over);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.error, QStringLiteral("The queue can hold at most 10000 entries."));
    EXPECT_EQ(readQueueFile(path).size(), kMostQueueEntries);

    // Long paths reach the byte limit first: the largest file written is still read.
    QList<QueueEntry> big;
    const QString longName(4000, QLatin1Char('x'));
    qint64 bytes = 0;
    while (bytes + 4000 + 32 < kLargestQueueFile) {
        big.append({QStringLiteral("/%1/").arg(big.size()) + longName, QStringLiteral("Wipe"), QStringLiteral("t")});
        bytes += queueFileBytes({big.constLast()}).size();
    }
    ASSERT_TRUE(writeQueueFile(path, big).ok);
    EXPECT_EQ(readQueueFile(path), big);
    big.append({QStringLiteral("/last/") + longName, QStringLiteral("Wipe"), QStringLiteral("t")});
    EXPECT_EQ(writeQueueFile(path, big).error, QStringLiteral("The queue file can be at most 16 MiB."));
}

TEST(QueueLimits, AddingToAFullQueueIsRefusedWithAMessage)
{
    testsupport::TempDir dir;
    const QString path = q(dir.file("queue.txt"));
    const QList<QueueEntry> full = fullQueue();
    ASSERT_TRUE(writeQueueFile(path, full).ok);
    const std::string before = testsupport::readFile(dir.file("queue.txt"));

    QueueModel model;
    model.bindFile(path);
    ASSERT_EQ(model.count(), kMostQueueEntries);
    const QueueChange change = model.append(entryFor("late"));
    EXPECT_FALSE(change);
    EXPECT_EQ(change.refusal,
              QStringLiteral("The queue can hold at most 10000 entries. /home/ann/late was not added."));
    EXPECT_EQ(model.count(), kMostQueueEntries);
    EXPECT_EQ(testsupport::readFile(dir.file("queue.txt")), before);

    // Unbound (no file), the same limit holds.
    QueueModel memory;
    for (const QueueEntry& entry : full)
        ASSERT_TRUE(memory.append(entry));
    EXPECT_FALSE(memory.append(entryFor("late")));
}

struct Unreadable
{
    const char* name;
    std::string content;
    const char* reason;
    QStringList keptEntries; // what the queue starts with
};

class UnreadableQueue : public ::testing::TestWithParam<Unreadable>
{
};

std::string repeatedEntries(qsizetype count)
{
    std::string text;
    for (qsizetype i = 0; i < count; ++i)
        text += "/e" + std::to_string(i) + "\r\nWipe\r\nt\r\n";
    return text;
}

TEST_P(UnreadableQueue, IsSetAsideNeverOverwrittenAndTheUserIsTold)
{
    const Unreadable& c = GetParam();
    testsupport::TempDir dir;
    testsupport::writeFile(dir.file("queue.txt"), c.content);
    QueueModel model;
    QStringList notices;
    model.setNoticeHandler([&](const QString& message) { notices.append(message); });
    model.bindFile(q(dir.file("queue.txt")));

    ASSERT_EQ(notices.size(), 1);
    const QString aside = QString::fromStdString(testsupport::listFolder(dir.path()))
                              .split(QLatin1Char(' '))
                              .filter(QStringLiteral("queue.txt.unreadable-"))
                              .value(0);
    ASSERT_FALSE(aside.isEmpty()) << testsupport::listFolder(dir.path());
    EXPECT_EQ(testsupport::readFile(dir.file(aside.toStdString())), c.content); // kept whole
    EXPECT_TRUE(notices.at(0).startsWith(
        QStringLiteral("The queue file %1 could not be read: %2. It was kept as %3, and the queue starts ")
            .arg(q(dir.file("queue.txt")), QLatin1String(c.reason), q(dir.file(aside.toStdString())))))
        << notices.at(0).toStdString();
    QStringList shown;
    for (const QueueEntry& entry : model.entries())
        shown.append(entry.path);
    EXPECT_EQ(shown, c.keptEntries);
    EXPECT_TRUE(model.keptInFile());

    ASSERT_TRUE(model.append(entryFor("new")));
    EXPECT_EQ(testsupport::readFile(dir.file(aside.toStdString())), c.content);
    EXPECT_EQ(readQueueFile(q(dir.file("queue.txt"))).constLast(), entryFor("new"));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds,
    UnreadableQueue,
    ::testing::Values(
        Unreadable{
            "TooLarge", repeatedEntries(3) + std::string(kLargestQueueFile, 'x'), "it is larger than 16 MiB", {}},
        Unreadable{"NotUtf8", "/home/ann/caf\xE9.txt\r\nEncrypt\r\nt\r\n", "it is not UTF-8 text", {}},
        Unreadable{"TooManyEntries", repeatedEntries(kMostQueueEntries + 1), "it holds more than 10000 entries", {}},
        Unreadable{"EndsInsideAnEntry",
                   "/a\r\nWipe\r\nt\r\n/b\r\nWipe\r\n",
                   "it ends inside an entry",
                   {QStringLiteral("/a")}}),
    [](const ::testing::TestParamInfo<Unreadable>& info) { return std::string(info.param.name); });

struct NotAFile
{
    const char* name;
    std::function<void(const std::string& path)> make;
    const char* reason;
};

class HostileQueueFile : public ::testing::TestWithParam<NotAFile>
{
};

TEST_P(HostileQueueFile, NeverHangsNorGrowsAndIsLeftAsItIs)
{
    const NotAFile& c = GetParam();
    testsupport::TempDir dir;
    const std::string file = dir.file("queue.txt");
    c.make(file);
    struct stat before
    {
    };
    ASSERT_EQ(::lstat(file.c_str(), &before), 0);

    // In a child: a reader that blocks on the pipe or reads /dev/zero to its
    // end is stopped by the alarm or the memory cap, and the test fails.
    const testsupport::ChildOutcome outcome = testsupport::runInChild([&] {
        QueueModel model;
        QString said;
        model.setNoticeHandler([&](const QString& message) { said += message; });
        model.bindFile(q(file));
        const bool added = static_cast<bool>(model.append(entryFor("a")));
        return said.toStdString() + "|" + std::to_string(model.count()) + "|" + (added ? "added" : "refused") + "|" +
               (model.keptInFile() ? "file" : "memory");
    });
    ASSERT_TRUE(outcome.finished) << outcome.how;
    EXPECT_EQ(outcome.output,
              QStringLiteral("The queue file %1 could not be read: %2. It was left as it is; the queue starts empty "
                             "and is kept only until the program ends.|1|added|memory")
                  .arg(q(file), QLatin1String(c.reason))
                  .toStdString());

    struct stat after
    {
    };
    ASSERT_EQ(::lstat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(testsupport::listFolder(dir.path()), "queue.txt queue.txt.lock");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds,
    HostileQueueFile,
    ::testing::Values(NotAFile{"NamedPipe",
                               [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); },
                               "it is a named pipe, not a regular file"},
                      NotAFile{"LinkToDevZero",
                               [](const std::string& path) { ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0); },
                               "it is a link to a device, not to a regular file"},
                      NotAFile{"Folder",
                               [](const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0700), 0); },
                               "it is a folder, not a regular file"}),
    [](const ::testing::TestParamInfo<NotAFile>& info) { return std::string(info.param.name); });

} // namespace

namespace {

TEST(QueueTime, ShortDateAndLongTimeWithoutTheZone)
{
    const QDateTime when(QDate(2026, 12, 8), QTime(1, 18, 5), QTimeZone::utc());
    EXPECT_EQ(queueTimeText(when, QLocale(QLocale::English, QLocale::UnitedStates)),
              QStringLiteral("12/8/26 1:18:05 AM"));
    EXPECT_EQ(queueTimeText(when, QLocale(QLocale::German, QLocale::Germany)), QStringLiteral("08.12.26 01:18:05"));
    for (const QLocale& locale : {QLocale::c(),
                                  QLocale(QLocale::English, QLocale::UnitedKingdom),
                                  QLocale(QLocale::French, QLocale::France),
                                  QLocale(QLocale::Japanese, QLocale::Japan),
                                  QLocale(QLocale::Finnish, QLocale::Finland)}) {
        const QString text = queueTimeText(when, locale);
        SCOPED_TRACE(locale.name().toStdString() + ": " + text.toStdString());
        EXPECT_TRUE(text.startsWith(locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ')));
        EXPECT_FALSE(text.contains(QLatin1String("UTC")));
        EXPECT_FALSE(text.contains(when.timeZoneAbbreviation()));
        EXPECT_TRUE(text.contains(QLatin1String("18")) && text.contains(QLatin1String("05"))); // minutes and seconds
        EXPECT_FALSE(text.endsWith(QLatin1Char(' ')));
    }
}

} // namespace
