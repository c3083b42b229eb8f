#include "OperationDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include "CryptoModule.h"
#include "EngineMessages.h"
#include "FormParts.h"
#include "WorkRunner.h"

namespace engine {

using namespace zqvgui;

OperationDialog::OperationDialog(QString operand, Messenger& messenger, QWidget* parent)
    : QDialog(parent)
    , m_operand(std::move(operand))
    , m_messenger(messenger)
{
    m_crypto.setProgressHandler([this](int percent) { postProgress(percent); });
}

void OperationDialog::postProgress(int percent)
{
    // Progress arrives on the worker thread; the bar is only touched on ours.
    postTo(this, [this, percent] { onProgress(percent); });
}

QProgressBar* OperationDialog::makeProgressBar()
{
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setVisible(false);
    return m_progress;
}

void OperationDialog::onProgress(int percent)
{
    if (m_progress == nullptr)
        return;
    m_progress->setVisible(true);
    m_progress->setValue(percent);
}

void OperationDialog::browse(QLineEdit* output, const QString& filter)
{
    const QString chosen = m_messenger.saveFileName(this, QStringLiteral("Select File"), filter, output->text());
    if (!chosen.isEmpty())
        output->setText(chosen);
}

void OperationDialog::runWork(const std::function<void()>& work)
{
    m_runner.run(work);
}

OperationDialog::FileForm OperationDialog::buildFileForm(const FileFormText& text)
{
    FileForm f;
    f.password1 =
        makePasswordField(this, text.confirmPassword ? QStringLiteral("txtPassword1") : QStringLiteral("txtPassword"));
    if (text.confirmPassword)
        f.password2 = makePasswordField(this, QStringLiteral("txtPassword2"));
    f.fileName = makeReadOnlyField(this, QStringLiteral("txtFileName"));
    f.output = makeField(this, QStringLiteral("txtOutput"));
    f.browse = makeButton(this, QStringLiteral("cmdBrowse"), QStringLiteral("&Browse"));
    f.wipe = makeCheckBox(this, QStringLiteral("chkWipe"), text.wipeCaption);
    f.action = makeButton(this, text.actionName, text.actionCaption);
    f.close = makeButton(this, QStringLiteral("cmdClose"), QStringLiteral("&Close"));
    f.progress = makeProgressBar();
    f.action->setDefault(true);
    setWorkControls({f.action, f.close, f.browse});

    FormLayout form(this);
    form.addRow(QStringLiteral("&Password:"), f.password1);
    if (f.password2 != nullptr)
        form.addRow(QStringLiteral("&Again:"), f.password2);
    form.addRow(text.fileLabel, f.fileName);
    form.addRow(QStringLiteral("&Save File As:"), f.output, f.browse);
    form.addWide(f.wipe);
    form.addWide(f.progress);
    form.addButtons({f.action, f.close});

    QWidget* previous = f.password1;
    for (QWidget* next : {static_cast<QWidget*>(f.password2),
                          static_cast<QWidget*>(f.output),
                          static_cast<QWidget*>(f.browse),
                          static_cast<QWidget*>(f.wipe),
                          static_cast<QWidget*>(f.action),
                          static_cast<QWidget*>(f.close)}) {
        if (next == nullptr)
            continue;
        setTabOrder(previous, next);
        previous = next;
    }

    QLineEdit* output = f.output;
    const QString filter = text.browseFilter;
    connect(f.browse, &QPushButton::clicked, this, [this, output, filter] { browse(output, filter); });
    connect(f.close, &QPushButton::clicked, this, &OperationDialog::close);
    return f;
}

bool OperationDialog::requirePassword(QLineEdit* password, bool moveFocus)
{
    if (!password->text().isEmpty())
        return true;
    m_messenger.message(this, QStringLiteral("ZQV"), QStringLiteral("Please enter a password."), MessageIcon::Critical);
    if (moveFocus)
        password->setFocus();
    return false;
}

bool OperationDialog::requireMatchingPasswords(QLineEdit* first, QLineEdit* second)
{
    if (second->text() == first->text())
        return true;
    m_messenger.message(
        this, QStringLiteral("Password"), QStringLiteral("The passwords entered do not match."), MessageIcon::Critical);
    return false;
}

void OperationDialog::finishSucceeded(const QCheckBox* wipe, const QString& source)
{
    if (wipe != nullptr && wipe->isChecked())
        wipeAfterSuccess(m_messenger, this, source);
    close();
}

void OperationDialog::finishFailed(const QString& text)
{
    m_messenger.message(this, QStringLiteral("ZQV"), text, MessageIcon::Critical);
}

void OperationDialog::closeEvent(QCloseEvent* event)
{
    if (isBusy()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void OperationDialog::reject()
{
    if (!isBusy())
        QDialog::reject();
}

} // namespace engine
