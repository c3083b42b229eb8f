#include "FrmEncryptFolder.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "CryptoModule.h"
#include "EngineMessages.h"
#include "FormParts.h"

namespace engine {

using namespace zqvgui;

FrmEncryptFolder::FrmEncryptFolder(QString operand, Messenger& messenger, QWidget* parent)
    : OperationDialog(std::move(operand), messenger, parent)
{
    setObjectName(QStringLiteral("frmEncryptFolder"));
    setWindowTitle(QStringLiteral("ZQV - Encrypt Folder"));

    txtPassword1 = makePasswordField(this, QStringLiteral("txtPassword1"));
    txtPassword2 = makePasswordField(this, QStringLiteral("txtPassword2"));
    txtFileName = makeReadOnlyField(this, QStringLiteral("txtFileName"));
    txtOutput = makeField(this, QStringLiteral("txtOutput"));
    cmdBrowse = makeButton(this, QStringLiteral("cmdBrowse"), QStringLiteral("&Browse"));
    optCompress[0] = new QRadioButton(QStringLiteral("Compression level:"), this);
    optCompress[0]->setObjectName(QStringLiteral("optCompress_0"));
    optCompress[1] = new QRadioButton(QStringLiteral("Do not compress"), this);
    optCompress[1]->setObjectName(QStringLiteral("optCompress_1"));
    optCompress[0]->setChecked(true);
    CompressionLevel = new QSlider(Qt::Horizontal, this);
    CompressionLevel->setObjectName(QStringLiteral("CompressionLevel"));
    CompressionLevel->setRange(0, 9);
    CompressionLevel->setValue(6);
    CompressionLevel->setTickPosition(QSlider::TicksBelow);
    CompressionLevel->setPageStep(1);
    chkPassword =
        makeCheckBox(this, QStringLiteral("chkPassword"), QStringLiteral("Apply password to decrypted zip file"));
    chkExe =
        makeCheckBox(this, QStringLiteral("chkExe"), QStringLiteral("Make the encrypted file a self-extracting exe"));
    chkRecursive =
        makeCheckBox(this, QStringLiteral("chkRecursive"), QStringLiteral("Encrypt folder contents recursively"));
    cmdEncrypt = makeButton(this, QStringLiteral("cmdEncrypt"), QStringLiteral("&Encrypt"));
    cmdClose = makeButton(this, QStringLiteral("cmdClose"), QStringLiteral("&Close"));
    ProgressBar1 = makeProgressBar();
    cmdEncrypt->setDefault(true);
    setWorkControls({cmdEncrypt, cmdClose, cmdBrowse});

    auto* compression = new QWidget(this);
    auto* compressionRow = new QHBoxLayout(compression);
    compressionRow->setContentsMargins(0, 0, 0, 0);
    compressionRow->addWidget(optCompress[0]);
    compressionRow->addWidget(CompressionLevel, 1);
    compressionRow->addWidget(optCompress[1]);

    FormLayout form(this);
    form.addRow(QStringLiteral("&Password:"), txtPassword1);
    form.addRow(QStringLiteral("&Again:"), txtPassword2);
    form.addRow(QStringLiteral("Folder:"), txtFileName);
    form.addRow(QStringLiteral("&Save File As:"), txtOutput, cmdBrowse);
    form.addWide(compression);
    form.addWide(chkPassword);
    form.addWide(chkExe);
    form.addWide(chkRecursive);
    form.addWide(ProgressBar1);
    form.addButtons({cmdEncrypt, cmdClose});

    setTabOrder(txtPassword1, txtPassword2);
    setTabOrder(txtPassword2, txtOutput);
    setTabOrder(txtOutput, cmdBrowse);
    setTabOrder(cmdBrowse, optCompress[0]);
    setTabOrder(optCompress[0], CompressionLevel);
    setTabOrder(CompressionLevel, optCompress[1]);
    setTabOrder(optCompress[1], chkPassword);
    setTabOrder(chkPassword, chkExe);
    setTabOrder(chkExe, chkRecursive);
    setTabOrder(chkRecursive, cmdEncrypt);
    setTabOrder(cmdEncrypt, cmdClose);

    // Packing reports on the worker thread; the bar shows it as encryption does.
    ZIPLight.progress = [this](const QString&, double value) { postProgress(static_cast<int>(value)); };

    connect(cmdBrowse, &QPushButton::clicked, this, [this] {
        browse(txtOutput, QStringLiteral("Encrypted File (*.zip)"));
    });
    for (QRadioButton* option : optCompress)
        connect(option, &QRadioButton::clicked, this, &FrmEncryptFolder::optCompress_Click);
    connect(cmdEncrypt, &QPushButton::clicked, this, &FrmEncryptFolder::cmdEncrypt_Click);
    connect(cmdClose, &QPushButton::clicked, this, &FrmEncryptFolder::close);
}

bool FrmEncryptFolder::load()
{
    txtFileName->setText(m_operand);
    txtOutput->setText(m_operand + QLatin1String(".zip"));
    if (txtFileName->text().trimmed().isEmpty()) {
        messenger().message(
            this, QStringLiteral("ZQV"), QStringLiteral("This folder cannot be encrypted."), MessageIcon::Critical);
        return false;
    }
    txtPassword1->setFocus();
    return true;
}

void FrmEncryptFolder::optCompress_Click()
{
    CompressionLevel->setEnabled(optCompress[0]->isChecked());
}

qint16 FrmEncryptFolder::chosenLevel() const
{
    return optCompress[0]->isChecked() ? static_cast<qint16>(CompressionLevel->value()) : qint16{0};
}

void FrmEncryptFolder::cmdEncrypt_Click()
{
    if (isBusy())
        return;
    if (!requirePassword(txtPassword1, true))
        return;
    if (!txtOutput->text().endsWith(QLatin1String(".zip"), Qt::CaseSensitive)) {
        messenger().message(this,
                            programTitle(),
                            QStringLiteral("The encrypted file must have .zip as the file extension."),
                            MessageIcon::Critical);
        txtOutput->setFocus();
        return;
    }
    if (!requireMatchingPasswords(txtPassword1, txtPassword2))
        return;
    const QString result = txtOutput->text() + (chkExe->isChecked() ? QLatin1String(".exe") : QLatin1String(".zqv"));
    CipherOptions options;
    if (!confirmReplace(*this, result, options.replaceExisting)) {
        txtOutput->setFocus();
        return;
    }

    ZIPLight.Recursive = chkRecursive->isChecked();
    const bool done = EncryptFolderToArchive(*this,
                                             txtFileName->text(),
                                             txtOutput->text(),
                                             txtPassword1->text(),
                                             chkPassword->isChecked(),
                                             chkExe->isChecked(),
                                             chosenLevel(),
                                             options);
    if (done)
        finishSucceeded(nullptr, QString());
    else
        finishFailed(QStringLiteral("The files could not be encrypted."));
}

} // namespace engine
