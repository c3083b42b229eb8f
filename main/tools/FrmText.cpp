#include "FrmText.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QThreadPool>
#include <QVBoxLayout>
#include <mutex>

#include "FormParts.h"
#include "Messenger.h"
#include "TextTool.h"

namespace zqvtools {
namespace {

const QString kFileFilter = QStringLiteral("Text Files (*.txt)");

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    return label;
}

QPlainTextEdit* makeTextBox(QWidget* parent, const QString& name)
{
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(name);
    // Tab moves on to the next control, as in every other box of the window.
    box->setTabChangesFocus(true);
    box->setMinimumSize(420, 110);
    return box;
}

// The threads actions run on. Owned by the application, whose end waits for
// them: an abandoned derivation cannot be stopped, only left to finish, and
// the cost ceiling of messages keeps that to a few seconds. A few threads, so
// a cancelled action never holds up the next one, and so repeated cancels
// cannot pile up derivations without bound.
QThreadPool* actionThreads()
{
    static QPointer<QThreadPool> pool;
    if (!pool) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(3);
    }
    return pool;
}

// Plaintext of a result nobody will see is overwritten before it is freed.
void forget(TextActionResult& result)
{
    if (!result.output.isEmpty())
        result.output.fill(QChar(u'\0'));
    result.output.clear();
}

} // namespace

// One action between the window and its worker. Whoever comes second, the
// worker with a result or the window giving up on it, decides what becomes
// of the result, under the lock.
struct FrmText::Job
{
    std::mutex lock;
    QEventLoop* loop = nullptr; // the window's wait; valid while neither done nor abandoned
    bool done = false;
    bool abandoned = false;
    TextActionResult result;
};

