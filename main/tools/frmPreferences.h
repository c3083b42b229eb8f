#pragma once

#include <QDialog>
#include <chrono>

#include "FileManagerEntries.h"
#include "Messenger.h"
#include "RegSvr32.h"
#include "RegistrySettings.h"
#include "WorkRunner.h"

class QCheckBox;
class QGroupBox;
class QPushButton;

namespace zqvtools {

// What the preferences act on, handed in so tests can use temporary folders.
struct PreferencesContext
{
    zqvgui::Messenger* messenger = nullptr; // null: real message boxes
    zqvcore::RegistrySettings settings;
    QString programFolder; // holds zqvengine and libzqvmenu.so
    zqvcore::UserFolders folders;
    std::chrono::milliseconds registrationLimit = kRegistrationLimit;
};

// The context-menu plug-in in a program folder.
[[nodiscard]] QString menuPluginPath(const QString& programFolder);

// "Display Context Menus": switches the plug-in's entries and the folder verb.
class frmPreferences : public QDialog
{
    Q_OBJECT

public:
    frmPreferences(PreferencesContext context, QWidget* parent = nullptr);

    // The plug-in's self-registration result of the last OK (false on time-out).
    [[nodiscard]] bool lastRegistrationSucceeded() const { return m_registered; }

protected:
    void reject() override;

private:
    void Form_Load();
    void cmdOk_Click();
    void showSettingsError(const zqvcore::SettingsError& error);
    [[nodiscard]] zqvgui::Messenger& messenger();

    PreferencesContext m_context;
    zqvgui::Messenger m_messageBoxes;
    zqvgui::WorkRunner m_runner;
    bool m_registered = false;

    QGroupBox* m_frame1 = nullptr;
    QCheckBox* m_chkDisplayContextMenus = nullptr;
    QPushButton* m_cmdOk = nullptr;
    QPushButton* m_cmdCancel = nullptr;
};

} // namespace zqvtools
