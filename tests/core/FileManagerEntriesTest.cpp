#include "FileManagerEntries.h"

#include <QFile>
#include <QProcess>
#include <QXmlStreamReader>
#include <algorithm>
#include <string>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FileUpdate.h"
#include "QtText.h"
#include "TempDir.h"

extern char** environ;

using namespace zqvcore;
using testsupport::q;

namespace {

enum class Manager { Dolphin, Nautilus, Nemo, Thunar, PcmanFm };

// Blanks, both quotes, a backslash, shell and field-code characters, non-ASCII.
const std::string kAwkward = "it's \"q\" b\\s $HOME %d `x` ü";

// A program folder with a stand-in engine that logs each run's arguments, a
// dialog tool that logs each message, and empty per-user folders (Thunar
// counts as installed).
struct Sandbox
{
    testsupport::TempDir temp;
    std::string programFolder = temp.path() + "/prog " + kAwkward;
    std::string log = temp.path() + "/engine.log";
    std::string said = temp.path() + "/said.log";
    std::string tools = temp.path() + "/tools";
    UserFolders folders{q(temp.path() + "/data"), q(temp.path() + "/config"), {q(temp.path() + "/etc")}};

    Sandbox()
    {
        ::mkdir(programFolder.c_str(), 0755);
        ::mkdir(tools.c_str(), 0755);
        ::mkdir((temp.path() + "/config").c_str(), 0700);
        ::mkdir((temp.path() + "/config/Thunar").c_str(), 0700);
        ::mkdir((temp.path() + "/files").c_str(), 0755);
        testsupport::writeFile(programFolder + "/zqvengine",
                               "#!/bin/sh\n{ printf run; for a in \"$@\"; do printf '|%s' \"$a\"; done; echo; } >> '" +
                                   log + "'\n");
        ::chmod((programFolder + "/zqvengine").c_str(), 0755);
        testsupport::writeFile(tools + "/zenity",
                               "#!/bin/sh\nfor a in \"$@\"; do case $a in --text=*) printf '%s\\n' \"${a#--text=}\" "
                               ">> '" +
                                   said + "' ;; esac; done\n");
        ::chmod((tools + "/zenity").c_str(), 0755);
    }

    [[nodiscard]] QString engine() const { return q(programFolder + "/zqvengine"); }

    // Where the tests' selected items live.
    [[nodiscard]] std::string path(const std::string& name) const { return temp.path() + "/files/" + name; }
};

// Runs a program with these exact argument bytes, the stand-in dialog tool
// first on PATH; returns its exit status.
int spawn(const Sandbox& box, const std::vector<std::string>& argv)
{
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("PATH=", 0) != 0)
            environment.emplace_back(*e);
    }
    environment.push_back("PATH=" + box.tools + ":/usr/bin:/bin");
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const std::string& e : environment)
        env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, args.front(), nullptr, nullptr, args.data(), env.data()) != 0)
        return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string entryFile(const Sandbox& box, Manager manager, const FileManagerEntry& entry)
{
    switch (manager) {
    case Manager::Dolphin: {
        const DolphinMenu menu = (entry.appliesTo & ToFolders) != 0      ? DolphinMenu::Folders
                                 : (entry.appliesTo & ToPlainFiles) != 0 ? DolphinMenu::Files
                                                                         : DolphinMenu::EncryptedFiles;
        return dolphinServiceMenuFile(box.folders, menu).toStdString();
    }
    case Manager::Nautilus:
        return nautilusScriptFile(box.folders, entry).toStdString();
    case Manager::Nemo:
        return nemoActionFile(box.folders, entry).toStdString();
    case Manager::Thunar:
        return thunarActionsFile(box.folders).toStdString();
    case Manager::PcmanFm:
        return pcmanfmActionFile(box.folders, entry).toStdString();
    }
    return {};
}

const char* managerKey(Manager manager)
{
    static const char* const keys[] = {"dolphin", "nautilus", "nemo", "thunar", "pcmanfm"};
    return keys[static_cast<int>(manager)];
}

// Starts the entry the way its file manager would for the selected paths:
// through GLib's launcher, parser and quoting (fm-launch.py).
void launch(const Sandbox& box,
            Manager manager,
            const FileManagerEntry& entry,
            const std::vector<std::string>& selected)
{
    std::vector<std::string> argv{
        "/usr/bin/python3", FM_LAUNCH_SCRIPT, managerKey(manager), entryFile(box, manager, entry), entry.id};
    argv.insert(argv.end(), selected.begin(), selected.end());
    spawn(box, argv);
}

