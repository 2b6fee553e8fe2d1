#pragma once

#include "report/runcomparison.h"

#include <QVector>
#include <QWidget>

#include <functional>

namespace QtCharts {
class QCategoryAxis;
class QChart;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
} // namespace QtCharts

class ChartView;
class QGraphicsLineItem;
class QGraphicsSimpleTextItem;
class MeasureCursors;
class QComboBox;
class QLabel;
class QPushButton;
class QSplitter;
class QTableWidget;
class RunJournal;

// Runs of the history side by side: one curve of the chosen channel per run
// on a shared axis of time since each run's start (or a mark), zoom, pan and
// read-out as on the live chart, the table of each run's figures and their
// difference from the first run's, cursors A and B at the same times since
// start for every run with each run's figures between them, and the
// comparison saved as PNG, CSV or a report.
class CompareWindow : public QWidget
{
    Q_OBJECT
public:
    // The runs in the order given (the first is the one the others are
    // measured against). isLoaded() is false, with the reason in error(),
    // when they cannot be read.
    CompareWindow(RunJournal *journal, const QVector<qint64> &ids, QWidget *owner);
    // A bench: its meters' runs on one clock, named by their roles, with
    // the derived channels and the bench's figures (of the whole bench, or
    // between the cursors); its report is the bench's.
    CompareWindow(RunJournal *journal, const JournalBench &bench, QWidget *owner);
    ~CompareWindow() override;

    bool isLoaded() const { return m_loaded; }
    QString error() const { return m_error; }

    RunComparison &comparison() { return m_model; }
    ChartView *view() const { return m_view; }
    QtCharts::QChart *chart() const { return m_chart; }
    QtCharts::QDateTimeAxis *axisX() const { return m_axisX; }
    // The run's curve in the legend, which draws its first stretch between
    // gaps; each further stretch is a piece of its own.
    QtCharts::QLineSeries *series(int run) const { return m_series.value(run).value(0); }
    QComboBox *channelBox() const { return m_channel; }
    QComboBox *alignBox() const { return m_align; }
    // The marks' lines and labels on the chart: run, line, label.
    int markItems() const { return m_marks.size(); }
    QGraphicsLineItem *markLine(int k) const { return m_marks[k].line; }
    QGraphicsSimpleTextItem *markLabel(int k) const { return m_marks[k].label; }
    QPushButton *measureButton() const { return m_measure; }
    QPushButton *pngButton() const { return m_png; }
    QPushButton *csvButton() const { return m_csv; }
    QPushButton *reportButton() const { return m_report; }
    QTableWidget *table() const { return m_table; }
    QTableWidget *intervalTable() const { return m_intervals; }
    // A bench's figures (Bench::FigureRow's rows); null for runs.
    QTableWidget *benchTable() const { return m_benchTable; }
    MeasureCursors *cursors() const { return m_cursors; }

    // The chart's time axis holds times since start moved onto this moment
    // (local midnight of a fixed winter day), so its clock reads elapsed time.
    static qint64 axisBase();
    // The read-out at a time of the axis: the time since start and each
    // run's value there.
    QString hoverText(qint64 axisMs) const;

    // The time axis over every run, and the value axis over what it shows.
    void showAll();
    // The time axis over a range of times since start, the curves drawn for
    // it and the value axis over what they show.
    void showRange(qint64 fromMs, qint64 toMs);

    // The interval table's rows.
    enum IntervalRow { FromTo, IntervalDuration, IntervalRecords, IntervalCharge, IntervalEnergy, IntervalVbus,
                       IntervalIbus, IntervalPower, IntervalRowCount };

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // The window over what `load` puts into its comparison.
    CompareWindow(RunJournal *journal, QWidget *owner, const std::function<bool(RunComparison &, QString *)> &load);
    void retranslate();
    void updateBenchFigures();
    void fillTable();
    void redraw();
    // One more series for a stretch of the run's curve.
    void addPiece(int run);
    void updateTimeLabels();
    // The runs' marks as labelled vertical lines in their runs' colours.
    void placeMarks();
    void updateIntervals();
    // The tables as tall as their rows, where the chart keeps its least
    // height beside them; the chart takes the rest.
    void fitTables();
    // The tables at the height they keep, less where the chart would have
    // less than its least height; the chart takes the rest.
    void placeSplit();
    // Opens within the screen's free area.
    void fitScreen();
    void channelChosen(int channel);
    void alignChosen(int index);
    void savePng();
    void saveCsv();
    void saveReport();

    RunJournal *m_journal;
    RunComparison m_model;
    bool m_loaded = false;
    QString m_error;

    QComboBox *m_channel = nullptr;
    QComboBox *m_align = nullptr;
    QLabel *m_channelLabel = nullptr;
    QLabel *m_alignLabel = nullptr;
    QPushButton *m_measure = nullptr;
    QPushButton *m_png = nullptr;
    QPushButton *m_csv = nullptr;
    QPushButton *m_report = nullptr;
    ChartView *m_view = nullptr;
    QtCharts::QChart *m_chart = nullptr;
    QtCharts::QDateTimeAxis *m_axisX = nullptr;
    QtCharts::QCategoryAxis *m_timeLabels = nullptr;
    QtCharts::QValueAxis *m_axisY = nullptr;
    // Per run the series of its stretches between gaps, the first in the
    // legend; the first m_pieces[run] of them hold points.
    QVector<QVector<QtCharts::QLineSeries *>> m_series;
    QVector<int> m_pieces;
    QSplitter *m_split = nullptr;
    QWidget *m_tables = nullptr;
    bool m_fitted = false;
    int m_tablesHeight = -1;   // the tables' height a resize keeps
    MeasureCursors *m_cursors = nullptr;
    QTableWidget *m_table = nullptr;
    QTableWidget *m_intervals = nullptr;
    QTableWidget *m_benchTable = nullptr;
    bool m_redrawing = false;
    bool m_redrawPending = false;
    struct MarkItem {
        int run;
        RunMark mark;
        QGraphicsLineItem *line;
        QGraphicsSimpleTextItem *label;
    };
    QVector<MarkItem> m_marks;
};
