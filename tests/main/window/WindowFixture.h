#pragma once

#include <QApplication>
#include <QImage>
#include <QMap>
#include <initializer_list>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "FileList.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "FolderTree.h"
#include "MainSettings.h"
#include "RecordingMessenger.h"
#include "ShellNamespace.h"
#include "SortArrowHeader.h"
#include "StandIn.h"
#include "TempDir.h"
#include "WidgetHelpers.h"
#include "cLVHeaderSortIcons.h"
#include "cVSplitter.h"
#include "frmMain.h"

namespace testsupport {

// Settings in memory; a key can be made to fail.
class MemorySettings : public zqvwindow::MainSettings
{
public:
    zqvcore::SettingsResult<QString>
    GetSetting(const QString& section, const QString& key, const QString& defaultValue) override
    {
        if (failReads)
            return zqvcore::SettingsError(0x80040000u + 2000 + 13, QStringLiteral("Could not open registry section"));
        return values.value(section + QLatin1Char('/') + key, defaultValue);
    }
    zqvcore::SettingsSaveResult SaveSetting(const QString& section, const QString& key, const QString& value) override
    {
        if (failWrites)
            return zqvcore::SettingsError(0x80040000u + 2000 + 28, QStringLiteral("Could not save the setting"));
        values.insert(section + QLatin1Char('/') + key, value);
        return zqvcore::SettingsSaved{};
    }
    QMap<QString, QString> values;
    bool failReads = false;
    bool failWrites = false;
};

// A main window over the stand-in engine, a folder of test files and a queue
// file of its own.
class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        files.write({{"plain.txt", "some text\n"},
                     {"secret.zqv", "encrypted"},
                     {"LOUD.ZQV", "not ours"},
                     {"with blanks.txt", "blanks"},
                     {"folder/", ""}});
    }

    zqvwindow::frmMain& window()
    {
        if (!m_window) {
            zqvwindow::MainWindowTools tools;
            tools.renewFolderVerb = [this](QWidget*) { ++verbRenewals; };
            tools.openDocument = [this](const QString& target) {
                opened.push_back(target);
                return documentsOpen;
            };
            tools.browseForFolder =
                [this](QWidget*, const QString& title, const zqvshell::ItemIdList&, const zqvshell::DesktopSources&) {
                    pickerTitles.append(title);
                    return pickedFolder.isEmpty() ? std::nullopt : std::optional(listForPath(pickedFolder));
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
        openFolder(QString::fromStdString(files.path()));
        window().RefreshFileView();
        return window();
    }

    // A local folder's address: "File System" on the desktop, then each name.
    static zqvshell::ItemIdList listForPath(const QString& folder)
    {
        zqvshell::ItemIdList list = zqvshell::ItemIdList::single(QByteArray(1, 'R'));
        for (const QString& name : folder.split(QLatin1Char('/'), Qt::SkipEmptyParts))
            list = zqvshell::ItemIdList::combine(list, zqvshell::ItemIdList::single(name.toUtf8()));
        return list;
    }
    // Opens the tree from its root down to `folder` as clicks would.
    void openFolder(const QString& folder)
    {
        zqvshell::FolderTree* tree = window().folderTree();
        QModelIndex node = tree->rootNode();
        const zqvshell::ItemIdList list = listForPath(folder);
        for (const QByteArray& id : list.items()) {
            ASSERT_TRUE(tree->selectChild(node, id)) << id.toStdString();
            node = tree->selectedNode();
        }
    }
    [[nodiscard]] static QString pathOf(const zqvshell::ItemIdList& list)
    {
        return QString::fromUtf8(zqvshell::GetPathFromPIDL(zqvshell::defaultDesktopSources(), list));
    }
    [[nodiscard]] QString rootFolder()
    {
        const zqvshell::cTVItemData* data = window().folderTree()->GetTreeItemData(window().folderTree()->rootNode());
        return data ? pathOf(data->pidlFQ()) : QString();
    }
    [[nodiscard]] QString selectedFolder()
    {
        const zqvshell::cTVItemData* data =
            window().folderTree()->GetTreeItemData(window().folderTree()->selectedNode());
        return data ? pathOf(data->pidlFQ()) : QString();
    }
    // The folder the file list shows.
    [[nodiscard]] QString shownFolder()
    {
        const zqvshell::FolderPtr& folder = window().fileList()->currentFolder();
        return folder ? pathOf(folder->pidl()) : QString();
    }
    [[nodiscard]] int rowCount() { return window().fileList()->model()->rowCount(); }
    [[nodiscard]] QString rowText(int row)
    {
        return window().fileList()->model()->index(row, 0).data(Qt::DisplayRole).toString();
    }
    // -1 when the name is not in the list.
    [[nodiscard]] int rowOf(const QString& text)
    {
        for (int row = 0; row < rowCount(); ++row) {
            if (rowText(row) == text)
                return row;
        }
        return -1;
    }
    // The order the header's arrow shows; nothing when it shows neither arrow.
    [[nodiscard]] std::optional<Qt::SortOrder> arrowOrder()
    {
        const QImage shown = window().listView()->header()->arrow().toImage();
        if (!shown.isNull() && shown == window().HdrIcons().ascending().toImage())
            return Qt::AscendingOrder;
        if (!shown.isNull() && shown == window().HdrIcons().descending().toImage())
            return Qt::DescendingOrder;
        return std::nullopt;
    }
    [[nodiscard]] int viewMode() { return static_cast<int>(window().listView()->viewMode()); }
    void destroyWindow() { m_window.reset(); }

    // Selects the row with this name as a click would and runs the click handler.
    void click(const char* name)
    {
        const int row = rowOf(QString::fromUtf8(name));
        ASSERT_GE(row, 0) << name;
        zqvshell::FileListView* view = window().listView();
        view->selectionModel()->setCurrentIndex(view->model()->index(row, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        window().ListItemClick(row);
    }
    // Selects each file in turn and presses the toolbar key named beside it:
    // on the button itself, or with &frmMain::ButtonMenuClick from its menu.
    using Press = void (zqvwindow::frmMain::*)(const QString&);
    void pressOn(std::initializer_list<std::pair<const char*, const char*>> fileAndKey,
                 Press press = &zqvwindow::frmMain::ButtonClick)
    {
        for (const auto& [file, key] : fileAndKey) {
            click(file);
            (window().*press)(QString::fromUtf8(key));
        }
    }
    // What the stand-in records for runs one after the other on files of the
    // test folder: a start and an end line each.
    [[nodiscard]] std::vector<std::string>
    runsOn(std::initializer_list<std::pair<const char*, const char*>> switchAndFile) const
    {
        std::vector<std::string> lines;
        for (const auto& [engineSwitch, name] : switchAndFile) {
            const std::string run = std::string(engineSwitch) + "|" + files.file(name);
            lines.push_back("start " + run);
            lines.push_back("end " + run);
        }
        return lines;
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
    bool documentsOpen = true; // whether an application opens what openDocument is given
    QStringList pickerTitles;
    QString pickedFolder; // what the folder picker answers; empty = cancelled

private:
    std::unique_ptr<zqvwindow::frmMain> m_window;
};

} // namespace testsupport
