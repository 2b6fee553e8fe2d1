#include "ui/comparewindow.h"

#include "base/timetext.h"
#include "charts/chartview.h"
#include "charts/livechart.h"
#include "charts/measurecursors.h"
#include "device/channels.h"
#include "ui/prompts.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QEvent>
#include <QGraphicsLineItem>
#include <QGraphicsSimpleTextItem>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QScreen>
#include <QStyle>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <cmath>

QT_CHARTS_USE_NAMESPACE

namespace {

// The list a combo box opens as wide as its items ask to be drawn whole: the
// style draws them as menu entries, wider than the box itself.
void fitList(QComboBox *box)
{
    QAbstractItemView *list = box->view();
    const int scrollBar = box->count() > box->maxVisibleItems() ? list->verticalScrollBar()->sizeHint().width() : 0;
    list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() + scrollBar);
}

} // namespace

qint64 CompareWindow::axisBase()
{
    return QDateTime(QDate(2000, 1, 3), QTime(0, 0)).toMSecsSinceEpoch();
}

CompareWindow::CompareWindow(RunJournal *journal, const QVector<qint64> &ids, QWidget *owner)
    : CompareWindow(journal, owner, [&](RunComparison &model, QString *error) { return model.load(journal, ids, error); })
{
}

CompareWindow::CompareWindow(RunJournal *journal, const JournalBench &bench, QWidget *owner)
    : CompareWindow(journal, owner,
                    [&](RunComparison &model, QString *error) { return model.loadBench(journal, bench, error); })
{
}

