#pragma once

#include <QApplication>
#include <QMap>
#include <memory>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "MainSettings.h"
#include "Messenger.h"
#include "StandIn.h"
#include "TempDir.h"
#include "WidgetHelpers.h"
#include "frmMain.h"

namespace testsupport {

// Settings in memory; a key can be made to fail.
class MemorySettings : public zqvwindow::MainSettings
{
public:
    QString GetSetting(const QString& section, const QString& key, const QString& defaultValue) override
    {
        if (failReads)
            throw zqvwindow::SettingsProblem(0x80040000LL + 2000 + 13,
                                             QStringLiteral("Could not open registry section"));
        return values.value(section + QLatin1Char('/') + key, defaultValue);
    }
    void SaveSetting(const QString& section, const QString& key, const QString& value) override
    {
        if (failWrites)
            throw zqvwindow::SettingsProblem(0x80040000LL + 2000 + 28, QStringLiteral("Could not save the setting"));
        values.insert(section + QLatin1Char('/') + key, value);
    }
    QMap<QString, QString> values;
    bool failReads = false;
    bool failWrites = false;
};

class RecordingMessenger : public zqvgui::Messenger
{
public:
    struct Shown
    {
        QString title;
        QString text;
        QString detail;
    };
    void
    message(QWidget*, const QString& title, const QString& text, zqvgui::MessageIcon, const QString& detail) override
    {
        shown.push_back({title, text, detail});
    }
    std::vector<Shown> shown;
};

// A main window over the stand-in engine, a folder of test files and a queue
// file of its own.
class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        writeFile(files.file("plain.txt"), "some text\n");
        writeFile(files.file("secret.zqv"), "encrypted");
        writeFile(files.file("LOUD.ZQV"), "not ours");
        writeFile(files.file("with blanks.txt"), "blanks");
        ::mkdir(files.file("folder").c_str(), 0755);
    }

    zqvwindow::frmMain& window()
    {
        if (!m_window) {
            zqvwindow::MainWindowTools tools;
            tools.renewFolderVerb = [this](QWidget*) { ++verbRenewals; };
            tools.openDocument = [this](const QString& target) { opened.push_back(target); };
            tools.browseForFolder = [this](QWidget*, const QString& title, const QString&) {
                pickerTitles.append(title);
                return pickedFolder;
            };
            tools.openHashViewer = [this](QWidget*, const QString& file) {
                opened.push_back(QStringLiteral("hash:") + file);
            };
            m_window = std::make_unique<zqvwindow::frmMain>(
                programFolder, settings, messenger, QString::fromStdString(queueFile()), tools);
        }
        return *m_window;
    }
    zqvwindow::frmMain& loaded()
    {
        window().Form_Load();
        window().folderTree()->selectFolder(QString::fromStdString(files.path()));
        window().fileList()->FillFileView(QString::fromStdString(files.path()));
        window().ApplySort();
        return window();
    }
    void destroyWindow() { m_window.reset(); }

    // Selects the row with this name as a click would and runs the click handler.
    void click(const char* name)
    {
        const int row = window().fileList()->rowOfText(QString::fromUtf8(name));
        ASSERT_GE(row, 0) << name;
        window().fileList()->selectRow(row);
        window().ListItemClick(row);
    }
    [[nodiscard]] QString path(const char* name) const { return QString::fromStdString(files.file(name)); }
    [[nodiscard]] std::string queueFile() const { return state.file("ZQV/queue.txt"); }
    [[nodiscard]] QAction* action(const char* name) { return child<QAction>(&window(), name); }
    [[nodiscard]] QStringList messages() const
    {
        QStringList texts;
        for (const auto& shown : messenger.shown)
            texts.append(shown.text);
        return texts;
    }

    TempDir files;
    TempDir state;
    StandIn standIn;
    QString programFolder = StandIn::folder();
    MemorySettings settings;
    RecordingMessenger messenger;
    int verbRenewals = 0;
    QStringList opened;
    QStringList pickerTitles;
    QString pickedFolder; // what the folder picker answers; empty = cancelled

private:
    std::unique_ptr<zqvwindow::frmMain> m_window;
};

} // namespace testsupport