const FileManagerEntry& fileVerb(const char* id)
{
    for (const FileManagerEntry& entry : fileVerbEntries()) {
        if (std::string(entry.id) == id)
            return entry;
    }
    throw std::runtime_error(id);
}

bool haveGlib()
{
    return testsupport::run("/usr/bin/python3 -c 'import gi; gi.require_version(\"Gio\", \"2.0\")' 2>/dev/null");
}

// Names every file system here allows, each beside the file a misreading of
// it would hit (GNOME Files' field codes, the list separator, the shell).
const std::vector<std::string> kHostile{"a%fb",
                                        "100%.txt",
                                        "q?b",
                                        "x%Fy",
                                        "it's \"q\" $(touch pwned) `id` b\\s $HOME",
                                        "new\nline",
                                        "\xff\xfe not utf-8",
                                        "-leading dash",
                                        " blank at both ends "};
const std::vector<std::string> kNeighbours{"ab", "100txt", "q", "b", "xy", "new", "line"};

class EachFileManager : public ::testing::TestWithParam<Manager>
{
protected:
    Sandbox box;

    void SetUp() override
    {
        if (!haveGlib())
            GTEST_SKIP() << "python3-gi is not installed (scripts/setup.sh installs it)";
        const EntryWriteResult folderVerb = writeFileManagerEntries(box.folders, box.engine(), {&folderVerbEntry(), 1});
        ASSERT_TRUE(folderVerb.ok) << folderVerb.problems.join(QLatin1Char('\n')).toStdString();
        const EntryWriteResult files = writeFileManagerEntries(box.folders, box.engine(), fileVerbEntries());
        ASSERT_TRUE(files.ok) << files.problems.join(QLatin1Char('\n')).toStdString();
    }

    // Creates the items (names ending in '/' are folders) and returns their paths.
    std::vector<std::string> make(std::initializer_list<std::string> names)
    {
        std::vector<std::string> paths;
        for (std::string name : names) {
            if (name.back() == '/') {
                name.pop_back();
                ::mkdir(box.path(name).c_str(), 0755);
            } else {
                testsupport::writeFile(box.path(name), "content");
            }
            paths.push_back(box.path(name));
        }
        return paths;
    }

    // Every hostile name, with the neighbours a wrong reading would hit
    // present too; the hostile ones' paths.
    std::vector<std::string> makeHostileAmongNeighbours()
    {
        for (const std::string& name : kNeighbours)
            make({name});
        std::vector<std::string> selected;
        for (const std::string& name : kHostile)
            selected.push_back(make({name}).front());
        return selected;
    }

    [[nodiscard]] std::string runs() const
    {
        return testsupport::exists(box.log) ? testsupport::readFile(box.log) : std::string();
    }
    [[nodiscard]] std::string said() const
    {
        return testsupport::exists(box.said) ? testsupport::readFile(box.said) : std::string();
    }
    void clearLogs() const
    {
        ::unlink(box.log.c_str());
        ::unlink(box.said.c_str());
    }
};

TEST_P(EachFileManager, FolderVerbRunsOncePerFolderAndSaysWhatItLeftOut)
{
    const std::vector<std::string> selected = make({"folder " + kAwkward + "/", "plain.txt", "second %f?/"});
    launch(box, GetParam(), folderVerbEntry(), selected);
    EXPECT_EQ(runs(), "run|/f|" + selected[0] + "\nrun|/f|" + selected[2] + "\n");
    EXPECT_EQ(said(), "Encrypt Folder... was not started for these items: " + selected[1] + " (a file);\n");
}

TEST_P(EachFileManager, EveryFileVerbGetsTheExactPathOfEveryHostileName)
{
    std::vector<std::string> selected = makeHostileAmongNeighbours();
    for (const char* id : {"zqv-encrypt-file", "zqv-make-exe"}) {
        SCOPED_TRACE(id);
        clearLogs();
        launch(box, GetParam(), fileVerb(id), selected);
        std::string expected;
        for (const std::string& path : selected)
            expected += "run|" + std::string(fileVerb(id).engineSwitch) + "|" + path + "\n";
        EXPECT_EQ(runs(), expected);
        EXPECT_EQ(said(), "");
    }
    EXPECT_FALSE(testsupport::exists(box.temp.path() + "/files/pwned"));
    EXPECT_FALSE(testsupport::exists("/pwned"));
}