CompareWindow::CompareWindow(RunJournal *journal, QWidget *owner,
                             const std::function<bool(RunComparison &, QString *)> &load)
    : QWidget(owner, Qt::Window), m_journal(journal)
{
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_DeleteOnClose);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_loaded = load(m_model, &m_error);
    QApplication::restoreOverrideCursor();

    m_channelLabel = new QLabel(this);
    m_channel = new QComboBox(this);
    for (int c = 0; c < kChannelCount + (m_model.hasDerived() ? RunComparison::DerivedCount : 0); ++c)
        m_channel->addItem(RunComparison::channelName(c), c);
    m_alignLabel = new QLabel(this);
    m_align = new QComboBox(this);
    m_measure = new QPushButton(this);
    m_measure->setCheckable(true);
    m_png = new QPushButton(this);
    m_csv = new QPushButton(this);
    m_report = new QPushButton(this);
    auto *bar = new QHBoxLayout;
    bar->addWidget(m_channelLabel);
    bar->addWidget(m_channel);
    bar->addWidget(m_alignLabel);
    bar->addWidget(m_align);
    bar->addWidget(m_measure);
    bar->addStretch();
    for (QPushButton *b : {m_png, m_csv, m_report})
        bar->addWidget(b);

    m_chart = new QChart;
    LiveChart::styleChart(m_chart, -1);
    m_axisX = new QDateTimeAxis;
    m_axisX->setFormat(QStringLiteral("hh:mm:ss"));
    // The axis the view zooms and pans; its labels would read as a clock,
    // so the elapsed time is labelled by an axis of its own.
    m_axisX->setLabelsVisible(false);
    m_axisX->setGridLineVisible(false);
    m_axisY = new QValueAxis;
    m_timeLabels = new QCategoryAxis;
    m_timeLabels->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_chart->addAxis(m_axisX, Qt::AlignBottom);
    m_chart->addAxis(m_timeLabels, Qt::AlignBottom);
    m_chart->addAxis(m_axisY, Qt::AlignLeft);
    m_series.resize(m_model.curves());
    m_pieces.fill(0, m_model.curves());
    for (int i = 0; i < m_model.count(); ++i)
        addPiece(i);
    for (int i = 0; i < m_model.count(); ++i) {
        for (const RunMark &mark : m_model.run(i).marks) {
            auto *line = new QGraphicsLineItem(m_chart);
            line->setPen(QPen(RunComparison::colour(i), 1, Qt::DashLine));
            line->setZValue(4);
            auto *label = new QGraphicsSimpleTextItem(mark.name, m_chart);
            label->setBrush(RunComparison::colour(i));
            label->setZValue(4);
            m_marks << MarkItem{i, mark, line, label};
        }
    }
    m_view = new ChartView(m_chart, this);
    m_view->setHoverText([this](qint64 ms) { return hoverText(ms); });
    m_view->setTimeRange([this](qint64 min, qint64 max) { showRange(min - axisBase(), max - axisBase()); });
    m_cursors = new MeasureCursors(m_view);

    m_table = new QTableWidget(RunComparison::FigureCount, m_model.count(), this);
    m_intervals = new QTableWidget(IntervalRowCount, m_model.count(), this);
    if (m_model.hasDerived())
        m_benchTable = new QTableWidget(Bench::FigureRowCount, 1, this);
    for (QTableWidget *t : {m_table, m_intervals, m_benchTable}) {
        if (!t)
            continue;
        t->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
        // Rows as tall as their text, so more of them fit beside the chart.
        t->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
        t->setSelectionMode(QAbstractItemView::NoSelection);
    }
    m_intervals->hide();

    // The chart takes what the tables leave, and what a larger window gives.
    m_split = new QSplitter(Qt::Vertical, this);
    m_split->setChildrenCollapsible(false);
    m_split->addWidget(m_view);
    m_tables = new QWidget(m_split);
    auto *tl = new QVBoxLayout(m_tables);
    tl->setContentsMargins(0, 0, 0, 0);
    tl->addWidget(m_table);
    tl->addWidget(m_intervals);
    if (m_benchTable)
        tl->addWidget(m_benchTable);
    m_split->addWidget(m_tables);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_split, 1);
    // The tables keep the height they are dragged to; a larger or smaller
    // window changes the chart's.
    connect(m_split, &QSplitter::splitterMoved, this, [this] { m_tablesHeight = m_tables->height(); });

    // The view moves the axis through showRange(); anything else that moves
    // it gets the curves redrawn after it.
    connect(m_axisX, &QDateTimeAxis::rangeChanged, this, [this] { redraw(); });
    // The plot area changes several times while the window is laid out: one
    // redraw once it has settled.
    connect(m_chart, &QChart::plotAreaChanged, this, [this] {
        if (m_redrawPending)
            return;
        m_redrawPending = true;
        QTimer::singleShot(0, this, [this] {
            m_redrawPending = false;
            redraw();
        });
    });
    connect(m_channel, QOverload<int>::of(&QComboBox::activated), this, &CompareWindow::channelChosen);
    connect(m_align, QOverload<int>::of(&QComboBox::activated), this, &CompareWindow::alignChosen);
    connect(m_measure, &QPushButton::toggled, this, [this](bool on) {
        m_cursors->setActive(on);
        updateIntervals();
    });
    connect(m_cursors, &MeasureCursors::changed, this, &CompareWindow::updateIntervals);
    connect(m_png, &QPushButton::clicked, this, &CompareWindow::savePng);
    connect(m_csv, &QPushButton::clicked, this, &CompareWindow::saveCsv);
    connect(m_report, &QPushButton::clicked, this, &CompareWindow::saveReport);

    retranslate();
    fillTable();
    showAll();
}

CompareWindow::~CompareWindow() = default;

void CompareWindow::showAll()
{
    qint64 from = m_model.beginMs(), to = m_model.endMs();
    // Whole seconds, as the view zooms.
    from = qint64(std::floor(from / 1000.0)) * 1000;
    to = std::max<qint64>(qint64(std::ceil(to / 1000.0)) * 1000, from + 10000);
    showRange(from, to);
}

void CompareWindow::redraw()
{
    const qint64 base = axisBase();
    showRange(m_axisX->min().toMSecsSinceEpoch() - base, m_axisX->max().toMSecsSinceEpoch() - base);
}