FrmText::FrmText(zqvgui::Messenger& messenger, QWidget* parent)
    : QDialog(parent)
    , m_messenger(messenger)
{
    setObjectName(QStringLiteral("frmText"));
    setWindowTitle(QStringLiteral("Encrypt/Decrypt Text"));

    Label1 = makeLabel(this, QStringLiteral("Label1"), QStringLiteral("Use the selected algorithm:"));
    cboAlgorithm = new QComboBox(this);
    cboAlgorithm->setObjectName(QStringLiteral("cboAlgorithm"));
    cboAlgorithm->addItems(textAlgorithmNames());
    cboAlgorithm->setCurrentIndex(0);
    Label1->setBuddy(cboAlgorithm);

    Label2 = makeLabel(this, QStringLiteral("Label2"), QStringLiteral("Perform the selected action:"));
    auto* group = new QButtonGroup(this);
    const QString captions[2] = {QStringLiteral("Encrypt"), QStringLiteral("Decrypt")};
    for (int i = 0; i < 2; ++i) {
        optAction[i] = new QRadioButton(captions[i], this);
        optAction[i]->setObjectName(QStringLiteral("optAction_%1").arg(i));
        group->addButton(optAction[i], i);
    }
    optAction[0]->setChecked(true);

    Label3 = makeLabel(this, QStringLiteral("Label3"), QStringLiteral("Use the following key:"));
    txtKey = zqvgui::makeField(this, QStringLiteral("txtKey"));
    Label3->setBuddy(txtKey);
    chkMask = zqvgui::makeCheckBox(this, QStringLiteral("chkMask"), QStringLiteral("Mask Input"));

    lblAction = makeLabel(this, QStringLiteral("lblAction"), QStringLiteral("Text to Encrypt:"));
    txtInput = makeTextBox(this, QStringLiteral("txtInput"));
    lblAction->setBuddy(txtInput);
    cmdFromClipboard = zqvgui::makeButton(this, QStringLiteral("cmdFromClipboard"), QStringLiteral("F&rom Clipboard"));
    cmdFromFile = zqvgui::makeButton(this, QStringLiteral("cmdFromFile"), QStringLiteral("&From File"));
    cmdAction = zqvgui::makeButton(this, QStringLiteral("cmdAction"), QStringLiteral("&Encrypt"));
    cmdAction->setDefault(true);
    cmdCancel = zqvgui::makeButton(this, QStringLiteral("cmdCancel"), QStringLiteral("Cancel"));
    cmdCancel->setVisible(false);

    lblResult = makeLabel(this, QStringLiteral("lblResult"), QStringLiteral("Encrypted Text"));
    txtOutput = makeTextBox(this, QStringLiteral("txtOutput"));
    txtOutput->setReadOnly(true);
    lblResult->setBuddy(txtOutput);
    cmdCopy = zqvgui::makeButton(this, QStringLiteral("cmdCopy"), QStringLiteral("&Copy"));
    cmdSaveAs = zqvgui::makeButton(this, QStringLiteral("cmdSaveAs"), QStringLiteral("&Save As"));
    cmdOk = zqvgui::makeButton(this, QStringLiteral("cmdOk"), QStringLiteral("C&lose"));

    lblNote = makeLabel(this,
                        QStringLiteral("lblNote"),
                        QStringLiteral("If the decrypted text is unreadable then the key entered was incorrect."));
    lblNote->setWordWrap(true);
    lblNote->setVisible(false);

    auto* layout = new QVBoxLayout(this);
    auto* settings = new QGridLayout;
    settings->setColumnStretch(1, 1);
    settings->addWidget(Label1, 0, 0);
    settings->addWidget(cboAlgorithm, 0, 1, Qt::AlignLeft);
    settings->addWidget(Label2, 1, 0);
    auto* actions = new QHBoxLayout;
    actions->addWidget(optAction[0]);
    actions->addWidget(optAction[1]);
    actions->addStretch();
    settings->addLayout(actions, 1, 1);
    settings->addWidget(Label3, 2, 0);
    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(txtKey, 1);
    keyRow->addWidget(chkMask);
    settings->addLayout(keyRow, 2, 1);
    layout->addLayout(settings);

    layout->addWidget(lblAction);
    layout->addWidget(txtInput, 1);
    auto* inputButtons = new QHBoxLayout;
    inputButtons->addWidget(cmdFromClipboard);
    inputButtons->addWidget(cmdFromFile);
    inputButtons->addStretch();
    inputButtons->addWidget(cmdCancel);
    inputButtons->addWidget(cmdAction);
    layout->addLayout(inputButtons);

    layout->addWidget(lblResult);
    layout->addWidget(txtOutput, 1);
    auto* outputButtons = new QHBoxLayout;
    outputButtons->addWidget(cmdCopy);
    outputButtons->addWidget(cmdSaveAs);
    outputButtons->addStretch();
    outputButtons->addWidget(cmdOk);
    layout->addLayout(outputButtons);
    layout->addWidget(lblNote);

    setTabOrder(cboAlgorithm, optAction[0]);
    setTabOrder(optAction[0], optAction[1]);
    setTabOrder(optAction[1], txtKey);
    setTabOrder(txtKey, chkMask);
    setTabOrder(chkMask, txtInput);
    setTabOrder(txtInput, cmdFromClipboard);
    setTabOrder(cmdFromClipboard, cmdFromFile);
    setTabOrder(cmdFromFile, cmdAction);
    setTabOrder(cmdAction, txtOutput);
    setTabOrder(txtOutput, cmdCopy);
    setTabOrder(cmdCopy, cmdSaveAs);
    setTabOrder(cmdSaveAs, cmdOk);

    connect(group, &QButtonGroup::idClicked, this, &FrmText::optAction_Click);
    connect(chkMask, &QCheckBox::clicked, this, &FrmText::chkMask_Click);
    connect(cmdAction, &QPushButton::clicked, this, &FrmText::cmdAction_Click);
    connect(cmdFromClipboard, &QPushButton::clicked, this, &FrmText::cmdFromClipboard_Click);
    connect(cmdFromFile, &QPushButton::clicked, this, &FrmText::cmdFromFile_Click);
    connect(cmdCopy, &QPushButton::clicked, this, &FrmText::cmdCopy_Click);
    connect(cmdSaveAs, &QPushButton::clicked, this, &FrmText::cmdSaveAs_Click);
    // The Close button is a deliberate choice: it closes without asking.
    connect(cmdOk, &QPushButton::clicked, this, [this] { QDialog::reject(); });
    connect(cmdCancel, &QPushButton::clicked, this, &FrmText::cmdCancel_Click);

    // While a message is being ciphered nothing may change what is ciphered.
    m_lockedWhileWorking = {cboAlgorithm,
                            optAction[0],
                            optAction[1],
                            txtKey,
                            txtInput,
                            cmdFromClipboard,
                            cmdFromFile,
                            cmdAction,
                            cmdCopy,
                            cmdSaveAs,
                            cmdOk};
    txtKey->setFocus();
}

FrmText::~FrmText()
{
    cmdCancel_Click();
}

void FrmText::optAction_Click(int index)
{
    const QString caption = optAction[index]->text();
    lblAction->setText(QStringLiteral("Text to ") + caption + QLatin1Char(':'));
    cmdAction->setText(QLatin1Char('&') + caption);
    lblResult->setText(caption + QStringLiteral("ed Text"));
    lblNote->setVisible(optAction[1]->isChecked());
}

void FrmText::chkMask_Click()
{
    txtKey->setEchoMode(chkMask->isChecked() ? QLineEdit::Password : QLineEdit::Normal);
}

void FrmText::setWorking(bool working)
{
    if (working) {
        m_disabledByWork.clear();
        for (QWidget* control : m_lockedWhileWorking) {
            if (control->isEnabled()) {
                control->setEnabled(false);
                m_disabledByWork.push_back(control);
            }
        }
        cmdCancel->setVisible(true);
        cmdCancel->setFocus();
        // The arrow stays beside the hourglass: Cancel can be clicked.
        QApplication::setOverrideCursor(Qt::BusyCursor);
        return;
    }
    QApplication::restoreOverrideCursor();
    for (QWidget* control : m_disabledByWork)
        control->setEnabled(true);
    m_disabledByWork.clear();
    cmdCancel->setVisible(false);
}

