#include "frmPreferences.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "CtxMenuFolder.h"
#include "FormParts.h"
#include "Messenger.h"

namespace zqvtools {

namespace {

const QString kAppName = QStringLiteral("ZQV");
const QString kSection = QStringLiteral("Preferences");
const QString kKey = QStringLiteral("ShowContextMenus");

} // namespace

QString menuPluginPath(const QString& programFolder)
{
    return programFolder + QLatin1String("/libzqvmenu.so");
}

frmPreferences::frmPreferences(PreferencesContext context, QWidget* parent)
    : QDialog(parent)
    , m_context(std::move(context))
{
    setObjectName(QStringLiteral("frmPreferences"));
    setWindowTitle(QStringLiteral("Preferences"));
    setModal(true);

    m_frame1 = new QGroupBox(QStringLiteral("Settings"), this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_chkDisplayContextMenus = zqvgui::makeCheckBox(
        m_frame1, QStringLiteral("chkDisplayContextMenus"), QStringLiteral("Display Context Menus"));
    auto* frameLayout = new QVBoxLayout(m_frame1);
    frameLayout->addWidget(m_chkDisplayContextMenus);

    m_cmdOk = zqvgui::makeButton(this, QStringLiteral("cmdOk"), QStringLiteral("&Ok"));
    m_cmdCancel = zqvgui::makeButton(this, QStringLiteral("cmdCancel"), QStringLiteral("&Cancel"));
    m_cmdOk->setDefault(true);
    QHBoxLayout* buttons = zqvgui::makeButtonRow({m_cmdOk, m_cmdCancel});

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_frame1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(m_chkDisplayContextMenus, m_cmdOk);
    setTabOrder(m_cmdOk, m_cmdCancel);
    m_runner.setControls({m_chkDisplayContextMenus, m_cmdOk, m_cmdCancel});
    connect(m_cmdOk, &QPushButton::clicked, this, &frmPreferences::cmdOk_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmPreferences::reject);

    Form_Load();
}

void frmPreferences::Form_Load()
{
    // The box shows what the start-up acts on: an unwritten setting counts as
    // on there (the folder verb is written at the first start), so it does here.
    const zqvcore::SettingsResult<QString> value =
        m_context.settings.GetSetting(kAppName, kSection, kKey, QStringLiteral("1"));
    if (value)
        m_chkDisplayContextMenus->setChecked(readsAsOne(value.value()));
    else
        showSettingsError(value.error());
}

void frmPreferences::reject()
{
    // Escape and the close box must not end the dialog under a running registration.
    if (m_runner.isBusy())
        return;
    QDialog::reject();
}

void frmPreferences::cmdOk_Click()
{
    if (m_runner.isBusy())
        return;
    const bool on = m_chkDisplayContextMenus->isChecked();
    const zqvcore::SettingsSaveResult saved =
        m_context.settings.SaveSetting(kAppName, kSection, kKey, on ? QStringLiteral("1") : QStringLiteral("0"));
    if (!saved) {
        // Nothing else changes when the choice itself could not be kept.
        showSettingsError(saved.error());
        return;
    }

    const QString plugin = menuPluginPath(m_context.programFolder);
    const Registration registration = on ? Registration::Register : Registration::Unregister;
    const std::chrono::milliseconds limit = m_context.registrationLimit;
    bool registered = false;
    // The entry point may take its time; the window keeps painting meanwhile.
    m_runner.run(
        [&registered, plugin, registration, limit] { registered = SelfRegisterLibrary(plugin, registration, limit); });
    m_registered = registered;

    if (on)
        WriteFolderVerb(this, messenger(), m_context.programFolder, m_context.folders);
    else
        RemoveFolderVerb(m_context.folders);
    accept();
}

void frmPreferences::showSettingsError(const zqvcore::SettingsError& error)
{
    m_context.messenger->message(
        this, QStringLiteral("ZQV"), error.description(), zqvgui::MessageIcon::Critical, error.systemErrorText());
}

zqvgui::Messenger& frmPreferences::messenger()
{
    return m_context.messenger != nullptr ? *m_context.messenger : m_messageBoxes;
}

} // namespace zqvtools