void CompareWindow::addPiece(int run)
{
    auto *s = new QLineSeries(m_chart);
    s->setName(m_model.runName(run));
    // One pixel wide: drawn without the stroker a wider pen needs.
    s->setPen(QPen(RunComparison::colour(run), 1));
    m_chart->addSeries(s);
    s->attachAxis(m_axisX);
    s->attachAxis(m_axisY);
    if (!m_series[run].isEmpty()) {
        for (QLegendMarker *marker : m_chart->legend()->markers(s))
            marker->setVisible(false);
    }
    m_series[run] << s;
}

void CompareWindow::showRange(qint64 from, qint64 to)
{
    if (m_redrawing || !m_loaded)
        return;
    m_redrawing = true;
    const qint64 base = axisBase();
    const int columns = std::max(1, int(m_chart->plotArea().width()));
    double lo = 0, hi = 0;
    bool any = false;
    int drawn = 0;
    std::vector<std::vector<QVector<QPointF>>> pieces(size_t(m_model.curves()));
    for (int i = 0; i < m_model.curves(); ++i) {
        pieces[size_t(i)] = m_model.pieces(i, from, to, columns);
        for (QVector<QPointF> &pts : pieces[size_t(i)]) {
            drawn += pts.size();
            for (QPointF &p : pts) {
                if (p.x() >= from && p.x() <= to) {
                    lo = any ? std::min(lo, p.y()) : p.y();
                    hi = any ? std::max(hi, p.y()) : p.y();
                    any = true;
                }
                p.setX(p.x() + double(base));
            }
        }
    }
    // Smooth edges while the curves are sparse; dense ones (each column's
    // minimum and maximum of many runs) are drawn without, which keeps a
    // zoom or pan step quick.
    const bool dense = drawn > 4 * columns;
    m_view->setRenderHint(QPainter::Antialiasing, !dense);
    if (!any || hi - lo < 1e-9) {
        lo -= 0.5;
        hi += 0.5;
    }
    // Qt Charts lays out a curve's points again whenever an axis it is on
    // moves: the curves are emptied before the axes move and filled after,
    // so each step lays out every point once, for the new ranges.
    for (int i = 0; i < m_model.curves(); ++i) {
        for (int k = 0; k < m_pieces[i]; ++k)
            m_series[i][k]->replace(QVector<QPointF>());
    }
    m_axisX->setRange(QDateTime::fromMSecsSinceEpoch(base + from), QDateTime::fromMSecsSinceEpoch(base + to));
    // Round steps of 1, 2 or 5 times a power of ten, about five of them.
    const double raw = (hi - lo) / 5.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double step = raw <= power ? power : raw <= 2 * power ? 2 * power : raw <= 5 * power ? 5 * power : 10 * power;
    const double bottom = std::floor(lo / step) * step, top = std::ceil(hi / step) * step;
    m_axisY->setTickCount(int(std::lround((top - bottom) / step)) + 1);
    m_axisY->setRange(bottom, top);
    // Dense curves need no more points than the plot's pixel rows tell apart.
    const double rowValue = (top - bottom) / std::max(1.0, m_chart->plotArea().height());
    for (int i = 0; i < m_model.curves(); ++i) {
        std::vector<QVector<QPointF>> &runPieces = pieces[size_t(i)];
        if (dense) {
            for (QVector<QPointF> &pts : runPieces)
                pts = withinRow(pts, rowValue);
        }
        while (m_series[i].size() < int(runPieces.size()))
            addPiece(i);
        for (int k = 0; k < int(runPieces.size()); ++k)
            m_series[i][k]->replace(runPieces[size_t(k)]);
        m_pieces[i] = int(runPieces.size());
        // In the legend while it is on show: a bench's meters, or its pairs.
        if (!m_series[i].isEmpty()) {
            m_series[i][0]->setName(m_model.runName(i));
            for (QLegendMarker *marker : m_chart->legend()->markers(m_series[i][0]))
                marker->setVisible(m_model.curveShown(i));
        }
    }
    m_axisY->setTitleText(RunComparison::channelUnitOf(m_model.channel()));
    updateTimeLabels();
    placeMarks();
    m_redrawing = false;
    m_view->refreshHover();
}

