#include "FileManagerEntries.h"

#include <QFile>
#include <QProcess>
#include <QXmlStreamReader>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "QtText.h"
#include "TempDir.h"

using namespace zqvcore;
using testsupport::q;

namespace {

enum class Manager { Dolphin, Nautilus, Nemo, Thunar };

// Blanks, both quotes, a backslash, shell and field-code characters, non-ASCII.
const std::string kAwkward = "it's \"q\" b\\s $HOME %d `x` ü";

// A program folder with a stand-in engine that logs each run's arguments,
// and empty per-user folders (Thunar counts as installed).
struct Sandbox
{
    testsupport::TempDir temp;
    std::string programFolder = temp.path() + "/prog " + kAwkward;
    std::string log = temp.path() + "/engine.log";
    UserFolders folders{q(temp.path() + "/data"), q(temp.path() + "/config"), {q(temp.path() + "/etc")}};

    Sandbox()
    {
        ::mkdir(programFolder.c_str(), 0755);
        ::mkdir((temp.path() + "/config").c_str(), 0700);
        ::mkdir((temp.path() + "/config/Thunar").c_str(), 0700);
        testsupport::writeFile(programFolder + "/zqvengine",
                               "#!/bin/sh\n{ printf run; for a in \"$@\"; do printf '|%s' \"$a\"; done; echo; } >> '" +
                                   log + "'\n");
        ::chmod((programFolder + "/zqvengine").c_str(), 0755);
    }

    [[nodiscard]] QString engine() const { return q(programFolder + "/zqvengine"); }

    [[nodiscard]] std::string path(const std::string& name) const { return temp.path() + "/" + name; }
};

QString keyFileUnescape(const QString& value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value.at(i) == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar next = value.at(++i);
            out += next == QLatin1Char('s')   ? QChar(QLatin1Char(' '))
                   : next == QLatin1Char('n') ? QChar(QLatin1Char('\n'))
                   : next == QLatin1Char('t') ? QChar(QLatin1Char('\t'))
                                              : next;
        } else {
            out += value.at(i);
        }
    }
    return out;
}

QString keyFileValue(const std::string& file, const char* key)
{
    const QStringList lines = QString::fromUtf8(testsupport::readFile(file)).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String(key) + QLatin1Char('=')))
            return keyFileUnescape(line.mid(static_cast<qsizetype>(std::strlen(key)) + 1));
    }
    ADD_FAILURE() << "no " << key << " in " << file;
    return QString();
}

// A desktop entry's Exec line split into arguments, %F giving one per file.
QStringList desktopExec(const QString& exec, const QStringList& files)
{
    QStringList arguments;
    QString current;
    bool inQuotes = false;
    bool started = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (inQuotes) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size())
                current += exec.at(++i);
            else if (c == QLatin1Char('"'))
                inQuotes = false;
            else if (c == QLatin1Char('%') && i + 1 < exec.size() && exec.at(i + 1) == QLatin1Char('%'))
                current += exec.at(++i);
            else
                current += c;
        } else if (c == QLatin1Char('"')) {
            inQuotes = started = true;
        } else if (c == QLatin1Char(' ')) {
            if (started)
                arguments.append(current);
            current.clear();
            started = false;
        } else if (c == QLatin1Char('%') && i + 1 < exec.size()) {
            const QChar code = exec.at(++i);
            if (code == QLatin1Char('F'))
                arguments += files;
            else if (code == QLatin1Char('%'))
                current += code, started = true;
        } else {
            current += c;
            started = true;
        }
    }
    if (started)
        arguments.append(current);
    return arguments;
}

// What Nemo and Thunar do: each file single-quoted for the shell in place of
// %F, then the line split like a shell would.
QString shellCommandLine(const QString& command, const QStringList& files)
{
    QStringList quoted;
    for (QString file : files)
        quoted.append(QLatin1Char('\'') + file.replace(QLatin1Char('\''), QLatin1String("'\\''")) + QLatin1Char('\''));
    QString line;
    for (qsizetype i = 0; i < command.size(); ++i) {
        if (command.at(i) == QLatin1Char('%') && i + 1 < command.size()) {
            const QChar code = command.at(++i);
            if (code == QLatin1Char('F'))
                line += quoted.join(QLatin1Char(' '));
            else if (code == QLatin1Char('%'))
                line += code;
        } else {
            line += command.at(i);
        }
    }
    return line;
}

