#include "frmSplash.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace zqvtools {

frmSplash::frmSplash(std::function<void()> loadMainWindow, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
    , m_loadMainWindow(std::move(loadMainWindow))
    , m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_DeleteOnClose, false);

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    auto* picture = new QLabel(frame);
    picture->setObjectName(QStringLiteral("Image1"));
    picture->setPixmap(QPixmap(QStringLiteral(":/zqv/zqv-64.png")));
    auto* name = new QLabel(QStringLiteral("ZQV"), frame);
    name->setObjectName(QStringLiteral("Label4"));
    QFont nameFont(QStringLiteral("Trebuchet MS"));
    nameFont.setStyleHint(QFont::SansSerif);
    nameFont.setPointSize(32);
    nameFont.setBold(true);
    name->setFont(nameFont);
    auto* slogan = new QLabel(QStringLiteral("Your files, for your eyes only."), frame);
    slogan->setObjectName(QStringLiteral("Label1"));
    auto* product = new QLabel(QStringLiteral("Cryptelle file protection"), frame);
    product->setObjectName(QStringLiteral("Label2"));

    auto* text = new QVBoxLayout;
    text->addWidget(name);
    text->addWidget(product);
    text->addWidget(slogan);
    auto* inner = new QHBoxLayout(frame);
    inner->setContentsMargins(24, 24, 32, 24);
    inner->addWidget(picture, 0, Qt::AlignVCenter);
    inner->addSpacing(16);
    inner->addLayout(text);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);

    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(2500);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &QWidget::close);
}

void frmSplash::Form_Load()
{
    adjustSize();
    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    m_timer->start();
    if (m_loadMainWindow)
        m_loadMainWindow();
    raise(); // over the main window until the tick
}

} // namespace zqvtools
