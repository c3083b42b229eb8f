#include "FrmHash.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "FormParts.h"
#include "HashValues.h"
#include "Md5Module.h"

namespace zqvtools {
namespace {

// Small files finish before a progress bar would mean anything.
constexpr int kProgressDelayMs = 400;

} // namespace

FrmHash::FrmHash(QWidget* parent, Md5Library* md5)
    : QDialog(parent)
    , m_md5(md5 != nullptr ? md5 : &programMd5Library())
{
    setObjectName(QStringLiteral("frmHash"));
    setWindowTitle(QStringLiteral("Hash Values"));

    txtFile = zqvgui::makeReadOnlyField(this, QStringLiteral("txtFile"));
    txtSHA = zqvgui::makeReadOnlyField(this, QStringLiteral("txtSHA"));
    txtMD5 = zqvgui::makeReadOnlyField(this, QStringLiteral("txtMD5"));
    // Digests are easier to compare letter by letter in a fixed-pitch font,
    // and the 64 digits of SHA-256 must fit without scrolling.
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (QLineEdit* field : {txtSHA, txtMD5})
        field->setFont(fixed);
    txtSHA->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QString(66, QLatin1Char('0'))));

    Label1 = new QLabel(QStringLiteral("File:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel(QStringLiteral("SHA:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label3 = new QLabel(QStringLiteral("MD5"), this);
    Label3->setObjectName(QStringLiteral("Label3"));

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    cmdCancel = zqvgui::makeButton(this, QStringLiteral("cmdCancel"), QStringLiteral("Cancel"));
    cmdOk = zqvgui::makeButton(this, QStringLiteral("cmdOk"), QStringLiteral("&Ok"));
    cmdOk->setDefault(true);

    auto* grid = new QGridLayout(this);
    grid->setColumnStretch(1, 1);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(txtFile, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(txtSHA, 1, 1);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(txtMD5, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ProgressBar1, 1);
    buttons->addWidget(cmdCancel);
    buttons->addWidget(cmdOk);
    grid->addLayout(buttons, 3, 0, 1, 2);
    // Hidden parts keep their room, so nothing jumps when they appear.
    for (QWidget* widget : {static_cast<QWidget*>(ProgressBar1), static_cast<QWidget*>(cmdCancel)}) {
        QSizePolicy policy = widget->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        widget->setSizePolicy(policy);
    }
    setProgressVisible(false);

    m_slowTimer = new QTimer(this);
    m_slowTimer->setSingleShot(true);
    m_slowTimer->setInterval(kProgressDelayMs);
    connect(m_slowTimer, &QTimer::timeout, this, [this] {
        if (m_runner.isBusy())
            setProgressVisible(true);
    });
    connect(cmdOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &FrmHash::reject);
    m_runner.setControls({cmdOk});
}

void FrmHash::load(const QString& path)
{
    m_path = path;
    m_computed = false;
    txtFile->setText(path);
    txtFile->setToolTip(path);
    // Long paths show their end, where the file name is.
    txtFile->setCursorPosition(static_cast<int>(path.size()));
    txtSHA->clear();
    txtMD5->clear();
}

void FrmHash::computeValues()
{
    if (m_runner.isBusy())
        return;
    m_computed = true;
    m_cancel = false;
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    m_slowTimer->start();
    const auto progress = zqvgui::postingTo(this, [this](int percent) {
        // A busy bar where the size says nothing, never 100 % while reading goes on.
        if (percent == kUnknownProgress) {
            ProgressBar1->setRange(0, 0);
            return;
        }
        ProgressBar1->setRange(0, 100);
        ProgressBar1->setValue(percent);
    });
    HashValues values;
    const QString path = m_path;
    m_runner.run([&] { values = computeHashValues(path, CryptoCtrl, *m_md5, progress, m_cancel); });
    m_slowTimer->stop();
    setProgressVisible(false);
    if (values.cancelled || m_closeWhenDone) {
        m_closeWhenDone = false;
        QDialog::reject();
        return;
    }
    txtSHA->setText(values.sha);
    txtMD5->setText(values.md5);
    txtSHA->setCursorPosition(0);
    cmdOk->setFocus();
}

void FrmHash::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Once the window is on the screen, so the user sees the progress.
    if (!m_computed && !m_path.isEmpty())
        QTimer::singleShot(0, this, &FrmHash::computeValues);
}

void FrmHash::reject()
{
    if (m_runner.isBusy()) {
        m_cancel = true;
        m_closeWhenDone = true;
        return;
    }
    QDialog::reject();
}

void FrmHash::closeEvent(QCloseEvent* event)
{
    if (m_runner.isBusy()) {
        m_cancel = true;
        m_closeWhenDone = true;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void FrmHash::setProgressVisible(bool visible)
{
    ProgressBar1->setVisible(visible);
    cmdCancel->setVisible(visible);
}

} // namespace zqvtools