TEST_P(EachFileManager, WipeListsSeveralFilesAndGivesANameWithAQuestionMarkARunOfItsOwn)
{
    std::vector<std::string> selected = makeHostileAmongNeighbours();
    selected.push_back(make({"a folder/"}).front());
    launch(box, GetParam(), fileVerb("zqv-wipe-file"), selected);
    std::string list;
    for (const std::string& path : selected) {
        if (path.find('?') == std::string::npos && path != box.path("a folder"))
            list += "?" + path;
    }
    EXPECT_EQ(runs(), "run|/w|" + box.path("q?b") + "\nrun|/w|" + list + "\n");
    EXPECT_EQ(said(), "Wipe File was not started for these items: " + box.path("a folder") + " (a folder);\n");

    clearLogs();
    launch(box, GetParam(), fileVerb("zqv-wipe-file"), {box.path("q?b")});
    EXPECT_EQ(runs(), "run|/w|" + box.path("q?b") + "\n");
}

TEST_P(EachFileManager, ASelectionLargerThanOneArgumentReachesTheEngineWhole)
{
    // GNOME Files hands the selection over in one environment string, which
    // has the same 128 KiB limit; the others pass one argument per file.
    const int count = GetParam() == Manager::Nautilus ? 1000 : 1700;
    const std::string padding(80, 'p');
    std::vector<std::string> selected;
    std::size_t total = 0;
    for (int i = 0; i < count; ++i) {
        selected.push_back(box.path(padding + std::to_string(i)));
        testsupport::writeFile(selected.back(), "");
        total += selected.back().size() + 1;
    }
    if (GetParam() != Manager::Nautilus) {
        ASSERT_GT(total, 128u * 1024u);
    }
    launch(box, GetParam(), fileVerb("zqv-wipe-file"), selected);

    std::string joined;
    int runCount = 0;
    const std::string log = runs();
    std::size_t from = 0;
    while (from < log.size()) {
        const std::size_t end = log.find('\n', from);
        const std::string line = log.substr(from, end - from);
        from = end + 1;
        ASSERT_EQ(line.rfind("run|/w|?", 0), 0u) << line.substr(0, 80);
        const std::string operand = line.substr(7);
        EXPECT_LT(operand.size(), 128u * 1024u);
        joined += operand;
        ++runCount;
    }
    std::string expected;
    for (const std::string& path : selected)
        expected += "?" + path;
    EXPECT_EQ(joined, expected);
    EXPECT_GT(runCount, 1);
}

TEST_P(EachFileManager, AMissingEngineIsSaidAndNamesTheEntryToDelete)
{
    ASSERT_EQ(::unlink((box.programFolder + "/zqvengine").c_str()), 0);
    launch(box, GetParam(), folderVerbEntry(), make({"folder/"}));
    EXPECT_EQ(said(),
              "Cryptelle is not installed: " + box.programFolder +
                  "/zqvengine was not found. Install Cryptelle again, or remove this menu entry by deleting " +
                  entryFile(box, GetParam(), folderVerbEntry()) + "\n");
}

TEST_P(EachFileManager, FileEntriesSayWhyTheyLeaveAnItemOut)
{
    const std::vector<std::string> selected = make({"a folder/", "sealed.zqv", "plain.txt"});
    launch(box, GetParam(), fileVerb("zqv-decrypt-file"), selected);
    EXPECT_EQ(runs(), "run|/d|" + selected[1] + "\n");
    EXPECT_EQ(said(),
              "Decrypt File was not started for these items: " + selected[0] + " (a folder); " + selected[2] +
                  " (not an encrypted file);\n");
}

std::string managerName(const ::testing::TestParamInfo<Manager>& info)
{
    static const char* const names[] = {"Dolphin", "Nautilus", "Nemo", "Thunar", "PcmanFm"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(
    Entries,
    EachFileManager,
    ::testing::Values(Manager::Dolphin, Manager::Nautilus, Manager::Nemo, Manager::Thunar, Manager::PcmanFm),
    managerName);

// GNOME Files' script, started with an environment it did not write itself.
class NautilusScript : public ::testing::Test
{
protected:
    Sandbox box;
    std::string script;
    std::string folder = box.path("f");

    void SetUp() override
    {
        ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), {&folderVerbEntry(), 1}).ok);
        script = nautilusScriptFile(box.folders, folderVerbEntry()).toStdString();
        ::mkdir(folder.c_str(), 0755);
    }

    void start(const std::string& paths, const std::string& uris)
    {
        spawn(box,
              {"/usr/bin/env",
               "NAUTILUS_SCRIPT_SELECTED_FILE_PATHS=" + paths,
               "NAUTILUS_SCRIPT_SELECTED_URIS=" + uris,
               script,
               "f"});
    }
};

