#include "OperationDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <optional>

#include "CryptoModule.h"
#include "DialogKeys.h"
#include "EngineMessages.h"
#include "FormParts.h"
#include "OperationDone.h"
#include "WorkRunner.h"

namespace engine {

using namespace zqvgui;

namespace {

// Keeps a control disabled for a scope and gives it back as it was.
class DisabledWhile
{
public:
    explicit DisabledWhile(QWidget* control)
        : m_control(control)
        , m_wasEnabled(control != nullptr && control->isEnabled())
    {
        if (m_control != nullptr)
            m_control->setEnabled(false);
    }
    ~DisabledWhile()
    {
        if (m_control != nullptr)
            m_control->setEnabled(m_wasEnabled);
    }
    DisabledWhile(const DisabledWhile&) = delete;
    DisabledWhile& operator=(const DisabledWhile&) = delete;

private:
    QPointer<QWidget> m_control;
    bool m_wasEnabled;
};

} // namespace

OperationDialog::OperationDialog(QString operand, Messenger& messenger, QWidget* parent)
    : QDialog(parent)
    , m_operand(std::move(operand))
    , m_messenger(messenger)
    , m_tools{m_crypto, m_runner, messenger, this, WipeFile}
{
    m_crypto.setProgressHandler([this](int percent) { postProgress(percent); });
    m_tools.progress = [this](int percent) { postProgress(percent); };
}

bool OperationDialog::load()
{
    centreOnScreen(this);
    txtFileName->setText(m_operand);
    txtOutput->setText(m_proposedOutput ? m_proposedOutput(m_operand) : m_operand);
    if (!operandAccepted())
        return false;
    txtPassword1->setFocus();
    return true;
}

void OperationDialog::postProgress(int percent)
{
    // Progress arrives on the worker thread; the bar is only touched on ours.
    postTo(this, [this, percent] { onProgress(percent); });
}

QProgressBar* OperationDialog::makeProgressBar()
{
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setVisible(false);
    return ProgressBar1;
}

void OperationDialog::onProgress(int percent)
{
    if (ProgressBar1 == nullptr)
        return;
    ProgressBar1->setVisible(true);
    ProgressBar1->setValue(percent);
}

void OperationDialog::setActionButton(QPushButton* action, std::initializer_list<QWidget*> workControls)
{
    m_action = action;
    m_action->setDefault(true);
    m_workControls.assign(workControls);
    m_runner.setControls(m_workControls);
}

OperationDialog::CancelScope::CancelScope(OperationDialog& dialog)
    : m_dialog(dialog)
{
    m_dialog.m_cancel = false;
    m_dialog.m_cancellable = true;
    m_dialog.m_tools.cancel = &m_dialog.m_cancel;
    // Close stays usable while the work runs: it is how the user stops it.
    std::vector<QWidget*> controls;
    for (QWidget* control : m_dialog.m_workControls) {
        if (control != m_dialog.cmdClose)
            controls.push_back(control);
    }
    m_dialog.m_runner.setControls(controls);
    // While the work runs the button says what it does now.
    m_closeText = m_dialog.cmdClose->text();
    m_dialog.cmdClose->setText(QStringLiteral("&Cancel"));
}

OperationDialog::CancelScope::~CancelScope()
{
    m_dialog.m_cancellable = false;
    m_dialog.m_tools.cancel = nullptr;
    m_dialog.m_runner.setControls(m_dialog.m_workControls);
    m_dialog.cmdClose->setText(m_closeText);
}

void OperationDialog::requestCancel()
{
    if (m_cancellable)
        m_cancel = true;
}

void OperationDialog::browse(const QString& filter)
{
    const QString chosen = m_messenger.saveFileName(this, QStringLiteral("Select File"), filter, txtOutput->text());
    if (chosen.isEmpty())
        return;
    // Replacing is asked when the work starts; creating is asked here.
    if (!QFileInfo::exists(chosen) &&
        !m_messenger.question(this,
                              QStringLiteral("Select File"),
                              QLatin1String("The file ") + chosen +
                                  QLatin1String(" does not exist. Do you want to create it?")))
        return;
    txtOutput->setText(chosen);
}

QPushButton* OperationDialog::buildFileForm(FileForm operation)
{
    setProposedOutput(operation.proposedOutput);
    m_form = std::move(operation);
    const FileForm& text = m_form;
    // The decrypted file's password is typed once; new files' twice.
    const bool confirmPassword = text.newFile;
    txtFileName = makeReadOnlyField(this, QStringLiteral("txtFileName"));
    txtPassword1 =
        makePasswordField(this, confirmPassword ? QStringLiteral("txtPassword1") : QStringLiteral("txtPassword"));
    if (confirmPassword)
        txtPassword2 = makePasswordField(this, QStringLiteral("txtPassword2"));
    txtOutput = makeField(this, QStringLiteral("txtOutput"));
    cmdBrowse = makeButton(this, QStringLiteral("cmdBrowse"), QStringLiteral("&Browse"));
    chkWipe = makeCheckBox(this, QStringLiteral("chkWipe"), text.wipeCaption);
    QPushButton* action = makeButton(this, text.actionName, text.actionCaption);
    cmdClose = makeButton(this, QStringLiteral("cmdClose"), QStringLiteral("&Close"));
    makeProgressBar();
    setActionButton(action, {action, cmdClose, cmdBrowse, chkWipe});

    FormLayout form(this);
    form.addRow(text.fileLabel, txtFileName);
    form.addRow(QStringLiteral("&Password:"), txtPassword1);
    if (txtPassword2 != nullptr)
        form.addRow(QStringLiteral("&Again:"), txtPassword2);
    form.addRow(QStringLiteral("&Save File As:"), txtOutput, cmdBrowse);
    form.addWide(chkWipe);
    form.addWide(ProgressBar1);
    form.addStretch();
    form.addButtons({action, cmdClose});

    QWidget* previous = txtFileName;
    for (QWidget* next : {static_cast<QWidget*>(txtPassword1),
                          static_cast<QWidget*>(txtPassword2),
                          static_cast<QWidget*>(txtOutput),
                          static_cast<QWidget*>(cmdBrowse),
                          static_cast<QWidget*>(chkWipe),
                          static_cast<QWidget*>(action),
                          static_cast<QWidget*>(cmdClose)}) {
        if (next == nullptr)
            continue;
        setTabOrder(previous, next);
        previous = next;
    }

    const QString filter = text.browseFilter;
    connect(cmdBrowse, &QPushButton::clicked, this, [this, filter] { browse(filter); });
    connect(cmdClose, &QPushButton::clicked, this, &OperationDialog::close);
    connect(action, &QPushButton::clicked, this, &OperationDialog::fileAction_Click);
    return action;
}

bool OperationDialog::requirePassword(bool moveFocus)
{
    if (!txtPassword1->text().isEmpty())
        return true;
    m_messenger.message(this, QStringLiteral("ZQV"), QStringLiteral("Please enter a password."), MessageIcon::Critical);
    if (moveFocus)
        txtPassword1->setFocus();
    return false;
}

bool OperationDialog::requireMatchingPasswords()
{
    if (txtPassword2->text() == txtPassword1->text())
        return true;
    m_messenger.message(
        this, QStringLiteral("Password"), QStringLiteral("The passwords entered do not match."), MessageIcon::Critical);
    return false;
}

bool OperationDialog::requireOutputExtension(const QString& extension)
{
    if (txtOutput->text().endsWith(extension, Qt::CaseSensitive))
        return true;
    m_messenger.message(this,
                        programTitle(),
                        QLatin1String("The encrypted file must have ") + extension +
                            QLatin1String(" as the file extension."),
                        MessageIcon::Critical);
    txtOutput->setFocus();
    return false;
}

bool OperationDialog::confirmReplaceOnce(const QString& destination, bool& replace)
{
    if (!destination.isEmpty() && destination == m_replaceAgreed && QFileInfo::exists(destination)) {
        replace = true;
        return true;
    }
    if (!confirmReplace(m_tools, destination, replace))
        return false;
    if (replace)
        m_replaceAgreed = destination;
    return true;
}

void OperationDialog::performFileAction()
{
    const QString destination = txtOutput->text();
    const QString password = txtPassword1->text();
    // Read once: what the box says later changes nothing about this run.
    const bool wipeSource = chkWipe->isChecked();
    const DisabledWhile wipeBoxLocked(chkWipe);

    const bool willAsk = QFileInfo::exists(destination) && destination != m_replaceAgreed;
    if (m_form.checkBeforeReplace && willAsk && !m_form.checkBeforeReplace(m_tools, sourcePath(), password)) {
        passwordRejected();
        return;
    }
    CipherOptions options;
    if (!confirmReplaceOnce(destination, options.replaceExisting)) {
        txtOutput->setFocus();
        return;
    }
    // The source is only wiped once the new file has read back whole, and
    // only the very file read now: held from here on, checked before the wipe.
    options.verify = wipeSource;
    cryptelle::HeldFile held;
    WipeTarget source;
    if (wipeSource) {
        const QByteArray native = QFile::encodeName(sourcePath());
        if (held.open(native.toStdString(), cryptelle::HeldFile::Access::ReadOrWrite))
            source = targetOf(held);
        else if (!targetOf(sourcePath(), source))
            source = WipeTarget{sourcePath(), {}, nullptr};
    }

    std::optional<CancelScope> cancellable;
    if (!m_form.cancelledWork.isEmpty())
        cancellable.emplace(*this);
    const CipherOutcome outcome = m_form.routine(m_tools, sourcePath(), destination, password, options);
    cancellable.reset();
    if (outcome.cancelled) {
        m_messenger.message(this,
                            QStringLiteral("ZQV"),
                            m_form.cancelledWork + sourcePath() +
                                QLatin1String(" was cancelled. No file was written, and ") + sourcePath() +
                                QLatin1String(" is as it was."),
                            MessageIcon::Information);
        return;
    }
    if (!outcome) {
        if (m_form.failureText.isEmpty())
            passwordRejected(); // the routine has said why; the next try replaces the password
        else
            finishFailed(m_form.failureText);
        return;
    }
    if (wipeSource)
        wipeAfterSuccess(m_tools, source, outcome);
    markOperationDone();
    close();
}

void OperationDialog::fileAction_Click()
{
    if (isBusy())
        return;
    // An existing file is tried with any password, an empty one too. A new
    // file needs one, typed twice.
    if (m_form.newFile &&
        (!requirePassword(m_form.focusMissingPassword) || !outputAccepted() || !requireMatchingPasswords()))
        return;
    performFileAction();
}

void OperationDialog::passwordRejected()
{
    txtPassword1->setFocus();
    txtPassword1->selectAll();
}

void OperationDialog::finishFailed(const QString& text)
{
    m_messenger.message(this, QStringLiteral("ZQV"), text, MessageIcon::Critical);
}

void OperationDialog::keyPressEvent(QKeyEvent* event)
{
    if (!handleEnterKey(this, event, m_action))
        QDialog::keyPressEvent(event);
}

void OperationDialog::closeEvent(QCloseEvent* event)
{
    if (isBusy()) {
        requestCancel();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void OperationDialog::reject()
{
    if (isBusy())
        requestCancel();
    else
        QDialog::reject();
}

} // namespace engine