QString thunarCommand(const QString& ucaFile, const char* id)
{
    QFile file(ucaFile);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QXmlStreamReader reader(&file);
    QString command;
    QString uniqueId;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("command"))
            command = reader.readElementText();
        else if (reader.isStartElement() && reader.name() == QLatin1String("unique-id"))
            uniqueId = reader.readElementText();
        else if (reader.isEndElement() && reader.name() == QLatin1String("action") && uniqueId == QLatin1String(id))
            return command;
    }
    return QString();
}

// Starts the entry the way its file manager would for the selected paths.
void launch(const Sandbox& box, Manager manager, const FileManagerEntry& entry, const QStringList& selected)
{
    QProcess process;
    switch (manager) {
    case Manager::Dolphin: {
        const QStringList argv =
            desktopExec(keyFileValue(dolphinServiceMenuFile(box.folders, entry).toStdString(), "Exec"), selected);
        ASSERT_FALSE(argv.isEmpty());
        process.start(argv.first(), argv.mid(1));
        break;
    }
    case Manager::Nautilus: {
        // GNOME Files runs scripts in the folder shown, with the names relative to it.
        QStringList names;
        for (const QString& path : selected)
            names.append(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
        process.setWorkingDirectory(q(box.temp.path()));
        process.start(nautilusScriptFile(box.folders, entry), names);
        break;
    }
    case Manager::Nemo:
        process.start(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"),
             shellCommandLine(keyFileValue(nemoActionFile(box.folders, entry).toStdString(), "Exec"), selected)});
        break;
    case Manager::Thunar:
        process.start(QStringLiteral("/bin/sh"),
                      {QStringLiteral("-c"),
                       shellCommandLine(thunarCommand(thunarActionsFile(box.folders), entry.id), selected)});
        break;
    }
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
}

const FileManagerEntry& fileVerb(const char* id)
{
    for (const FileManagerEntry& entry : fileVerbEntries()) {
        if (std::string(entry.id) == id)
            return entry;
    }
    throw std::runtime_error(id);
}

class EachFileManager : public ::testing::TestWithParam<Manager>
{
protected:
    Sandbox box;

    void SetUp() override
    {
        const EntryWriteResult folderVerb = writeFileManagerEntries(box.folders, box.engine(), {&folderVerbEntry(), 1});
        ASSERT_TRUE(folderVerb.ok) << folderVerb.file.toStdString() << ": " << folderVerb.reason.toStdString();
        const EntryWriteResult files = writeFileManagerEntries(box.folders, box.engine(), fileVerbEntries());
        ASSERT_TRUE(files.ok) << files.file.toStdString() << ": " << files.reason.toStdString();
    }

    // Creates the items (names ending in '/' are folders) and returns their paths.
    QStringList make(std::initializer_list<std::string> names)
    {
        QStringList paths;
        for (std::string name : names) {
            if (name.back() == '/') {
                name.pop_back();
                ::mkdir(box.path(name).c_str(), 0755);
            } else {
                testsupport::writeFile(box.path(name), "content");
            }
            paths.append(q(box.path(name)));
        }
        return paths;
    }

    [[nodiscard]] std::string runs() const { return testsupport::readFile(box.log); }
};

TEST_P(EachFileManager, FolderVerbRunsTheEngineOncePerFolderWithTwoArguments)
{
    const QStringList selected = make({"folder " + kAwkward + "/", "plain.txt", "second/"});
    launch(box, GetParam(), folderVerbEntry(), selected);
    EXPECT_EQ(runs(), "run|/f|" + box.path("folder " + kAwkward) + "\nrun|/f|" + box.path("second") + "\n");
}

TEST_P(EachFileManager, FileVerbsRunOneFileAfterAnotherAndPassFoldersOver)
{
    const QStringList selected = make({"one " + kAwkward + ".txt", "a folder/", "two.zqv"});
    for (const char* id : {"zqv-encrypt-file", "zqv-decrypt-file", "zqv-make-exe"}) {
        SCOPED_TRACE(id);
        ::unlink(box.log.c_str());
        launch(box, GetParam(), fileVerb(id), selected);
        const std::string engineSwitch = fileVerb(id).engineSwitch;
        EXPECT_EQ(runs(),
                  "run|" + engineSwitch + "|" + box.path("one " + kAwkward + ".txt") + "\nrun|" + engineSwitch + "|" +
                      box.path("two.zqv") + "\n");
    }
}

TEST_P(EachFileManager, WipeTakesSeveralFilesInOneRunAndOneFileAlone)
{
    const QStringList several = make({"a " + kAwkward, "b.txt", "what?.txt", "folder/"});
    launch(box, GetParam(), fileVerb("zqv-wipe-file"), several);
    // The name with '?' cannot travel in the list form.
    EXPECT_EQ(runs(), "run|/w|?" + box.path("a " + kAwkward) + "?" + box.path("b.txt") + "\n");

    ::unlink(box.log.c_str());
    launch(box, GetParam(), fileVerb("zqv-wipe-file"), {several.at(0)});
    EXPECT_EQ(runs(), "run|/w|" + box.path("a " + kAwkward) + "\n");
}