TEST_F(NautilusScript, PathsAndUrisThatDisagreeStartNothingAndSaySo)
{
    start(box.path("other") + "\n", "file://" + folder + "\n");
    EXPECT_FALSE(testsupport::exists(box.log));
    EXPECT_EQ(testsupport::readFile(box.said),
              "GNOME Files named the selected items in two ways that do not agree, so nothing was done.\n");
}

TEST_F(NautilusScript, RemoteItemsAndMissingSelectionsStartNothingAndSaySo)
{
    start("", "sftp://host/f\n");
    EXPECT_EQ(testsupport::readFile(box.said),
              "Cryptelle works only on files on this computer, so nothing was done.\n");
    ::unlink(box.said.c_str());
    start("", "");
    EXPECT_EQ(testsupport::readFile(box.said),
              "GNOME Files did not say which items are selected, so nothing was "
              "done. Select fewer items and try again.\n");
    ::unlink(box.said.c_str());
    start(folder + "\n", "file://" + box.temp.path() + "/files/%zz\n");
    EXPECT_EQ(testsupport::readFile(box.said),
              "GNOME Files named a selected item in a way that cannot be read exactly, so nothing was done.\n");
    EXPECT_FALSE(testsupport::exists(box.log));
}

TEST_F(NautilusScript, TheUrisDecideEvenWhereTheArgumentsAreMangled)
{
    // The argument "f" is ignored; a newline in a name is told apart by the URIs.
    const std::string odd = box.path("new\nline %41");
    ::mkdir(odd.c_str(), 0755);
    start(folder + "\n" + odd + "\n",
          "file://" + folder + "\nfile://" + box.temp.path() + "/files/new%0Aline%20%2541\n");
    EXPECT_EQ(testsupport::readFile(box.log), "run|/f|" + folder + "\nrun|/f|" + odd + "\n");
}

// A key file's value, unescaped; empty when the key is missing.
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

QString keyFileValue(const QString& file, const QString& group, const char* key)
{
    const QStringList lines = QString::fromUtf8(testsupport::readFile(file.toStdString())).split(QLatin1Char('\n'));
    QString current;
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1Char('[')))
            current = line.mid(1, line.size() - 2);
        else if (current == group && line.startsWith(QLatin1String(key) + QLatin1Char('=')))
            return keyFileUnescape(line.mid(static_cast<qsizetype>(std::strlen(key)) + 1));
    }
    return QString();
}

