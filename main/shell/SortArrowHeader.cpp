#include "SortArrowHeader.h"

#include <QPainter>
#include <QStyle>

namespace zqvshell {

namespace {

constexpr int kGap = 4;

} // namespace

SortArrowHeader::SortArrowHeader(QWidget* parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setSortIndicatorShown(false);
    setSectionsClickable(true);
    setHighlightSections(false);
}

void SortArrowHeader::setArrow(int column, const QPixmap& arrow)
{
    m_column = column;
    m_arrow = arrow;
    viewport()->update();
}

void SortArrowHeader::clearArrow()
{
    m_column = -1;
    m_arrow = QPixmap();
    viewport()->update();
}

Qt::Alignment SortArrowHeader::sectionAlignment(int logicalIndex) const
{
    if (model() == nullptr) {
        return Qt::AlignLeft;
    }
    const QVariant value = model()->headerData(logicalIndex, orientation(), Qt::TextAlignmentRole);
    const auto alignment = value.isValid() ? Qt::Alignment(value.toInt()) : defaultAlignment();
    return (alignment & Qt::AlignRight) ? Qt::AlignRight : Qt::AlignLeft;
}

QRect SortArrowHeader::captionRectIn(const QRect& section, int logicalIndex) const
{
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
    const QString caption =
        model() != nullptr ? model()->headerData(logicalIndex, orientation()).toString() : QString();
    const int width = fontMetrics().horizontalAdvance(caption);
    const QRect inner = section.adjusted(margin, 0, -margin, 0);
    if (sectionAlignment(logicalIndex) & Qt::AlignRight) {
        return QRect(inner.right() - width + 1, inner.top(), width, inner.height());
    }
    return QRect(inner.left(), inner.top(), width, inner.height());
}

QRect SortArrowHeader::arrowRectIn(const QRect& section, int logicalIndex) const
{
    if (logicalIndex != m_column || m_arrow.isNull()) {
        return {};
    }
    const QSize size = m_arrow.deviceIndependentSize().toSize();
    const QRect caption = captionRectIn(section, logicalIndex);
    const int top = section.top() + (section.height() - size.height()) / 2;
    const int left = (sectionAlignment(logicalIndex) & Qt::AlignRight) ? caption.left() - kGap - size.width()
                                                                       : caption.right() + 1 + kGap;
    return QRect(QPoint(left, top), size).intersected(section);
}

QRect SortArrowHeader::arrowRect(int logicalIndex) const
{
    const QRect section(sectionViewportPosition(logicalIndex), 0, sectionSize(logicalIndex), height());
    return arrowRectIn(section, logicalIndex);
}

QRect SortArrowHeader::captionRect(int logicalIndex) const
{
    const QRect section(sectionViewportPosition(logicalIndex), 0, sectionSize(logicalIndex), height());
    return captionRectIn(section, logicalIndex);
}

void SortArrowHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    QHeaderView::paintSection(painter, rect, logicalIndex);
    const QRect target = arrowRectIn(rect, logicalIndex);
    if (!target.isEmpty()) {
        painter->save();
        painter->setClipRect(rect);
        painter->drawPixmap(target.topLeft(), m_arrow);
        painter->restore();
    }
}

QSize SortArrowHeader::sectionSizeFromContents(int logicalIndex) const
{
    QSize size = QHeaderView::sectionSizeFromContents(logicalIndex);
    if (!m_arrow.isNull()) {
        size.setHeight(qMax(size.height(), m_arrow.deviceIndependentSize().toSize().height() + 4));
    }
    return size;
}

} // namespace zqvshell