std::string managerName(const ::testing::TestParamInfo<Manager>& info)
{
    static const char* const names[] = {"Dolphin", "Nautilus", "Nemo", "Thunar"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Entries,
                         EachFileManager,
                         ::testing::Values(Manager::Dolphin, Manager::Nautilus, Manager::Nemo, Manager::Thunar),
                         managerName);

int mode(const QString& path)
{
    struct stat info
    {
    };
    return ::stat(path.toStdString().c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

TEST(FileManagerEntries, DesktopEntriesValidateAndCarryTheExecutableBit)
{
    if (!testsupport::run("command -v desktop-file-validate"))
        GTEST_SKIP() << "desktop-file-validate is not installed";
    const Sandbox box;
    ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), {&folderVerbEntry(), 1}).ok);
    ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), fileVerbEntries()).ok);
    std::vector<const FileManagerEntry*> all{&folderVerbEntry()};
    for (const FileManagerEntry& entry : fileVerbEntries())
        all.push_back(&entry);
    for (const FileManagerEntry* entry : all) {
        const QString file = dolphinServiceMenuFile(box.folders, *entry);
        SCOPED_TRACE(file.toStdString());
        EXPECT_EQ(mode(file), 0755);
        EXPECT_EQ(mode(nautilusScriptFile(box.folders, *entry)), 0755);
        EXPECT_EQ(keyFileValue(nemoActionFile(box.folders, *entry).toStdString(), "Name"), QLatin1String(entry->label));
        // The validator knows desktop entries for programs only; a service
        // menu's own keys are the one thing it may object to.
        QProcess validate;
        validate.start(QStringLiteral("desktop-file-validate"), {file});
        ASSERT_TRUE(validate.waitForFinished(30000));
        for (const QString& line : QString::fromUtf8(validate.readAllStandardOutput()).split(QLatin1Char('\n'))) {
            if (!line.isEmpty()) {
                EXPECT_TRUE(line.contains(QLatin1String("the type is \"Service\""))) << line.toStdString();
            }
        }
    }
}

TEST(FileManagerEntries, RemovalTakesExactlyOursAndKeepsTheUsersThunarActions)
{
    const Sandbox box;
    const std::string uca = box.temp.path() + "/config/Thunar/uca.xml";
    const std::string users = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n<action>\n\t<icon>x</icon>\n"
                              "\t<name>Mine &amp; only</name>\n\t<unique-id>1650-1</unique-id>\n"
                              "\t<command>echo %f</command>\n\t<patterns>*</patterns>\n\t<directories/>\n</action>\n"
                              "<!-- kept -->\n<action><name>Two</name><unique-id>1650-2</unique-id>"
                              "<command>true</command></action>\n</actions>\n";
    testsupport::writeFile(uca, users);
    const std::string neighbour = box.temp.path() + "/data/nautilus/scripts/My own script";
    ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), fileVerbEntries()).ok);
    testsupport::writeFile(neighbour, "#!/bin/sh\n");

    const std::string written = testsupport::readFile(uca);
    EXPECT_EQ(written.substr(0, users.rfind("</actions>")), users.substr(0, users.rfind("</actions>")));
    EXPECT_NE(written.find("<unique-id>zqv-wipe-file</unique-id>"), std::string::npos);
    // Renewing replaces ours instead of adding them again, and leaves
    // unchanged files alone (start-up renews them every time).
    const auto inode = [&box] {
        struct stat info
        {
        };
        ::stat((box.temp.path() + "/data/nemo/actions/zqv-wipe-file.nemo_action").c_str(), &info);
        return info.st_ino;
    };
    const ino_t before = inode();
    ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), fileVerbEntries()).ok);
    EXPECT_EQ(testsupport::readFile(uca), written);
    EXPECT_EQ(inode(), before);

    ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), {&folderVerbEntry(), 1}).ok);
    removeFileManagerEntries(box.folders, fileVerbEntries());
    EXPECT_EQ(testsupport::listFolder(box.temp.path() + "/data/nautilus/scripts"), "Encrypt Folder... My own script");
    EXPECT_EQ(testsupport::listFolder(box.temp.path() + "/data/kio/servicemenus"), "zqv-encrypt-folder.desktop");
    EXPECT_EQ(testsupport::listFolder(box.temp.path() + "/data/nemo/actions"), "zqv-encrypt-folder.nemo_action");
    removeFileManagerEntries(box.folders, {&folderVerbEntry(), 1});
    EXPECT_EQ(testsupport::readFile(uca), users);
    EXPECT_EQ(testsupport::listFolder(box.temp.path() + "/data/nautilus/scripts"), "My own script");
    // Removing what is not there is no failure and changes nothing.
    removeFileManagerEntries(box.folders, {&folderVerbEntry(), 1});
    EXPECT_EQ(testsupport::readFile(uca), users);
}