int mode(const QString& path)
{
    struct stat info
    {
    };
    return ::stat(path.toStdString().c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

TEST(FileManagerEntries, TheEntriesAreTheOperationRows)
{
    std::vector<std::string> fromRows;
    for (const OperationInfo& row : operationTable()) {
        if ((row.appliesTo & ToFolders) == 0)
            fromRows.push_back(std::string(row.fileManagerId) + "|" + row.fileManagerText + "|" + row.engineSwitch);
    }
    std::vector<std::string> entries;
    for (const FileManagerEntry& entry : fileVerbEntries())
        entries.push_back(std::string(entry.id) + "|" + entry.label + "|" + entry.engineSwitch);
    EXPECT_EQ(entries, fromRows);
    EXPECT_EQ(entries,
              (std::vector<std::string>{"zqv-encrypt-file|Encrypt File|/e",
                                        "zqv-decrypt-file|Decrypt File|/d",
                                        "zqv-make-exe|Make Self-Extracting Exe|/s",
                                        "zqv-wipe-file|Wipe File|/w"}));
    EXPECT_EQ(std::string(folderVerbEntry().label), "Encrypt Folder...");
    EXPECT_EQ(std::string(folderVerbEntry().engineSwitch), "/f");
}

TEST(FileManagerEntries, DolphinGetsOneCryptelleSubmenuPerKindOfSelection)
{
    const Sandbox box;
    ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), {&folderVerbEntry(), 1}).ok);
    ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), fileVerbEntries()).ok);
    struct Expected
    {
        DolphinMenu menu;
        const char* mimeTypes;
        const char* actions;
    };
    for (const Expected& expected :
         {Expected{DolphinMenu::Folders, "inode/directory;", "zqv-encrypt-folder;"},
          Expected{DolphinMenu::Files, "all/allfiles;", "zqv-encrypt-file;zqv-make-exe;zqv-wipe-file;"},
          Expected{DolphinMenu::EncryptedFiles, "application/x-zqv;", "zqv-decrypt-file;zqv-wipe-file;"}}) {
        const QString file = dolphinServiceMenuFile(box.folders, expected.menu);
        SCOPED_TRACE(file.toStdString());
        const QString group = QStringLiteral("Desktop Entry");
        EXPECT_EQ(mode(file), 0755);
        EXPECT_EQ(keyFileValue(file, group, "X-KDE-Submenu"), QLatin1String("Cryptelle"));
        EXPECT_EQ(keyFileValue(file, group, "Icon"), QLatin1String("cryptelle"));
        EXPECT_EQ(keyFileValue(file, group, "MimeType"), QLatin1String(expected.mimeTypes));
        EXPECT_EQ(keyFileValue(file, group, "Actions"), QLatin1String(expected.actions));
        EXPECT_EQ(keyFileValue(file, group, "TryExec"), box.engine());
        // KIO's releases have read the exclusion under these names, as a
        // comma list (Dolphin 22.12) or a ';' list: one type with no
        // separator is the only value both read as that type.
        for (const char* key : {"ExcludeMimeType", "ExcludeServiceTypes"})
            EXPECT_EQ(keyFileValue(file, group, key),
                      expected.menu == DolphinMenu::Files ? QStringLiteral("application/x-zqv") : QString());
        // The validator knows desktop entries for programs only; a service
        // menu's own keys and KDE's all/allfiles are what it may object to.
        if (testsupport::run("command -v desktop-file-validate >/dev/null")) {
            QProcess validate;
            validate.start(QStringLiteral("desktop-file-validate"), {file});
            ASSERT_TRUE(validate.waitForFinished(30000));
            for (const QString& line : QString::fromUtf8(validate.readAllStandardOutput()).split(QLatin1Char('\n'))) {
                if (!line.isEmpty()) {
                    EXPECT_TRUE(line.contains(QLatin1String("the type is \"Service\"")) ||
                                line.contains(QLatin1String("Exclude")) ||
                                line.contains(QLatin1String("\"all/allfiles\"")))
                        << line.toStdString();
                }
            }
        }
    }
}

TEST(FileManagerEntries, NemoPcmanFmAndThunarEntriesCarryIconTextAndFileTypes)
{
    const Sandbox box;
    ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), {&folderVerbEntry(), 1}).ok);
    ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), fileVerbEntries()).ok);
    struct Expected
    {
        const FileManagerEntry* entry;
        const char* nemoExtensions;
        const char* nemoFiles;
        const char* pcmanfmTypes;
        const char* thunarPatterns;
    };
    const QString uca = QString::fromUtf8(testsupport::readFile(thunarActionsFile(box.folders).toStdString()));
    for (const Expected& expected :
         {Expected{&folderVerbEntry(), "dir;", "", "inode/directory;", "*"},
          Expected{&fileVerb("zqv-encrypt-file"), "nodirs;", "*;!*.zqv;", "all/allfiles;!application/x-zqv;", "*"},
          Expected{&fileVerb("zqv-decrypt-file"), "zqv;", "", "application/x-zqv;", "*.zqv"},
          Expected{&fileVerb("zqv-make-exe"), "nodirs;", "*;!*.zqv;", "all/allfiles;!application/x-zqv;", "*"},
          Expected{&fileVerb("zqv-wipe-file"), "nodirs;", "", "all/allfiles;", "*"}}) {
        const FileManagerEntry& entry = *expected.entry;
        SCOPED_TRACE(entry.id);
        const QString nemo = nemoActionFile(box.folders, entry);
        const QString group = QStringLiteral("Nemo Action");
        EXPECT_EQ(keyFileValue(nemo, group, "Name"), QLatin1String(entry.label));
        EXPECT_EQ(keyFileValue(nemo, group, "Comment"), QLatin1String("Cryptelle: ") + QLatin1String(entry.label));
        EXPECT_EQ(keyFileValue(nemo, group, "Icon-Name"), QLatin1String("cryptelle"));
        EXPECT_EQ(keyFileValue(nemo, group, "Extensions"), QLatin1String(expected.nemoExtensions));
        EXPECT_EQ(keyFileValue(nemo, group, "Files"), QLatin1String(expected.nemoFiles));
        EXPECT_EQ(keyFileValue(nemo, group, "Dependencies"), box.engine() + QLatin1Char(';'));

        const QString pcmanfm = pcmanfmActionFile(box.folders, entry);
        EXPECT_EQ(keyFileValue(pcmanfm, QStringLiteral("Desktop Entry"), "Icon"), QLatin1String("cryptelle"));
        EXPECT_EQ(keyFileValue(pcmanfm, QStringLiteral("Desktop Entry"), "TryExec"), box.engine());
        EXPECT_EQ(keyFileValue(pcmanfm, QStringLiteral("X-Action-Profile zqv"), "MimeTypes"),
                  QLatin1String(expected.pcmanfmTypes));

        const QString action = uca.mid(uca.indexOf(QLatin1String("<unique-id>") + QLatin1String(entry.id)));
        const QString own = uca.mid(uca.lastIndexOf(QLatin1String("<action>"), uca.size() - action.size()),
                                    action.indexOf(QLatin1String("</action>")) + uca.size() - action.size() -
                                        uca.lastIndexOf(QLatin1String("<action>"), uca.size() - action.size()));
        EXPECT_TRUE(own.contains(QLatin1String("<icon>cryptelle</icon>"))) << own.toStdString();
        EXPECT_TRUE(own.contains(QLatin1String("<description>Cryptelle: ") + QLatin1String(entry.label)));
        EXPECT_TRUE(own.contains(QLatin1String("<patterns>") + QLatin1String(expected.thunarPatterns) +
                                 QLatin1String("</patterns>")));
    }
}