void CompareWindow::updateTimeLabels()
{
    const qint64 base = axisBase();
    const qint64 from = m_axisX->min().toMSecsSinceEpoch() - base;
    const qint64 to = m_axisX->max().toMSecsSinceEpoch() - base;
    // Round steps of seconds, minutes or hours.
    static const qint64 steps[] = {1000, 2000, 5000, 10000, 15000, 30000, 60000, 120000, 300000, 600000, 900000,
                                   1800000, 3600000, 7200000, 10800000, 21600000, 43200000, 86400000};
    qint64 step = steps[sizeof(steps) / sizeof(steps[0]) - 1];
    for (qint64 s : steps) {
        if ((to - from) / s <= 8) {
            step = s;
            break;
        }
    }
    QStringList labels;
    QVector<qint64> at;
    for (qint64 t = (from >= 0 ? (from + step - 1) / step : from / step) * step; t <= to; t += step) {
        labels << TimeText::signedDuration(t);
        at << t;
    }
    m_timeLabels->setRange(double(from), double(to));
    // A pan mostly keeps the labels: they are rebuilt only when they change.
    if (labels == m_timeLabels->categoriesLabels())
        return;
    for (const QString &label : m_timeLabels->categoriesLabels())
        m_timeLabels->remove(label);
    m_timeLabels->setStartValue(double(from));
    for (int k = 0; k < labels.size(); ++k)
        m_timeLabels->append(labels[k], double(at[k]));
}

void CompareWindow::placeMarks()
{
    const QRectF plot = m_chart->plotArea();
    const qint64 base = axisBase();
    const double from = double(m_axisX->min().toMSecsSinceEpoch()), to = double(m_axisX->max().toMSecsSinceEpoch());
    int k = 0;
    for (const MarkItem &m : m_marks) {
        const double t = double(base + m_model.markSinceStart(m.run, m.mark));
        const bool inside = to > from && t >= from && t <= to && plot.width() > 0;
        m.line->setVisible(inside);
        m.label->setVisible(inside);
        if (!inside)
            continue;
        const double x = plot.left() + (t - from) / (to - from) * plot.width();
        m.line->setLine(x, plot.top(), x, plot.bottom());
        // Labels one below the other, so marks close together stay readable.
        m.label->setPos(x + 3, plot.top() + 2 + (k++ % 4) * m.label->boundingRect().height());
    }
}

QString CompareWindow::hoverText(qint64 axisMs) const
{
    const qint64 t = axisMs - axisBase();
    QStringList lines{tr("开始后 %1").arg(TimeText::signedDuration(t))};
    bool any = false;
    for (int i = 0; i < m_model.curves(); ++i) {
        if (!m_model.curveShown(i))
            continue;
        const int k = m_model.recordNear(i, t, LiveChart::kReadoutReachMs);
        QString value = QStringLiteral("-");
        if (k >= 0) {
            value = QString::number(double(m_model.valueAt(i, k)), 'f', RunComparison::channelDecimals(m_model.channel()) + 1)
                    + RunComparison::channelUnitOf(m_model.channel());
            any = true;
        }
        lines << m_model.runName(i) + QStringLiteral(": ") + value;
    }
    return any ? lines.join(QLatin1Char('\n')) : QString();
}

void CompareWindow::channelChosen(int index)
{
    QString why;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool read = m_model.setChannel(m_channel->itemData(index).toInt(), &why);
    QApplication::restoreOverrideCursor();
    if (!read) {
        m_channel->setCurrentIndex(m_channel->findData(m_model.channel()));
        Prompts::warning(this, tr("错误"), why);
        return;
    }
    redraw();
}

void CompareWindow::alignChosen(int index)
{
    // Index 0: every run's first record; then the marks' names.
    if (index <= 0)
        m_model.alignAtStart();
    else
        m_model.alignAtMark(m_align->itemText(index));
    m_cursors->clear();
    showAll();
    updateIntervals();
}