void FrmText::cmdCancel_Click()
{
    if (!m_job)
        return;
    QEventLoop* loop = nullptr;
    {
        const std::lock_guard<std::mutex> guard(m_job->lock);
        if (!m_job->done) {
            m_job->abandoned = true;
            forget(m_job->result);
        }
        loop = m_job->loop;
    }
    if (loop != nullptr)
        loop->quit();
}

void FrmText::cmdAction_Click()
{
    if (m_job)
        return;
    const TextAction action =
        cmdAction->text() == QLatin1String("&Encrypt") ? TextAction::Encrypt : TextAction::Decrypt;
    const int algorithm = textAlgorithmCode(cboAlgorithm->currentText());
    const QString key = txtKey->text();
    const QString input = txtInput->toPlainText();

    const auto job = std::make_shared<Job>();
    QEventLoop loop;
    job->loop = &loop;
    m_job = job;
    setWorking(true);
    // The worker has copies of all it needs, so it may outlive the window.
    actionThreads()->start([job, performer = m_performer, control = CryptoCtrl, algorithm, key, input, action] {
        TextActionResult result = performer(control, algorithm, key, input, action);
        const std::lock_guard<std::mutex> guard(job->lock);
        if (job->abandoned) {
            forget(result);
            return;
        }
        job->result = std::move(result);
        job->done = true;
        QMetaObject::invokeMethod(job->loop, "quit", Qt::QueuedConnection);
    });
    const QPointer<FrmText> self(this);
    loop.exec();
    bool done = false;
    TextActionResult result;
    {
        const std::lock_guard<std::mutex> guard(job->lock);
        job->loop = nullptr;
        done = job->done;
        if (done)
            result = std::move(job->result);
        else
            job->abandoned = true;
    }
    if (!self) {
        // The window went during the wait; the cursor it set is still on.
        QApplication::restoreOverrideCursor();
        forget(result);
        return;
    }
    m_job.reset();
    setWorking(false);
    if (!done) {
        // Cancelled: everything stays as it was before the action.
        cmdAction->setFocus();
        return;
    }
    if (result.succeeded) {
        txtOutput->setPlainText(result.output);
        return;
    }
    if (result.clearOutput)
        txtOutput->clear();
    m_messenger.message(this, result.title, result.text, zqvgui::MessageIcon::Critical, result.detail);
    if (result.keyProblem)
        txtKey->setFocus();
    else
        txtInput->setFocus();
}

void FrmText::cmdFromClipboard_Click()
{
    txtInput->setPlainText(QApplication::clipboard()->text());
}

void FrmText::cmdCopy_Click()
{
    QApplication::clipboard()->setText(txtOutput->toPlainText());
}

void FrmText::cmdFromFile_Click()
{
    const QString path = m_messenger.openFileName(this, QStringLiteral("From File"), kFileFilter, QString());
    if (path.isEmpty())
        return;
    QString text;
    switch (readTextFile(path, text)) {
    case TextFileRead::Read:
        break;
    case TextFileRead::Unreadable:
        m_messenger.message(this,
                            QStringLiteral("ZQV"),
                            QStringLiteral("The file could not be read."),
                            zqvgui::MessageIcon::Critical,
                            path);
        return;
    case TextFileRead::NotInEncoding:
        m_messenger.message(this,
                            QStringLiteral("ZQV"),
                            QStringLiteral("The file is not text in this system's encoding (%1), so it was not loaded.")
                                .arg(QString::fromLatin1(localeCodeset())),
                            zqvgui::MessageIcon::Critical,
                            path);
        return;
    }
    txtInput->setPlainText(text);
}

void FrmText::cmdSaveAs_Click()
{
    const QString path = m_messenger.saveFileName(this, QStringLiteral("From File"), kFileFilter, QString());
    if (path.isEmpty())
        return;
    if (QFileInfo::exists(path) &&
        !m_messenger.question(this,
                              QStringLiteral("From File"),
                              QFileInfo(path).fileName() +
                                  QStringLiteral(" already exists.\nDo you want to replace it?")))
        return;
    if (!writeTextFile(path, txtOutput->toPlainText())) {
        m_messenger.message(this,
                            QStringLiteral("ZQV"),
                            QStringLiteral("The file could not be saved."),
                            zqvgui::MessageIcon::Critical,
                            path);
    }
}

void FrmText::reject()
{
    if (m_job) {
        cmdCancel_Click();
        return;
    }
    if (!txtInput->toPlainText().isEmpty() &&
        !m_messenger.question(this,
                              QStringLiteral("ZQV"),
                              QStringLiteral("The text you entered will be lost.\nDo you want to close the window?")))
        return;
    QDialog::reject();
}

} // namespace zqvtools