// Nemo 5.6 ignores Files; its exec condition is what keeps Encrypt and
// Make Exe off ".zqv" files there.
TEST(FileManagerEntries, NemoHidesEncryptAndMakeExeWhenAnEncryptedFileIsSelected)
{
    if (!haveGlib())
        GTEST_SKIP() << "python3-gi is not installed (scripts/setup.sh installs it)";
    const Sandbox box;
    ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), {&folderVerbEntry(), 1}).ok);
    ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), fileVerbEntries()).ok);
    const std::string plain = box.path("it's \"q\" $(touch pwned) `id`.txt");
    const std::string dotZqvInside = box.path("a.zqv.txt");
    const std::string encrypted = box.path("x y.zqv");
    for (const std::string& path : {plain, dotZqvInside, encrypted})
        testsupport::writeFile(path, "content");
    struct Case
    {
        std::vector<std::string> selected;
        bool plainOnlyEntriesShown;
    };
    for (const Case& c : {Case{{plain}, true},
                          Case{{plain, dotZqvInside}, true},
                          Case{{encrypted}, false},
                          Case{{plain, encrypted}, false}}) {
        SCOPED_TRACE(c.selected.size());
        for (const FileManagerEntry* entry : {&fileVerb("zqv-encrypt-file"),
                                              &fileVerb("zqv-make-exe"),
                                              &fileVerb("zqv-wipe-file"),
                                              &fileVerb("zqv-decrypt-file")}) {
            SCOPED_TRACE(entry->id);
            std::vector<std::string> argv{"/usr/bin/python3",
                                          FM_LAUNCH_SCRIPT,
                                          "nemo-shown",
                                          nemoActionFile(box.folders, *entry).toStdString(),
                                          entry->id};
            argv.insert(argv.end(), c.selected.begin(), c.selected.end());
            const bool plainOnly = (entry->appliesTo & ToEncryptedFiles) == 0;
            EXPECT_EQ(spawn(box, argv), plainOnly && !c.plainOnlyEntriesShown ? 1 : 0);
        }
    }
    EXPECT_FALSE(testsupport::exists(box.temp.path() + "/files/pwned"));
}

