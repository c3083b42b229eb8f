#include <QString>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "InChild.h"
#include "QtText.h"
#include "RegistrySettings.h"
#include "TempDir.h"

using namespace zqvcore;
using testsupport::q;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {

const QString kApp = QStringLiteral("ZQV");

QString t(const char* text)
{
    return QString::fromUtf8(text);
}

class Settings : public ::testing::Test
{
protected:
    testsupport::TempDir temp;
    RegistrySettings settings{q(temp.path())};

    [[nodiscard]] std::string file() const { return temp.path() + "/ZQV/ZQV.conf"; }

    void writeConf(const std::string& content) const
    {
        ::mkdir((temp.path() + "/ZQV").c_str(), 0700);
        testsupport::writeFile(file(), content);
    }

    // The error a call returns; fails the test when it returns none.
    template <typename Call> SettingsError errorOf(Call call) const
    {
        const auto result = call();
        if (!result.ok())
            return result.error();
        ADD_FAILURE() << "no error returned";
        return SettingsError(0, QString());
    }
};

TEST_F(Settings, ValuesComeBackExactlyAsWritten)
{
    const char* values[] = {"",
                            "plain",
                            "  blanks around  ",
                            "a, b",
                            "semi;colon",
                            "#hash at the start",
                            "quote\"d",
                            "back\\slash\\",
                            "line\nbreak\r\n",
                            "tab\there",
                            "@at the start",
                            "@@",
                            "@ByteArray(not really)",
                            "Ünïcödé € 漢字",
                            "=equals=",
                            "\x01\x1f control",
                            "%percent% %20",
                            "[Section]"};
    int index = 0;
    for (const char* value : values)
        settings.SaveSetting(
            kApp, QStringLiteral("Values"), QStringLiteral("k%1").arg(index++), QString::fromUtf8(value));
    index = 0;
    for (const char* value : values) {
        EXPECT_EQ(settings.GetSetting(kApp, QStringLiteral("Values"), QStringLiteral("k%1").arg(index++), t("default"))
                      .value(),
                  QString::fromUtf8(value));
    }
}

TEST_F(Settings, AwkwardSectionAndKeyNamesStayApart)
{
    const char* names[] = {"key", " key", "key ", "k=ey", "[k]", "k;", "#k", "ключ", "a/b", "%6B", "k\"q", "k\\"};
    for (const char* section : {"View", "View/Sub", "[x]", "Ünï"}) {
        for (const char* name : names)
            settings.SaveSetting(kApp,
                                 QString::fromUtf8(section),
                                 QString::fromUtf8(name),
                                 QString::fromUtf8(section) + QLatin1Char('|') + QString::fromUtf8(name));
    }
    for (const char* section : {"View", "View/Sub", "[x]", "Ünï"}) {
        for (const char* name : names) {
            EXPECT_EQ(
                settings.GetSetting(kApp, QString::fromUtf8(section), QString::fromUtf8(name), t("default")).value(),
                QString::fromUtf8(section) + QLatin1Char('|') + QString::fromUtf8(name))
                << section << " / " << name;
        }
    }
}

TEST_F(Settings, MissingFileSectionOrKeyGivesTheDefaultAndCreatesNothing)
{
    EXPECT_EQ(settings.GetSetting(kApp, t("Preferences"), t("ShowContextMenus"), t("1")).value(), QStringLiteral("1"));
    EXPECT_EQ(testsupport::listFolder(temp.path()), "");

    settings.SaveSetting(kApp, t("View"), t("Type"), t("3"));
    settings.SaveSetting(kApp, t("View"), t("Empty"), t(""));
    const std::string before = testsupport::readFile(file());
    EXPECT_EQ(settings.GetSetting(kApp, t("Preferences"), t("ShowContextMenus"), t("0")).value(), QStringLiteral("0"));
    EXPECT_EQ(settings.GetSetting(kApp, t("View"), t("Queue"), t("True")).value(), QStringLiteral("True"));
    // An empty text is a value, not an absence.
    EXPECT_EQ(settings.GetSetting(kApp, t("View"), t("Empty"), t("default")).value(), QString());
    EXPECT_EQ(testsupport::readFile(file()), before);
    EXPECT_EQ(testsupport::listFolder(temp.path() + "/ZQV"), "ZQV.conf ZQV.conf.lock");
}

TEST_F(Settings, ApplicationAndSectionAreTrimmedOfBlanksButTheKeyIsNot)
{
    settings.SaveSetting(t("  ZQV "), t(" View  "), t("Type"), t("2"));
    EXPECT_EQ(settings.GetSetting(kApp, t("View"), t("Type"), t("3")).value(), QStringLiteral("2"));
    EXPECT_EQ(settings.GetSetting(kApp, t("View"), t(" Type"), t("3")).value(), QStringLiteral("3"));
    settings.SaveSetting(kApp, t("View"), t(" Type"), t("1"));
    EXPECT_EQ(settings.GetSetting(kApp, t("View"), t("Type"), t("3")).value(), QStringLiteral("2"));
    EXPECT_EQ(settings.GetSetting(kApp, t("View"), t(" Type"), t("3")).value(), QStringLiteral("1"));
}

TEST_F(Settings, EmptyNamesAreRefusedInOrderWithTheirNumbers)
{
    struct Row
    {
        const char* app;
        const char* section;
        const char* key;
        std::uint32_t number;
        const char* description;
    };
    const Row rows[] = {
        {"", "", "", 0x800403E8u, "AppName may not be empty"},
        {"   ", "View", "Type", 0x800403E8u, "AppName may not be empty"},
        {"ZQV", "", "", 0x800403E9u, "Section may not be empty"},
        {"ZQV", "  ", "Type", 0x800403E9u, "Section may not be empty"},
        {"ZQV", "View", "", 0x800403EAu, "Key may not be empty"},
        {"ZQV", "View", "   ", 0x800403EAu, "Key may not be empty"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.app) + "|" + row.section + "|" + row.key);
        for (int save = 0; save < 2; ++save) {
            const SettingsError error = save == 1 ? errorOf([&] {
                return settings.SaveSetting(
                    QString::fromUtf8(row.app), QString::fromUtf8(row.section), QString::fromUtf8(row.key), t("v"));
            })
                                                  : errorOf([&] {
                                                        return settings.GetSetting(QString::fromUtf8(row.app),
                                                                                   QString::fromUtf8(row.section),
                                                                                   QString::fromUtf8(row.key),
                                                                                   t("d"));
                                                    });
            EXPECT_EQ(error.number(), row.number);
            EXPECT_EQ(error.description(), QString::fromUtf8(row.description));
        }
    }
    EXPECT_EQ(SettingsError(0x800403E8u, QString()).signedNumber(), -2147221504 + 1000);
    EXPECT_EQ(testsupport::listFolder(temp.path()), "");
}

