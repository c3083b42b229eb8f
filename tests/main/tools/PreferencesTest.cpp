#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "CtxMenuFolder.h"
#include "QtText.h"
#include "RecordingMessenger.h"
#include "RegSvr32.h"
#include "TempDir.h"
#include "WidgetHelpers.h"
#include "frmPreferences.h"

using namespace zqvtools;
using testsupport::child;
using testsupport::q;

namespace {

// Points the per-user folders at a test's folder for as long as it lives; the
// plug-in reads them from the environment.
class XdgFolders
{
public:
    explicit XdgFolders(const std::string& root)
    {
        save("XDG_CONFIG_HOME", root + "/config");
        save("XDG_DATA_HOME", root + "/data");
        save("XDG_CONFIG_DIRS", root + "/etc");
    }
    ~XdgFolders()
    {
        for (const auto& [name, value] : m_saved) {
            if (value.has_value())
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    XdgFolders(const XdgFolders&) = delete;
    XdgFolders& operator=(const XdgFolders&) = delete;

private:
    void save(const char* name, const std::string& value)
    {
        const char* old = std::getenv(name);
        m_saved.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(name, value.c_str(), 1);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

class Preferences : public ::testing::Test
{
protected:
    testsupport::TempDir temp;
    XdgFolders xdg{temp.path()};
    std::string programFolder = temp.path() + "/program folder ü";
    RecordingMessenger messenger;

    void SetUp() override { ::mkdir(programFolder.c_str(), 0755); }

    [[nodiscard]] zqvcore::UserFolders folders() const
    {
        return {q(temp.path() + "/data"), q(temp.path() + "/config"), {q(temp.path() + "/etc")}};
    }

    [[nodiscard]] PreferencesContext context(std::chrono::milliseconds limit = kRegistrationLimit)
    {
        return {&messenger, zqvcore::RegistrySettings(q(temp.path() + "/config")), q(programFolder), folders(), limit};
    }

    void installPlugin(const char* library) const
    {
        std::filesystem::copy_file(library, programFolder + "/libzqvmenu.so");
    }

    [[nodiscard]] QString setting() const
    {
        return zqvcore::RegistrySettings(q(temp.path() + "/config"))
            .GetSetting(QStringLiteral("ZQV"),
                        QStringLiteral("Preferences"),
                        QStringLiteral("ShowContextMenus"),
                        QStringLiteral("absent"))
            .valueOr(QStringLiteral("unreadable"));
    }

    [[nodiscard]] bool folderVerbPresent() const
    {
        return testsupport::exists(temp.path() + "/data/nautilus/scripts/Encrypt Folder...") &&
               testsupport::exists(temp.path() + "/data/kio/servicemenus/zqv-folders.desktop") &&
               testsupport::exists(temp.path() + "/data/nemo/actions/zqv-encrypt-folder.nemo_action");
    }

    [[nodiscard]] bool fileVerbsPresent() const
    {
        return testsupport::exists(temp.path() + "/data/nemo/actions/zqv-wipe-file.nemo_action") &&
               testsupport::exists(temp.path() + "/data/nautilus/scripts/Encrypt File");
    }

    // Opens the dialog, sets the box, presses a button; returns the dialog's result.
    int choose(PreferencesContext ctx, bool tick, const char* button, bool* registered = nullptr)
    {
        frmPreferences dialog(std::move(ctx));
        dialog.show();
        auto* box = child<QCheckBox>(&dialog, "chkDisplayContextMenus");
        if (box->isChecked() != tick)
            testsupport::clickIndicator(box);
        EXPECT_EQ(box->isChecked(), tick);
        QTest::mouseClick(child<QPushButton>(&dialog, button), Qt::LeftButton);
        if (registered != nullptr)
            *registered = dialog.lastRegistrationSucceeded();
        return dialog.isVisible() ? -1 : dialog.result();
    }
};

TEST_F(Preferences, TheFormShowsItsCaptionsAndTheStoredChoice)
{
    {
        frmPreferences dialog(context());
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Preferences"));
        EXPECT_EQ(child<QGroupBox>(&dialog, "Frame1")->title(), QStringLiteral("Settings"));
        EXPECT_EQ(child<QCheckBox>(&dialog, "chkDisplayContextMenus")->text(), QStringLiteral("Display Context Menus"));
        EXPECT_EQ(child<QPushButton>(&dialog, "cmdOk")->text(), QStringLiteral("&Ok"));
        EXPECT_EQ(child<QPushButton>(&dialog, "cmdCancel")->text(), QStringLiteral("&Cancel"));
        // Unwritten counts as on, as at start-up.
        EXPECT_TRUE(child<QCheckBox>(&dialog, "chkDisplayContextMenus")->isChecked());
    }
    for (const char* value : {"0", "2", "1", " 1"}) {
        zqvcore::RegistrySettings(q(temp.path() + "/config"))
            .SaveSetting(QStringLiteral("ZQV"),
                         QStringLiteral("Preferences"),
                         QStringLiteral("ShowContextMenus"),
                         QLatin1String(value));
        frmPreferences dialog(context());
        EXPECT_EQ(child<QCheckBox>(&dialog, "chkDisplayContextMenus")->isChecked(), readsAsOne(QLatin1String(value)))
            << value;
    }
}

TEST_F(Preferences, FirstStartWritesTheVerbTheDialogShowsItOnAndClearingRemovesIt)
{
    RenewFolderVerbAtStartup(
        nullptr, messenger, zqvcore::RegistrySettings(q(temp.path() + "/config")), q(programFolder), folders());
    EXPECT_TRUE(folderVerbPresent());
    EXPECT_EQ(setting(), QStringLiteral("absent"));
    {
        frmPreferences dialog(context());
        EXPECT_TRUE(child<QCheckBox>(&dialog, "chkDisplayContextMenus")->isChecked());
    }

    EXPECT_EQ(choose(context(), false, "cmdOk"), QDialog::Accepted);
    EXPECT_EQ(setting(), QStringLiteral("0"));
    EXPECT_FALSE(folderVerbPresent());
    // Off now: the next start leaves the file managers alone.
    RenewFolderVerbAtStartup(
        nullptr, messenger, zqvcore::RegistrySettings(q(temp.path() + "/config")), q(programFolder), folders());
    EXPECT_FALSE(folderVerbPresent());
    EXPECT_TRUE(messenger.shown.empty());
}

TEST_F(Preferences, OkSwitchesThePlugInAndTheFolderVerbTogether)
{
    installPlugin(ZQVMENU_LIBRARY_PATH);
    bool registered = false;
    EXPECT_EQ(choose(context(), true, "cmdOk", &registered), QDialog::Accepted);
    EXPECT_TRUE(registered);
    EXPECT_EQ(setting(), QStringLiteral("1"));
    EXPECT_TRUE(folderVerbPresent());
    EXPECT_TRUE(fileVerbsPresent());
    // The plug-in found the engine beside itself.
    EXPECT_NE(
        testsupport::readFile(temp.path() + "/data/nautilus/scripts/Encrypt File").find(programFolder + "/zqvengine"),
        std::string::npos);

    EXPECT_EQ(choose(context(), false, "cmdOk", &registered), QDialog::Accepted);
    EXPECT_TRUE(registered);
    EXPECT_EQ(setting(), QStringLiteral("0"));
    EXPECT_FALSE(folderVerbPresent());
    EXPECT_FALSE(fileVerbsPresent());
    EXPECT_TRUE(messenger.shown.empty());
}

TEST_F(Preferences, CancelChangesNothing)
{
    zqvcore::RegistrySettings(q(temp.path() + "/config"))
        .SaveSetting(QStringLiteral("ZQV"),
                     QStringLiteral("Preferences"),
                     QStringLiteral("ShowContextMenus"),
                     QStringLiteral("1"));
    EXPECT_EQ(choose(context(), false, "cmdCancel"), QDialog::Rejected);
    EXPECT_EQ(setting(), QStringLiteral("1"));
    EXPECT_FALSE(testsupport::exists(temp.path() + "/data"));

    ASSERT_TRUE(WriteFolderVerb(nullptr, messenger, q(programFolder), folders()));
    EXPECT_EQ(choose(context(), false, "cmdCancel"), QDialog::Rejected);
    EXPECT_TRUE(folderVerbPresent());
}

TEST_F(Preferences, APlugInThatIsMissingBrokenOrSlowStillSavesAndWritesTheVerb)
{
    struct Row
    {
        const char* name;
        const char* library; // copied in as the plug-in; null for none
    };
    const Row rows[] = {
        {"missing", nullptr},
        {"not a library", "text"},
        {"no entry points", ZQVDOD_LIBRARY_PATH},
        {"entry point never returns in time", SLEEPY_LIBRARY_PATH},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(programFolder + "/libzqvmenu.so");
        if (row.library != nullptr && std::string(row.library) == "text")
            testsupport::writeFile(programFolder + "/libzqvmenu.so", "not a library");
        else if (row.library != nullptr)
            installPlugin(row.library);
        bool registered = true;
        EXPECT_EQ(choose(context(std::chrono::milliseconds(300)), true, "cmdOk", &registered), QDialog::Accepted);
        EXPECT_FALSE(registered);
        EXPECT_EQ(setting(), QStringLiteral("1"));
        EXPECT_TRUE(folderVerbPresent());
        EXPECT_EQ(choose(context(std::chrono::milliseconds(300)), false, "cmdOk", &registered), QDialog::Accepted);
        EXPECT_FALSE(registered);
        EXPECT_EQ(setting(), QStringLiteral("0"));
        EXPECT_FALSE(folderVerbPresent());
        EXPECT_TRUE(messenger.shown.empty());
    }
}

TEST_F(Preferences, AVerbThatCannotBeCreatedShowsTheTwoMessages)
{
    ::mkdir((temp.path() + "/data").c_str(), 0700);
    testsupport::writeFile(temp.path() + "/data/kio", "a file where a folder belongs");
    EXPECT_EQ(choose(context(), true, "cmdOk"), QDialog::Accepted);
    EXPECT_EQ(setting(), QStringLiteral("1"));
    ASSERT_EQ(messenger.shown.size(), 2U);
    EXPECT_EQ(messenger.shown[0].title, QStringLiteral("DLL/OCX Register"));
    EXPECT_EQ(messenger.shown[0].text,
              QStringLiteral("An error occurred while attempting to create a file-manager entry."));
    EXPECT_EQ(messenger.shown[0].icon, zqvgui::MessageIcon::Critical);
    EXPECT_TRUE(messenger.shown[0].detail.contains(q(temp.path() + "/data/kio/servicemenus/zqv-folders.desktop")));
    EXPECT_TRUE(messenger.shown[0].detail.contains(QStringLiteral("Not a directory")));
    EXPECT_EQ(messenger.shown[1].title, QStringLiteral("DLL/OCX Register"));
    EXPECT_EQ(messenger.shown[1].text,
              QStringLiteral("If your settings and file-manager folders cannot be written to, ZQV's context "
                             "menus will not work.\n"
                             "All other (regular) functionality is enabled"));
    EXPECT_EQ(messenger.shown[1].icon, zqvgui::MessageIcon::Information);

    // The same two at start-up.
    messenger.shown.clear();
    RenewFolderVerbAtStartup(
        nullptr, messenger, zqvcore::RegistrySettings(q(temp.path() + "/config")), q(programFolder), folders());
    EXPECT_EQ(messenger.shown.size(), 2U);
}

TEST_F(Preferences, AnUnreadableSettingsFileIsReportedAndOkKeepsTheDialogOpen)
{
    std::filesystem::create_directories(temp.path() + "/config/ZQV/ZQV.conf");
    frmPreferences dialog(context());
    dialog.show();
    ASSERT_EQ(messenger.shown.size(), 1U);
    EXPECT_EQ(messenger.shown[0].text, QStringLiteral("Could not open registry section"));
    EXPECT_FALSE(messenger.shown[0].detail.isEmpty());
    testsupport::clickIndicator(child<QCheckBox>(&dialog, "chkDisplayContextMenus"));
    QTest::mouseClick(child<QPushButton>(&dialog, "cmdOk"), Qt::LeftButton);
    ASSERT_EQ(messenger.shown.size(), 2U);
    EXPECT_EQ(messenger.shown[1].text, QStringLiteral("Could not open/create registry section"));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(testsupport::exists(temp.path() + "/data"));
}

struct Ownership
{
    mode_t mode;
    uid_t owner;
    gid_t group;
    bool operator==(const Ownership&) const = default;
};

Ownership ownershipOf(const std::string& path)
{
    struct stat info
    {
    };
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return {info.st_mode, info.st_uid, info.st_gid};
}

TEST_F(Preferences, NothingChangesThePermissionsOfTheProgramFolder)
{
    installPlugin(ZQVMENU_LIBRARY_PATH);
    ::chmod(programFolder.c_str(), 0750);
    const Ownership folderBefore = ownershipOf(programFolder);
    const Ownership pluginBefore = ownershipOf(programFolder + "/libzqvmenu.so");
    RenewFolderVerbAtStartup(
        nullptr, messenger, zqvcore::RegistrySettings(q(temp.path() + "/config")), q(programFolder), folders());
    EXPECT_EQ(choose(context(), true, "cmdOk"), QDialog::Accepted);
    EXPECT_EQ(choose(context(), false, "cmdOk"), QDialog::Accepted);
    EXPECT_TRUE(ownershipOf(programFolder) == folderBefore);
    EXPECT_TRUE(ownershipOf(programFolder + "/libzqvmenu.so") == pluginBefore);
    EXPECT_EQ(testsupport::listFolder(programFolder), "libzqvmenu.so");
}

TEST(ReadsAsOne, OnlyTheNumberOneSwitchesTheVerbOn)
{
    for (const char* on : {"1", " 1", "1.0", "01"})
        EXPECT_TRUE(readsAsOne(QString::fromUtf8(on))) << on;
    for (const char* off : {"0", "", "True", "2", "yes", "1x"})
        EXPECT_FALSE(readsAsOne(QString::fromUtf8(off))) << off;
}

} // namespace