TEST(FileManagerEntries, RemovalTakesExactlyOursKeepsTheUsersFilesAndEmptyFoldersGo)
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
    EXPECT_TRUE(removeFileManagerEntries(box.folders, fileVerbEntries()).ok);
    EXPECT_EQ(testsupport::listFolder(box.temp.path() + "/data/nautilus/scripts"), "Encrypt Folder... My own script");
    EXPECT_EQ(testsupport::listFolder(box.temp.path() + "/data/kio/servicemenus"), "zqv-folders.desktop");
    EXPECT_EQ(testsupport::listFolder(box.temp.path() + "/data/nemo/actions"), "zqv-encrypt-folder.nemo_action");
    EXPECT_EQ(testsupport::listFolder(box.temp.path() + "/data/file-manager/actions"), "zqv-encrypt-folder.desktop");
    EXPECT_TRUE(removeFileManagerEntries(box.folders, {&folderVerbEntry(), 1}).ok);
    EXPECT_EQ(testsupport::readFile(uca), users);
    EXPECT_EQ(testsupport::listFolder(box.temp.path() + "/data/nautilus/scripts"), "My own script");
    // The folders only we had filled are gone; the user's stays.
    EXPECT_EQ(testsupport::listFolder(box.temp.path() + "/data"), "nautilus");
    // Removing what is not there is no failure and changes nothing.
    EXPECT_TRUE(removeFileManagerEntries(box.folders, {&folderVerbEntry(), 1}).ok);
    EXPECT_EQ(testsupport::readFile(uca), users);
}

TEST(FileManagerEntries, OlderOneFilePerEntryServiceMenusAreReplaced)
{
    const Sandbox box;
    const std::string old = box.temp.path() + "/data/kio/servicemenus/zqv-wipe-file.desktop";
    ASSERT_EQ(makeFolders(q(box.temp.path() + "/data/kio/servicemenus"), 0700), 0);
    testsupport::writeFile(old, "[Desktop Entry]\n# zqv-menu-id: zqv-wipe-file\n");
    const std::string foreign = box.temp.path() + "/data/kio/servicemenus/zqv-make-exe.desktop";
    testsupport::writeFile(foreign, "[Desktop Entry]\n# the user's own\n");
    ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), fileVerbEntries()).ok);
    EXPECT_FALSE(testsupport::exists(old));
    EXPECT_TRUE(testsupport::exists(foreign));
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
    if (!haveGlib())
        GTEST_SKIP() << "python3-gi is not installed (scripts/setup.sh installs it)";
    Sandbox box;
    const std::string moved = box.temp.path() + "/moved elsewhere";
    ::mkdir(moved.c_str(), 0755);
    ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), {&folderVerbEntry(), 1}).ok);
    ASSERT_TRUE(std::rename((box.programFolder + "/zqvengine").c_str(), (moved + "/zqvengine").c_str()) == 0);
    ASSERT_TRUE(writeFileManagerEntries(box.folders, q(moved + "/zqvengine"), {&folderVerbEntry(), 1}).ok);

    // The engine is gone from the old folder, so only renewed entries log a run.
    ::mkdir(box.path("x").c_str(), 0755);
    std::string expected;
    for (Manager manager : {Manager::Dolphin, Manager::Nautilus, Manager::Nemo, Manager::Thunar, Manager::PcmanFm}) {
        launch(box, manager, folderVerbEntry(), {box.path("x")});
        expected += "run|/f|" + box.path("x") + "\n";
    }
    EXPECT_EQ(testsupport::readFile(box.log), expected);
}

TEST(FileManagerEntries, EveryEntryInTheWayIsReportedTheSameWayAndTheRestWritten)
{
    Sandbox box;
    ::mkdir((box.temp.path() + "/data").c_str(), 0700);
    testsupport::writeFile(box.temp.path() + "/data/kio", "a file where a folder belongs");
    const std::vector<std::string> foreign{box.temp.path() + "/data/nautilus/scripts/Encrypt Folder...",
                                           box.temp.path() + "/data/nemo/actions/zqv-encrypt-folder.nemo_action",
                                           box.temp.path() + "/data/file-manager/actions/zqv-encrypt-folder.desktop"};
    for (const std::string& file : foreign) {
        ASSERT_EQ(makeFolders(q(file.substr(0, file.rfind('/'))), 0700), 0);
        testsupport::writeFile(file, "the user's own\n");
    }

    const EntryWriteResult result = writeFileManagerEntries(box.folders, box.engine(), {&folderVerbEntry(), 1});
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.file, dolphinServiceMenuFile(box.folders, DolphinMenu::Folders));
    ASSERT_EQ(result.problems.size(), 4);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(result.problems.at(i + 1),
                  q(foreign[i]) +
                      QLatin1String(": Another file of the same name is in the way; it was left as it is."));
    EXPECT_NE(testsupport::readFile(thunarActionsFile(box.folders).toStdString()).find("zqv-encrypt-folder"),
              std::string::npos);
    EXPECT_TRUE(removeFileManagerEntries(box.folders, {&folderVerbEntry(), 1}).ok);
    for (const std::string& file : foreign)
        EXPECT_EQ(testsupport::readFile(file), "the user's own\n");
}

