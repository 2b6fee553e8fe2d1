#pragma once

#include "charts/customranges.h"
#include "device/channels.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class ChartView;
class LiveChart;
class ReadingLog;
class customcoordinates;
class QGridLayout;
class QPushButton;
class QTableView;
class QWidget;

// The live chart of the display page: the chart of the live run and the view
// it is drawn in, the custom ranges window, the curve groups, the chart's
// title, the display modes and the table of curve colours and widths.
class LiveChartController : public QObject
{
    Q_OBJECT
public:
    // `now` is the run's timeline in ms; the chart starts at its present.
    // The display page's widgets the controller fills and follows.
    struct Page {
        QGridLayout *chartArea;   // where the chart view goes
        QPushButton *dpDm;        // the curve-group buttons
        QPushButton *cc;
        QPushButton *temp;
        QPushButton *title;
        QWidget *tableArea;       // what the curve style table is placed over
    };
    LiveChartController(const Page &page, const ReadingLog &log, std::function<qint64()> now, QWidget *window);
    ~LiveChartController() override;

    LiveChart *live() const { return m_live.get(); }
    ChartView *view() const { return m_view; }
    // The fixed ranges (loaded from the settings at the start).
    const CustomRanges &ranges() const { return m_ranges; }
    // The custom ranges window, made when first needed.
    customcoordinates *customAxis();
    // Closes the custom ranges window, if there is one.
    void closeCustomAxis();
    QTableView *curveTable() const;
    // The chart on show (the live one unless told otherwise): the curve
    // groups switch it.
    void setShownChart(std::function<LiveChart *()> shown) { m_shown = std::move(shown); }

    void toggleGroup(CurveGroup group);
    void editTitle();
    // The custom ranges window, shown centred on the window, or hidden.
    void toggleCustomAxis();
    // The curve style table, a new one in place of the last.
    void openCurveTable();
    // The chart's colour theme, kept for the next start.
    void chooseTheme(int index);

private:
    void closeCurveTable();
    void chooseCurveColor(int channel, QWidget *swatch);
    void chooseCurveWidth(int channel, int choice);

    Page m_page;
    QWidget *m_window;
    std::function<qint64()> m_now;
    std::function<LiveChart *()> m_shown;
    CustomRanges m_ranges;
    customcoordinates *m_custom = nullptr;
    std::unique_ptr<LiveChart> m_live;
    ChartView *m_view = nullptr;
    bool m_curveTableOpen = false;
    QPointer<QTableView> m_curveTable;
};
