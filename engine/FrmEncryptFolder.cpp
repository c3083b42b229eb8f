#include "FrmEncryptFolder.h"

#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "CryptoModule.h"
#include "FormParts.h"
#include "OperationDone.h"

namespace engine {

using namespace zqvgui;

FrmEncryptFolder::FrmEncryptFolder(QString operand, Messenger& messenger, QWidget* parent)
    : OperationDialog(std::move(operand), messenger, parent)
{
    setObjectName(QStringLiteral("frmEncryptFolder"));
    setWindowTitle(QStringLiteral("ZQV - Encrypt Folder"));

    txtFileName = makeReadOnlyField(this, QStringLiteral("txtFileName"));
    txtPassword1 = makePasswordField(this, QStringLiteral("txtPassword1"));
    txtPassword2 = makePasswordField(this, QStringLiteral("txtPassword2"));
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
    lblLevel = new QLabel(this);
    lblLevel->setObjectName(QStringLiteral("lblLevel"));
    lblLevel->setNum(CompressionLevel->value());
    // Wide enough for any level, so the slider does not shift as it moves.
    lblLevel->setMinimumWidth(lblLevel->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 2);
    chkPassword =
        makeCheckBox(this, QStringLiteral("chkPassword"), QStringLiteral("Apply password to decrypted zip file"));
    chkExe =
        makeCheckBox(this, QStringLiteral("chkExe"), QStringLiteral("Make the encrypted file a self-extracting exe"));
    chkRecursive =
        makeCheckBox(this, QStringLiteral("chkRecursive"), QStringLiteral("Encrypt folder contents recursively"));
    cmdEncrypt = makeButton(this, QStringLiteral("cmdEncrypt"), QStringLiteral("&Encrypt"));
    cmdClose = makeButton(this, QStringLiteral("cmdClose"), QStringLiteral("&Close"));
    makeProgressBar();
    // Everything that shapes the archive stays as it was when the work started.
    setActionButton(cmdEncrypt,
                    {cmdEncrypt,
                     cmdClose,
                     cmdBrowse,
                     optCompress[0],
                     optCompress[1],
                     CompressionLevel,
                     chkPassword,
                     chkExe,
                     chkRecursive});

    auto* compression = new QWidget(this);
    auto* compressionRow = new QHBoxLayout(compression);
    compressionRow->setContentsMargins(0, 0, 0, 0);
    compressionRow->addWidget(optCompress[0]);
    compressionRow->addWidget(CompressionLevel, 1);
    compressionRow->addWidget(lblLevel);
    compressionRow->addWidget(optCompress[1]);

    FormLayout form(this);
    form.addRow(QStringLiteral("Folder:"), txtFileName);
    form.addRow(QStringLiteral("&Password:"), txtPassword1);
    form.addRow(QStringLiteral("&Again:"), txtPassword2);
    form.addRow(QStringLiteral("&Save File As:"), txtOutput, cmdBrowse);
    form.addWide(compression);
    form.addWide(chkPassword);
    form.addWide(chkExe);
    form.addWide(chkRecursive);
    form.addWide(ProgressBar1);
    form.addStretch();
    form.addButtons({cmdEncrypt, cmdClose});

    const std::array<QWidget*, 13> order{txtFileName,
                                         txtPassword1,
                                         txtPassword2,
                                         txtOutput,
                                         cmdBrowse,
                                         optCompress[0],
                                         CompressionLevel,
                                         optCompress[1],
                                         chkPassword,
                                         chkExe,
                                         chkRecursive,
                                         cmdEncrypt,
                                         cmdClose};
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    setProposedOutput([](const QString& operand) { return operand + QLatin1String(".zip"); });
    // Packing reports on the worker thread; the bar shows it as encryption does.
    ZIPLight.progress = [this](const QString&, double value) { postProgress(static_cast<int>(value)); };

    connect(cmdBrowse, &QPushButton::clicked, this, [this] { browse(QStringLiteral("Encrypted File (*.zip)")); });
    for (QRadioButton* option : optCompress)
        connect(option, &QRadioButton::clicked, this, &FrmEncryptFolder::optCompress_Click);
    connect(CompressionLevel, &QSlider::valueChanged, lblLevel, qOverload<int>(&QLabel::setNum));
    connect(cmdEncrypt, &QPushButton::clicked, this, &FrmEncryptFolder::cmdEncrypt_Click);
    connect(cmdClose, &QPushButton::clicked, this, &FrmEncryptFolder::close);
}

bool FrmEncryptFolder::operandAccepted()
{
    if (!txtFileName->text().trimmed().isEmpty())
        return true;
    messenger().message(
        this, QStringLiteral("ZQV"), QStringLiteral("This folder cannot be encrypted."), MessageIcon::Critical);
    return false;
}

void FrmEncryptFolder::optCompress_Click()
{
    CompressionLevel->setEnabled(optCompress[0]->isChecked());
    lblLevel->setEnabled(optCompress[0]->isChecked());
}

qint16 FrmEncryptFolder::chosenLevel() const
{
    return optCompress[0]->isChecked() ? static_cast<qint16>(CompressionLevel->value()) : qint16{0};
}

int FrmEncryptFolder::subfolderCount(const QString& folder)
{
    return static_cast<int>(
        QDir(folder)
            .entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System | QDir::NoSymLinks)
            .size());
}

bool FrmEncryptFolder::acceptTopLevelOnly()
{
    if (chkRecursive->isChecked())
        return true;
    const int count = subfolderCount(sourcePath());
    if (count == 0)
        return true;
    const QString what =
        count == 1 ? QStringLiteral("1 subfolder of ") : QString::number(count) + QLatin1String(" subfolders of ");
    if (messenger().question(this,
                             QStringLiteral("ZQV"),
                             what + sourcePath() +
                                 QLatin1String(" will not be included, because \"Encrypt folder contents "
                                               "recursively\" is not ticked. Pack only the files directly in the "
                                               "folder?")))
        return true;
    chkRecursive->setFocus();
    return false;
}

void FrmEncryptFolder::cmdEncrypt_Click()
{
    if (isBusy() || !requirePassword(true) || !requireOutputExtension(QStringLiteral(".zip")))
        return;
    if (!requireMatchingPasswords() || !acceptTopLevelOnly())
        return;
    FolderJob job;
    job.folder = sourcePath();
    job.archive = txtOutput->text();
    job.level = chosenLevel();
    job.recursive = chkRecursive->isChecked();
    job.innerPassword = chkPassword->isChecked();
    job.selfExtracting = chkExe->isChecked();
    CipherOptions options;
    if (!confirmReplaceOnce(folderJobResult(job), options.replaceExisting)) {
        txtOutput->setFocus();
        return;
    }
    const CancelScope cancellable = allowCancel();
    switch (EncryptFolderToArchive(tools(), ZIPLight, job, txtPassword1->text(), options)) {
    case FolderResult::Done:
        markOperationDone();
        close();
        break;
    case FolderResult::Failed:
        finishFailed(QStringLiteral("The files could not be encrypted."));
        break;
    case FolderResult::Cancelled:
        messenger().message(this,
                            QStringLiteral("ZQV"),
                            QLatin1String("Encrypting ") + sourcePath() +
                                QLatin1String(" was cancelled. No file was written, and the folder is as it was."),
                            MessageIcon::Information);
        break;
    }
}

} // namespace engine
