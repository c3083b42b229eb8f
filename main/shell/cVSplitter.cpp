#include "cVSplitter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRubberBand>
#include <QStyle>
#include <QWidget>
#include <cmath>

namespace zqvshell {

cVSplitter::cVSplitter(QObject* parent)
    : QObject(parent)
{
}

cVSplitter::~cVSplitter()
{
    if (m_dragging) {
        qApp->removeEventFilter(this);
    }
    delete m_outline;
}

bool cVSplitter::SetControls(QWidget* frm, QWidget* c1, QWidget* c2, QWidget* fra)
{
    if (frm == nullptr || c1 == nullptr || c2 == nullptr || fra == nullptr) {
        return false;
    }
    if (m_host != frm) {
        if (m_host != nullptr) {
            m_host->removeEventFilter(this);
        }
        frm->installEventFilter(this);
    }
    if (m_bar != fra) {
        if (m_bar != nullptr) {
            m_bar->removeEventFilter(this);
        }
        fra->installEventFilter(this);
    }
    m_host = frm;
    m_leftPane = c1;
    m_rightPane = c2;
    m_bar = fra;
    m_bar->setCursor(Qt::SplitHCursor);
    m_bar->raise();
    computeMetrics();
    return true;
}

void cVSplitter::computeMetrics()
{
    const QStyle* style = m_host->style();
    const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, m_host);
    if (m_barWidth == 0) {
        m_barWidth = qMax(4, style->pixelMetric(QStyle::PM_SplitterWidth, nullptr, m_host));
    }
    // Qt panes draw their frame inside their own rectangle: no overlap.
    m_borderOverlap = 0;
    // The narrowest a window may be (about eight scroll bars wide), shared by
    // the two panes and what lies between them.
    const int narrowestWindow = 8 * style->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_host);
    m_minimumPane = (narrowestWindow - (2 * frame + m_barWidth)) / 2;
}

void cVSplitter::setLeft(int X)
{
    if (X < 0) {
        return;
    }
    if (m_bar != nullptr) {
        m_bar->move(X, m_bar->y());
    }
    layout();
}

void cVSplitter::setWidth(int cx)
{
    if (cx <= 0) {
        return;
    }
    m_barWidth = qMin(cx, 255);
    layout();
}

void cVSplitter::setTop(int Y)
{
    if (Y < 0) {
        return;
    }
    m_top = Y;
    layout();
}

void cVSplitter::setHeightOffset(int cy)
{
    if (cy < 0) {
        return;
    }
    m_heightOffset = cy;
    layout();
}

int cVSplitter::clamp(int x) const
{
    x = qMax(x, m_minimumPane);
    return qMin(x, m_clientWidth - (m_barWidth + m_minimumPane));
}

bool cVSplitter::hostMinimized() const
{
    return m_host->window()->isMinimized();
}

void cVSplitter::layout()
{
    if (m_host == nullptr || m_bar == nullptr || hostMinimized()) {
        return;
    }
    const QRect client = m_host->rect();
    if (m_ratio <= 0) {
        if (m_left == 0) {
            m_left = m_bar->x();
        }
        if (m_referenceWidth == 0) {
            m_referenceWidth = client.width();
        }
        m_ratio = m_referenceWidth > 0 ? static_cast<double>(m_left) / m_referenceWidth : 0;
    }
    m_clientWidth = client.width();
    m_paneBottom = client.height() - m_heightOffset;
    if (m_paneBottom < m_top) {
        return;
    }
    if (m_ratio <= 0) {
        // No position given yet: lay out at the left limit but record none,
        // so the first real position still sets the ratio.
        m_referenceWidth = 0;
        movePanes(clamp(0));
        return;
    }
    // Halves to even, as the default rounding mode does.
    m_left = clamp(static_cast<int>(std::nearbyint(m_ratio * m_clientWidth)));
    movePanes(m_left);
}

void cVSplitter::movePanes(int position)
{
    if (m_leftPane == nullptr || m_rightPane == nullptr || m_bar == nullptr) {
        return;
    }
    const int height = m_paneBottom - m_top;
    const QRect right(position + m_barWidth - m_borderOverlap,
                      m_top,
                      m_clientWidth - (position + m_barWidth) + m_borderOverlap,
                      height);
    const QRect left(0, m_top, position + m_borderOverlap, height);
    // The pane that shrinks moves first, so the panes never overlap.
    const bool movingRight = position >= m_lastMovedLeft;
    QWidget* first = movingRight ? m_rightPane.data() : m_leftPane.data();
    QWidget* second = movingRight ? m_leftPane.data() : m_rightPane.data();
    first->setGeometry(movingRight ? right : left);
    m_bar->setGeometry(position, m_top, m_barWidth, height);
    second->setGeometry(movingRight ? left : right);
    m_lastMovedLeft = position;
}

QRect cVSplitter::outlineRect() const
{
    return QRect(m_left, m_top, m_barWidth, m_paneBottom - m_top);
}

void cVSplitter::showOutline()
{
    if (m_outline == nullptr) {
        m_outline = new QRubberBand(QRubberBand::Line, m_host);
    }
    m_outline->setGeometry(outlineRect());
    m_outline->show();
    m_outline->raise();
}

void cVSplitter::endDrag()
{
    m_dragging = false;
    qApp->removeEventFilter(this);
    if (m_outline != nullptr) {
        m_outline->hide();
    }
}

void cVSplitter::CancelSplit()
{
    if (!m_dragging) {
        return;
    }
    endDrag();
    // Either way the panes end where they were before the drag, and so does
    // the recorded position the next layout starts from.
    m_left = m_savedLeft;
    if (m_track) {
        movePanes(m_left);
    }
}

bool cVSplitter::eventFilter(QObject* watched, QEvent* event)
{
    if (m_dragging && (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        if (event->type() == QEvent::KeyPress) {
            CancelSplit();
        }
        event->accept();
        return true;
    }
    if (watched == m_host) {
        if ((event->type() == QEvent::Resize || event->type() == QEvent::WindowStateChange) && !hostMinimized()) {
            layout();
        }
        return false;
    }
    if (watched != m_bar || m_host == nullptr) {
        return false;
    }
    const auto hostX = [this](const QMouseEvent* mouse) {
        return m_bar->mapTo(m_host, mouse->position().toPoint()).x();
    };
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || m_dragging) {
            return false;
        }
        m_dragging = true;
        qApp->installEventFilter(this);
        m_referenceWidth = m_host->width();
        m_ratio = 0;
        m_savedLeft = m_left;
        m_clientWidth = m_host->width();
        m_paneBottom = m_host->height() - m_heightOffset;
        m_left = clamp(hostX(mouse));
        if (!m_track) {
            showOutline();
        }
        return true;
    }
    case QEvent::MouseMove: {
        if (!m_dragging) {
            return false;
        }
        m_left = clamp(hostX(static_cast<QMouseEvent*>(event)));
        if (m_track) {
            movePanes(m_left);
        } else {
            showOutline();
        }
        return true;
    }
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || !m_dragging) {
            return false;
        }
        endDrag();
        m_left = clamp(hostX(mouse));
        movePanes(m_left);
        return true;
    }
    default:
        return false;
    }
}

} // namespace zqvshell