void CompareWindow::retranslate()
{
    if (m_model.isBench())
        setWindowTitle(m_model.bench().name.trimmed().isEmpty() ? tr("工作台 %1").arg(m_model.bench().id)
                                                                : m_model.bench().name.trimmed());
    else
        setWindowTitle(tr("对比"));
    m_channelLabel->setText(tr("通道:"));
    m_alignLabel->setText(tr("对齐:"));
    const int align = std::max(0, m_align->currentIndex());
    m_align->clear();
    m_align->addItem(tr("开始"));
    m_align->addItems(m_model.markNames());
    // A bench's meters stay on its one clock.
    m_align->setEnabled(m_align->count() > 1 && !m_model.isBench());
    m_align->setCurrentIndex(std::min(align, m_align->count() - 1));
    for (QComboBox *box : {m_channel, m_align})
        fitList(box);
    m_measure->setText(tr("测量"));
    m_png->setText(tr("导出图片(.png)"));
    m_csv->setText(tr("导出数据(.csv)"));
    m_report->setText(tr("报告"));
    QStringList rows;
    for (int f = 0; f < RunComparison::FigureCount; ++f)
        rows << RunComparison::figureName(f);
    m_table->setVerticalHeaderLabels(rows);
    m_intervals->setVerticalHeaderLabels({tr("A – B"), tr("时长(s)"), tr("记录数"), tr("电量(Ah)"), tr("能量(Wh)"),
                                          tr("VBUS 平均/峰值(V)"), tr("IBUS 平均/峰值(A)"), tr("POWER 平均/峰值(W)")});
}

namespace {

// Least height of the chart where tables are below it.
constexpr int kLeastChartHeight = 200;
// Height the chart would like, with the tables whole below it.
constexpr int kChartHeight = 520;
constexpr int kWidth = 1100;

// Height that shows every row of a table.
int rowsHeight(const QTableWidget *table)
{
    return table->horizontalHeader()->sizeHint().height() + table->verticalHeader()->length()
           + 2 * table->frameWidth();
}

} // namespace

void CompareWindow::fitTables()
{
    const bool intervals = m_intervals->isVisibleTo(this);
    const int spacing = m_tables->layout()->spacing();
    const int full = rowsHeight(m_table) + (intervals ? rowsHeight(m_intervals) + spacing : 0)
                     + (m_benchTable ? rowsHeight(m_benchTable) + spacing : 0);
    // Never taller than their rows.
    m_tables->setMaximumHeight(full);
    m_tablesHeight = full;
    placeSplit();
}

void CompareWindow::placeSplit()
{
    const int room = m_split->height() - m_split->handleWidth();
    if (room <= 0 || m_tablesHeight < 0)
        return;
    const int tables = std::max(0, std::min(m_tablesHeight, room - kLeastChartHeight));
    m_split->setSizes({room - tables, tables});
}

void CompareWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeSplit();
}

void CompareWindow::fitScreen()
{
    const QScreen *screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect free = screen->availableGeometry();
    // The window manager's frame, or a title bar's height while it is unknown.
    QSize frame = frameGeometry().size() - geometry().size();
    if (frame.isNull())
        frame = QSize(0, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
    const QMargins margins = layout()->contentsMargins();
    const int bar = layout()->itemAt(0)->sizeHint().height() + layout()->spacing();
    const QSize wanted(std::max(kWidth, minimumSizeHint().width()),
                       margins.top() + bar + kChartHeight + m_split->handleWidth() + rowsHeight(m_table)
                           + margins.bottom());
    const QSize size = wanted.boundedTo(free.size() - frame).expandedTo(minimumSizeHint());
    resize(size);
    move(free.left() + std::max(0, (free.width() - size.width() - frame.width()) / 2),
         free.top() + std::max(0, (free.height() - size.height() - frame.height()) / 2));
}

void CompareWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_fitted)
        return;
    m_fitted = true;
    fitScreen();
    layout()->activate();
    fitTables();
}

void CompareWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange) {
        retranslate();
        fillTable();
        updateIntervals();
    }
    QWidget::changeEvent(event);
}