TEST(FileManagerEntries, AProgramFolderNoEntryCanCarryIsRefusedAndRemovalStillWorks)
{
    Sandbox box;
    ASSERT_TRUE(writeFileManagerEntries(box.folders, box.engine(), fileVerbEntries()).ok);
    for (const QString& engine :
         {q(box.temp.path() + "/line\nbreak/zqvengine"),
          q(box.temp.path() + "/tab\there/zqvengine"),
          QFile::decodeName(QByteArray::fromStdString(box.temp.path() + "/\xff\xfe/zqvengine"))}) {
        SCOPED_TRACE(engine.toStdString());
        const EntryWriteResult result = writeFileManagerEntries(box.folders, engine, {&folderVerbEntry(), 1});
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(result.reason.startsWith(QLatin1String("The program folder's name ")))
            << result.reason.toStdString();
        EXPECT_FALSE(testsupport::exists(nemoActionFile(box.folders, folderVerbEntry()).toStdString()));
        EXPECT_EQ(testsupport::readFile(thunarActionsFile(box.folders).toStdString()).find("zqv-encrypt-folder"),
                  std::string::npos);
    }
    EXPECT_TRUE(removeFileManagerEntries(box.folders, fileVerbEntries()).ok);
    EXPECT_FALSE(testsupport::exists(nemoActionFile(box.folders, fileVerb("zqv-wipe-file")).toStdString()));
}

// Per-user files that are not plain files: a pipe, a link to a device, a
// huge file. Each is left as it is and reported; nothing blocks.
enum class Odd { Fifo, DeviceLink, Huge };

class OddPerUserFile : public ::testing::TestWithParam<Odd>
{
protected:
    Sandbox box;

    void makeOdd(const std::string& path)
    {
        ASSERT_EQ(makeFolders(q(path.substr(0, path.rfind('/'))), 0700), 0);
        switch (GetParam()) {
        case Odd::Fifo:
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
            break;
        case Odd::DeviceLink:
            ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0);
            break;
        case Odd::Huge:
            testsupport::writeFile(path, "<actions>" + std::string(5 * 1024 * 1024, ' ') + "</actions>");
            break;
        }
    }

    void expectUntouched(const std::string& path)
    {
        struct stat info
        {
        };
        ASSERT_EQ(::lstat(path.c_str(), &info), 0);
        switch (GetParam()) {
        case Odd::Fifo:
            EXPECT_TRUE(S_ISFIFO(info.st_mode));
            break;
        case Odd::DeviceLink:
            EXPECT_TRUE(S_ISLNK(info.st_mode));
            break;
        case Odd::Huge:
            EXPECT_EQ(info.st_size, static_cast<off_t>(5 * 1024 * 1024 + 19));
            break;
        }
    }
};

TEST_P(OddPerUserFile, ThunarsActionsAreLeftAsTheyAreAndReported)
{
    const std::string uca = thunarActionsFile(box.folders).toStdString();
    makeOdd(uca);
    const EntryWriteResult result = writeFileManagerEntries(box.folders, box.engine(), fileVerbEntries());
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.file, q(uca));
    EXPECT_TRUE(result.reason.endsWith(QLatin1String("so it was left as it is."))) << result.reason.toStdString();
    EXPECT_TRUE(testsupport::exists(nemoActionFile(box.folders, fileVerb("zqv-wipe-file")).toStdString()));
    const EntryWriteResult removal = removeFileManagerEntries(box.folders, fileVerbEntries());
    EXPECT_FALSE(removal.ok);
    EXPECT_EQ(removal.file, q(uca));
    expectUntouched(uca);
}

TEST_P(OddPerUserFile, OurNemoActionsNameIsLeftAsItIsAndReported)
{
    const std::string nemo = nemoActionFile(box.folders, folderVerbEntry()).toStdString();
    makeOdd(nemo);
    const EntryWriteResult result = writeFileManagerEntries(box.folders, box.engine(), {&folderVerbEntry(), 1});
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.file, q(nemo));
    EXPECT_TRUE(result.reason.endsWith(QLatin1String("so it was left as it is."))) << result.reason.toStdString();
    EXPECT_FALSE(removeFileManagerEntries(box.folders, {&folderVerbEntry(), 1}).ok);
    expectUntouched(nemo);
}

INSTANTIATE_TEST_SUITE_P(Kinds, OddPerUserFile, ::testing::Values(Odd::Fifo, Odd::DeviceLink, Odd::Huge));

} // namespace
