#pragma once

#include <QHeaderView>
#include <QPixmap>

namespace zqvshell {

// How the window uses it: never directly; FileListView::header() is one, and the
// window connects its sectionClicked to ColumnClick.

// The details view's header: draws one arrow beside one caption, after the
// caption in left-aligned columns and before it in right-aligned ones. Qt's
// own sort indicator stays hidden. cLVHeaderSortIcons decides what it shows.
class SortArrowHeader : public QHeaderView
{
    Q_OBJECT
public:
    explicit SortArrowHeader(QWidget* parent = nullptr);

    void setArrow(int column, const QPixmap& arrow);
    void clearArrow();
    [[nodiscard]] int arrowColumn() const { return m_column; }
    [[nodiscard]] const QPixmap& arrow() const { return m_arrow; }
    // Where the arrow goes in a section, in header coordinates; empty when
    // the section shows none.
    [[nodiscard]] QRect arrowRect(int logicalIndex) const;
    // Where the caption's text is drawn, in header coordinates.
    [[nodiscard]] QRect captionRect(int logicalIndex) const;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    QSize sectionSizeFromContents(int logicalIndex) const override;

private:
    [[nodiscard]] Qt::Alignment sectionAlignment(int logicalIndex) const;
    [[nodiscard]] QRect arrowRectIn(const QRect& section, int logicalIndex) const;
    [[nodiscard]] QRect captionRectIn(const QRect& section, int logicalIndex) const;

    int m_column = -1;
    QPixmap m_arrow;
};

} // namespace zqvshell
