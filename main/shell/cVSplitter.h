#pragma once

#include <QObject>
#include <QPointer>

class QRubberBand;
class QWidget;

namespace zqvshell {

// A vertical splitter bar between a left and a right pane of one host
// widget. Dragging the bar with the left button moves the panes live, or
// moves an outline that places them on release; Esc cancels a drag (and is
// swallowed). When the host is resized the bar keeps its place as a fraction
// of the host's width, re-taken after each drag, within limits that keep both
// panes at least minimumPane() wide. Nothing is laid out while the host is
// minimized or shorter than Top + HeightOffset. All values are host pixels.
//
// How the window uses it: keep one; each time it lays out the queue pane call
// SetControls(this, TreeView1, ListView1, Frame1), setTop(24),
// setHeightOffset(125 or 0), setLeft(...) on first use, setTrackSplit(true).
// The splitter then follows the host's resizes by itself.
class cVSplitter : public QObject
{
    Q_OBJECT
public:
    explicit cVSplitter(QObject* parent = nullptr);
    ~cVSplitter() override;

    // False, binding nothing, unless host, both panes and bar are given.
    bool SetControls(QWidget* frm, QWidget* c1, QWidget* c2, QWidget* fra);

    [[nodiscard]] int Left() const { return m_left; }
    void setLeft(int X);
    [[nodiscard]] int Width() const { return m_barWidth; }
    void setWidth(int cx);
    [[nodiscard]] int Top() const { return m_top; }
    void setTop(int Y);
    [[nodiscard]] int HeightOffset() const { return m_heightOffset; }
    void setHeightOffset(int cy);
    [[nodiscard]] bool Splitting() const { return m_dragging; }
    [[nodiscard]] bool TrackSplit() const { return m_track; }
    void setTrackSplit(bool fTrackSplit) { m_track = fTrackSplit; }
    // Ends a drag without applying it: the panes stay (or go back) where they
    // were before it.
    void CancelSplit();

    [[nodiscard]] int minimumPane() const { return m_minimumPane; }
    [[nodiscard]] double ratio() const { return m_ratio; }
    // Where the outline of an outline-mode drag stands (host coordinates).
    [[nodiscard]] QRect outlineRect() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void computeMetrics();
    [[nodiscard]] int clamp(int x) const;
    void layout();
    void movePanes(int position);
    void showOutline();
    void endDrag();
    [[nodiscard]] bool hostMinimized() const;

    QPointer<QWidget> m_host;
    QPointer<QWidget> m_leftPane;
    QPointer<QWidget> m_rightPane;
    QPointer<QWidget> m_bar;
    QRubberBand* m_outline = nullptr;
    int m_minimumPane = 0;
    int m_borderOverlap = 0;
    int m_heightOffset = 0;
    int m_barWidth = 0;
    int m_left = 0;
    int m_top = 0;
    int m_clientWidth = 0;
    int m_paneBottom = 0;
    int m_referenceWidth = 0;
    double m_ratio = 0;
    bool m_track = false;
    int m_savedLeft = 0;
    bool m_dragging = false;
    int m_lastMovedLeft = 0;
};

} // namespace zqvshell
