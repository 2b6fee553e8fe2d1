#pragma once

#include <QtCharts/QChartView>

#include <functional>

class QGraphicsItem;
class QGraphicsLineItem;
class QGraphicsSimpleTextItem;

// Set while the user holds the chart's time axis (after a pan or a wheel
// step); a right click gives it back to the chart's own following.
extern bool viewHeld;

// The view of the live chart: drag with the left button to pan the time
// axis, turn the wheel to zoom it around the cursor (not while Ctrl is held),
// right click to let the chart follow the run again. Moving the mouse over
// the plot shows the time under the cursor and the curves' values there, in
// the colour of the axis labels so it reads on every theme; it follows the
// chart when that moves under a still cursor.
class ChartView : public QtCharts::QChartView
{
    Q_OBJECT
public:
    // Text of the read-out for a time (ms since the epoch); empty for none.
    using HoverText = std::function<QString(qint64 msecsSinceEpoch)>;

    explicit ChartView(QWidget *parent = nullptr);
    ChartView(QtCharts::QChart *chart, QWidget *parent = nullptr);

    void setHoverText(HoverText text) { m_hoverText = std::move(text); }
    // Moves the time axis to a range (ms since the epoch) for a wheel step
    // or a drag: a chart that redraws its curves for the range does it in
    // one pass. Without one, the chart zooms and scrolls its axes itself.
    using TimeRange = std::function<void(qint64 min, qint64 max)>;
    void setTimeRange(TimeRange apply) { m_timeRange = std::move(apply); }
    // Another chart in the view, with the read-out and its text: the
    // read-out's items go over to it, empty until the cursor moves.
    void showChart(QtCharts::QChart *chart, HoverText text);
    QGraphicsSimpleTextItem *hoverItem() const { return m_hoverItem; }
    QGraphicsLineItem *hoverLine() const { return m_hoverLine; }

public slots:
    // The read-out again at the cursor, after the chart moved beneath it.
    void refreshHover();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void showHover(const QPoint &pos);
    void keepStillItems(QGraphicsItem *item);

    QPoint m_lastPos;
    // Where the cursor is over the view, while it is.
    QPoint m_cursorPos;
    bool m_cursorInside = false;
    bool m_leftPressed = false;
    bool m_ctrlPressed = false;
    QGraphicsSimpleTextItem *m_hoverItem = nullptr;
    QGraphicsLineItem *m_hoverLine = nullptr;
    HoverText m_hoverText;
    TimeRange m_timeRange;
};