TEST(FileManagerEntries, ThunarActionsStartFromThunarsDefaultsOrAreLeftAlone)
{
    Sandbox box;
    ::rmdir((box.temp.path() + "/config/Thunar").c_str());
    ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), {&folderVerbEntry(), 1}).ok);
    EXPECT_FALSE(testsupport::exists(thunarActionsFile(box.folders).toStdString()));

    ::mkdir((box.temp.path() + "/etc").c_str(), 0755);
    ::mkdir((box.temp.path() + "/etc/Thunar").c_str(), 0755);
    testsupport::writeFile(box.temp.path() + "/etc/Thunar/uca.xml",
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n<action><name>Open Terminal "
                           "Here</name><unique-id>1-1</unique-id><command>t</command></action>\n</actions>\n");
    ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), {&folderVerbEntry(), 1}).ok);
    const std::string written = testsupport::readFile(thunarActionsFile(box.folders).toStdString());
    EXPECT_NE(written.find("Open Terminal Here"), std::string::npos);
    EXPECT_NE(written.find("Encrypt Folder..."), std::string::npos);
}

TEST(FileManagerEntries, AMovedProgramFolderIsRenewed)
{
    Sandbox box;
    const std::string moved = box.temp.path() + "/moved elsewhere";
    ::mkdir(moved.c_str(), 0755);
    ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), {&folderVerbEntry(), 1}).ok);
    ASSERT_TRUE(std::rename((box.programFolder + "/zqvengine").c_str(), (moved + "/zqvengine").c_str()) == 0);
    ASSERT_TRUE(writeFileManagerEntries(box.folders, q(moved + "/zqvengine"), {&folderVerbEntry(), 1}).ok);

    // The engine is gone from the old folder, so only renewed entries log a run.
    ::mkdir(box.path("x").c_str(), 0755);
    std::string expected;
    for (Manager manager : {Manager::Dolphin, Manager::Nautilus, Manager::Nemo, Manager::Thunar}) {
        launch(box, manager, folderVerbEntry(), {q(box.path("x"))});
        expected += "run|/f|" + box.path("x") + "\n";
    }
    EXPECT_EQ(testsupport::readFile(box.log), expected);
}

TEST(FileManagerEntries, EntriesThatCannotBeWrittenAreReportedAndTheRestWritten)
{
    Sandbox box;
    ::mkdir((box.temp.path() + "/data").c_str(), 0700);
    testsupport::writeFile(box.temp.path() + "/data/kio", "a file where a folder belongs");
    ::mkdir((box.temp.path() + "/data/nautilus").c_str(), 0700);
    ::mkdir((box.temp.path() + "/data/nautilus/scripts").c_str(), 0700);
    const std::string foreign = box.temp.path() + "/data/nautilus/scripts/Encrypt Folder...";
    testsupport::writeFile(foreign, "#!/bin/sh\necho the user's own\n");

    const EntryWriteResult result = writeFileManagerEntries(box.folders, box.engine(), {&folderVerbEntry(), 1});
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.file, dolphinServiceMenuFile(box.folders, folderVerbEntry()));
    EXPECT_FALSE(result.reason.isEmpty());
    EXPECT_EQ(testsupport::readFile(foreign), "#!/bin/sh\necho the user's own\n");
    EXPECT_TRUE(testsupport::exists(nemoActionFile(box.folders, folderVerbEntry()).toStdString()));

    // A user's file of the same name is neither replaced nor removed.
    ::unlink((box.temp.path() + "/data/kio").c_str());
    const EntryWriteResult second = writeFileManagerEntries(box.folders, box.engine(), {&folderVerbEntry(), 1});
    EXPECT_FALSE(second.ok);
    EXPECT_EQ(second.file, q(foreign));
    removeFileManagerEntries(box.folders, {&folderVerbEntry(), 1});
    EXPECT_EQ(testsupport::readFile(foreign), "#!/bin/sh\necho the user's own\n");
    EXPECT_FALSE(testsupport::exists(nemoActionFile(box.folders, folderVerbEntry()).toStdString()));
}

} // namespace