TEST_F(Settings, ValuesThatAreNotTextReportTheirTypeCode)
{
    struct Row
    {
        const char* line;
        std::uint32_t type;
    };
    const Row rows[] = {
        {"k=a, b", 7},
        {"k=1,2,3", 7},
        {"k=@ByteArray(abc)", 3},
        {"k=@Variant(\\0\\0\\0\\x7f)", 4},
        {"k=@Rect(1 2 3 4)", 4},
        {"k=@Size(3 4)", 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        writeConf(std::string("[S]\n") + row.line + "\n");
        const SettingsError error = errorOf([&] { return settings.GetSetting(kApp, t("S"), t("k"), t("d")); });
        EXPECT_EQ(error.number(), 0x80040000u + 2000 + row.type);
        EXPECT_EQ(error.description(), QStringLiteral("Registry data not a string"));
    }
    // Quoted, escaped and hand-written texts are texts.
    writeConf("\xEF\xBB\xBF[S]\r\n; a comment\r\nk = \"a, b\"\r\nj=  spaced out  \r\nu=caf\xc3\xa9\r\n");
    EXPECT_EQ(settings.GetSetting(kApp, t("S"), t("k"), t("d")).value(), QStringLiteral("a, b"));
    EXPECT_EQ(settings.GetSetting(kApp, t("S"), t("j"), t("d")).value(), QStringLiteral("spaced out"));
    EXPECT_EQ(settings.GetSetting(kApp, t("S"), t("u"), t("d")).value(), QStringLiteral("café"));
}

TEST_F(Settings, ASaveKeepsEveryOtherLineOfTheFile)
{
    const std::string user = "; written by hand\n[View]\nType=3\n# note\nQueue=False\n\n[Other]\nx = \"y\"\n";
    writeConf(user);
    settings.SaveSetting(kApp, t("View"), t("Type"), t("1"));
    settings.SaveSetting(kApp, t("View"), t("New"), t("n"));
    settings.SaveSetting(kApp, t("Engine"), t("Path"), t("/opt/zqv/zqvengine"));
    EXPECT_EQ(testsupport::readFile(file()),
              "; written by hand\n[View]\nType=1\n# note\nQueue=False\nNew=n\n\n[Other]\nx = \"y\"\n\n"
              "[Engine]\nPath=/opt/zqv/zqvengine\n");
    EXPECT_EQ(settings.GetSetting(kApp, t("Other"), t("x"), t("d")).value(), QStringLiteral("y"));
}

TEST_F(Settings, UnreadableStoresRaiseTheSystemError)
{
    // A folder where the file belongs.
    ::mkdir((temp.path() + "/ZQV").c_str(), 0700);
    ::mkdir(file().c_str(), 0700);
    SettingsError error = errorOf([&] { return settings.GetSetting(kApp, t("View"), t("Type"), t("3")); });
    EXPECT_EQ(error.number(), 0x80040000u + 2000 + EISDIR);
    EXPECT_EQ(error.description(), QStringLiteral("Could not open registry section"));
    EXPECT_FALSE(error.systemErrorText().isEmpty());
    error = errorOf([&] { return settings.SaveSetting(kApp, t("View"), t("Type"), t("3")); });
    EXPECT_EQ(error.number(), 0x80040000u + 2000 + EISDIR);
    EXPECT_EQ(error.description(), QStringLiteral("Could not open/create registry section"));

    // A file where the application's folder belongs.
    const testsupport::TempDir other;
    testsupport::writeFile(other.path() + "/ZQV", "not a folder");
    const RegistrySettings blocked(q(other.path()));
    error = errorOf([&] { return blocked.GetSetting(kApp, t("View"), t("Type"), t("3")); });
    EXPECT_EQ(error.number(), 0x80040000u + 2000 + ENOTDIR);
    error = errorOf([&] { return blocked.SaveSetting(kApp, t("View"), t("Type"), t("3")); });
    EXPECT_EQ(error.number(), 0x80040000u + 2000 + ENOTDIR);
    EXPECT_EQ(error.description(), QStringLiteral("Could not open/create registry section"));
    EXPECT_EQ(testsupport::readFile(other.path() + "/ZQV"), "not a folder");
}

// Makes writes beyond `bytes` fail the way a full disk does, for this process.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};

TEST_F(Settings, AFailedWriteLeavesTheOldFileWholeAndNoTemporary)
{
    settings.SaveSetting(kApp, t("View"), t("Type"), t("3"));
    const std::string before = testsupport::readFile(file());
    {
        const FileSizeLimit full(200);
        const SettingsError error =
            errorOf([&] { return settings.SaveSetting(kApp, t("View"), t("Big"), QString(1000, QLatin1Char('x'))); });
        EXPECT_EQ(error.number(), 0x80040000u + 2000 + EFBIG);
        EXPECT_EQ(error.description(), QStringLiteral("Could not set key value"));
    }
    EXPECT_EQ(testsupport::readFile(file()), before);
    EXPECT_EQ(testsupport::listFolder(temp.path() + "/ZQV"), "ZQV.conf ZQV.conf.lock");
}

TEST_F(Settings, AReadOnlyFolderKeepsTheOldFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "the superuser writes into read-only folders";
    settings.SaveSetting(kApp, t("View"), t("Type"), t("3"));
    const std::string before = testsupport::readFile(file());
    ::chmod((temp.path() + "/ZQV").c_str(), 0500);
    const SettingsError error = errorOf([&] { return settings.SaveSetting(kApp, t("View"), t("Type"), t("1")); });
    ::chmod((temp.path() + "/ZQV").c_str(), 0700);
    EXPECT_EQ(error.number(), 0x80040000u + 2000 + EACCES);
    EXPECT_EQ(testsupport::readFile(file()), before);
}

TEST_F(Settings, TwoWritersAtOnceLoseNothing)
{
    constexpr int kWriters = 4;
    constexpr int kSaves = 60;
    std::vector<std::thread> writers;
    for (int writer = 0; writer < kWriters; ++writer) {
        writers.emplace_back([this, writer] {
            // Each writer has its own store object, as a second program would.
            const RegistrySettings own(q(temp.path()));
            for (int i = 0; i < kSaves; ++i)
                own.SaveSetting(kApp,
                                QStringLiteral("W%1").arg(writer),
                                QStringLiteral("k%1").arg(i),
                                QStringLiteral("%1-%2").arg(writer).arg(i));
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    for (int writer = 0; writer < kWriters; ++writer) {
        for (int i = 0; i < kSaves; ++i) {
            EXPECT_EQ(
                settings.GetSetting(kApp, QStringLiteral("W%1").arg(writer), QStringLiteral("k%1").arg(i), t("lost"))
                    .value(),
                QStringLiteral("%1-%2").arg(writer).arg(i));
        }
    }
}

TEST_F(Settings, ALinkedFileStaysALink)
{
    const testsupport::TempDir dotfiles;
    const std::string target = dotfiles.path() + "/ZQV.conf";
    testsupport::writeFile(target, "[View]\nType=3\n");
    ::mkdir((temp.path() + "/ZQV").c_str(), 0700);
    ASSERT_EQ(::symlink(target.c_str(), file().c_str()), 0);
    settings.SaveSetting(kApp, t("View"), t("Type"), t("0"));
    struct stat info
    {
    };
    ASSERT_EQ(::lstat(file().c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    EXPECT_EQ(testsupport::readFile(target), "[View]\nType=0\n");
}

TEST_F(Settings, TheDefaultFolderFollowsXdgConfigHome)
{
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string keep = saved != nullptr ? saved : "";
    ::setenv("XDG_CONFIG_HOME", temp.path().c_str(), 1);
    const RegistrySettings fromEnvironment;
    EXPECT_EQ(fromEnvironment.settingsFile(kApp), q(file()));
    // An application name cannot lead out of the folder.
    EXPECT_TRUE(fromEnvironment.settingsFile(QStringLiteral("..")).startsWith(q(temp.path() + "/%2E%2E/")));
    EXPECT_FALSE(fromEnvironment.settingsFile(QStringLiteral("a/../b")).contains(QLatin1String("/../")));
    if (saved != nullptr)
        ::setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}

TEST_F(Settings, ASettingsFileThatIsNoPlainFileIsReportedAndLeftAlone)
{
    struct Row
    {
        const char* name;
        std::function<void(const std::string& file)> make;
        int error;
        const char* reason;
    };
    const Row rows[] = {
        {"pipe",
         [](const std::string& f) { ASSERT_EQ(::mkfifo(f.c_str(), 0600), 0); },
         EINVAL,
         "it is a named pipe, not a regular file"},
        {"device",
         [](const std::string& f) { ASSERT_EQ(::symlink("/dev/zero", f.c_str()), 0); },
         EINVAL,
         "it is a link to a device, not to a regular file"},
        {"huge",
         [](const std::string& f) { testsupport::writeFile(f, "[View]\nType=1\n" + std::string(1 << 20, ';')); },
         EFBIG,
         "it is larger than 1 MiB"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testsupport::TempDir config;
        const RegistrySettings store{q(config.path())};
        const std::string conf = config.file("ZQV/ZQV.conf");
        ASSERT_EQ(::mkdir(config.file("ZQV").c_str(), 0700), 0);
        row.make(conf);
        struct stat before
        {
        };
        ASSERT_EQ(::lstat(conf.c_str(), &before), 0);

        // In a child: a store that blocks on the pipe or reads the device to
        // its end is ended by the alarm or the memory cap, and the test fails.
        const testsupport::ChildOutcome outcome = testsupport::runInChild([&] {
            std::string said;
            const SettingsResult<QString> read = store.GetSetting(kApp, t("View"), t("Type"), t("3"));
            const SettingsSaveResult saved = store.SaveSetting(kApp, t("View"), t("Type"), t("0"));
            for (const SettingsError& error : {read.error(), saved.error()}) {
                said += std::to_string(error.number() - 0x80040000u - 2000) + "|" + error.description().toStdString() +
                        "|" + error.systemErrorText().toStdString() + "\n";
            }
            return said;
        });
        ASSERT_TRUE(outcome.finished) << outcome.how;
        const std::string why = conf + ": " + row.reason;
        EXPECT_EQ(outcome.output,
                  std::to_string(row.error) + "|Could not open registry section|" + why + "\n" +
                      std::to_string(row.error) + "|Could not open/create registry section|" + why + "\n");
        struct stat after
        {
        };
        ASSERT_EQ(::lstat(conf.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_size, before.st_size);
    }
}

TEST_F(Settings, AValueThatWouldMakeTheFileTooLargeIsRefused)
{
    ASSERT_TRUE(settings.SaveSetting(kApp, t("View"), t("Type"), t("3")));
    const std::string before = testsupport::readFile(file());
    const SettingsError error =
        errorOf([&] { return settings.SaveSetting(kApp, t("View"), t("Big"), QString(1 << 20, QLatin1Char('x'))); });
    EXPECT_EQ(error.number(), 0x80040000u + 2000 + EFBIG);
    EXPECT_EQ(error.description(), QStringLiteral("Could not set key value"));
    EXPECT_EQ(error.systemErrorText(), q(file()) + QStringLiteral(" would be larger than 1 MiB"));
    EXPECT_EQ(testsupport::readFile(file()), before);
    // What is written can always be read back.
    ASSERT_TRUE(settings.SaveSetting(kApp, t("View"), t("Big"), QString((1 << 20) - 100, QLatin1Char('x'))));
    EXPECT_EQ(settings.GetSetting(kApp, t("View"), t("Big"), t("d")).value().size(), (1 << 20) - 100);
}

} // namespace
