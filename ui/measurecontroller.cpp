// The measurement cursors of the display page's chart and the panel with the
// statistics of the interval between them.
#include "ui/measurecontroller.h"

#include "charts/chartview.h"
#include "charts/measurecursors.h"
#include "recording/liverun.h"
#include "recording/runjournal.h"
#include "recording/runstats.h"
#include "ui/iconhelper.h"
#include "ui/statspanel.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QShortcut>

namespace {

// Arrows between two bars: a span measured.
constexpr ushort kGlyphMeasure = 0xF07E;

// The curve-group buttons' look; checked like an active group.
const char kMeasureStyle[] =
    "QPushButton{background-color: rgb(62, 62, 62);color: rgb(255, 255, 255);border:2px groove gray;"
    "border-radius:10px;padding:2px 4px;border-style: outset;}"
    "QPushButton:hover{background-color:rgb(62, 62, 62); color: rgb(255, 255, 0);border:2px groove green;"
    "border-radius:10px;padding:2px 4px;border-style: outset;}"
    "QPushButton:checked{background-color:rgb(62, 62, 62); color: rgb(255, 255, 0);border:2px groove green;"
    "border-radius:10px;padding:2px 4px;border-style: outset;}";

} // namespace

MeasureController::MeasureController(ChartView *view, const LiveRun &run, RunJournal *journal, QWidget *window)
    : QObject(window), m_view(view), m_run(run), m_journal(journal)
{
    m_button = new QPushButton;
    m_button->setObjectName(QStringLiteral("disp_btn_measure"));
    m_button->setCheckable(true);
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setMinimumSize(80, 30);
    m_button->setStyleSheet(QLatin1String(kMeasureStyle));
    m_button->setIcon(
        QIcon(IconHelper::instance()->iconPixmap(QStringLiteral("#FEFEFE"), QChar(kGlyphMeasure), 12, 16, 16)));

    m_cursors = new MeasureCursors(m_view);
    m_clear = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    m_clear->setEnabled(false);
    connect(m_clear, &QShortcut::activated, m_cursors, &MeasureCursors::clear);
    connect(m_button, &QPushButton::toggled, m_cursors, &MeasureCursors::setActive);
    connect(m_cursors, &MeasureCursors::changed, this, &MeasureController::showIntervalStats);
    connect(m_cursors, &MeasureCursors::placed, this, &MeasureController::placePanel);
    connect(&m_run, &LiveRun::begun, this, &MeasureController::liveRunStarted);
    connect(&m_run, &LiveRun::recorded, this, &MeasureController::liveRunGrew);
}

void MeasureController::retranslate()
{
    m_button->setText(QCoreApplication::translate("MainDialog", "测量"));
    m_button->setToolTip(QCoreApplication::translate(
        "MainDialog", "测量光标：在曲线上按住左键拖动，设置光标 A 和 B，显示两者之间的统计；Esc 清除"));
    if (m_panel) {
        m_panel->retranslate();
        placePanel();
    }
}

StatsPanel *MeasureController::panel()
{
    if (!m_panel) {
        m_panel = new StatsPanel(m_view);
        m_panel->hide();
        emit panelMade(m_panel);
    }
    return m_panel;
}

void MeasureController::setChart(QtCharts::QChart *chart)
{
    m_cursors->setChart(chart);
}

void MeasureController::liveRunStarted()
{
    if (m_cursors->isSet() && !m_storedId)
        showIntervalStats();
}

void MeasureController::liveRunGrew(int added)
{
    // The run's end before these records: its last record's time, or its
    // start, which begins the window's timeline.
    const RunStats &stats = m_run.stats();
    const int last = stats.size() - 1;
    if (last < 0)
        return;
    const qint64 previousEnd = last - added >= 0 ? stats.sample(last - added).runMs : m_run.startWallMs();
    const qint64 end = stats.sample(last).runMs;
    // Cursors on a stored run shown instead stay where they are.
    if (m_cursors->isSet() && !m_storedId) {
        // A cursor at the end of the run stays there as it grows.
        m_cursors->followEnd(previousEnd, end);
        showIntervalStats();
    }
}

void MeasureController::showIntervalStats()
{
    const bool set = m_cursors->isSet();
    // While cursors are set Esc clears them; otherwise it does what it always did.
    m_clear->setEnabled(set);
    if (!set) {
        if (m_panel)
            m_panel->hide();
        return;
    }
    const qint64 a = m_cursors->a(), b = m_cursors->b();
    // A stored run's figures come from the journal, over the same blocks.
    if (m_storedId)
        panel()->showInterval(m_journal->stats(m_storedId, qMin(a, b), qMax(a, b)), a, b);
    else
        panel()->showInterval(m_run.stats(), a, b);
    placePanel();
    if (m_panel->isHidden()) {
        m_panel->show();
        m_panel->raise();
    }
}

void MeasureController::placePanel()
{
    QtCharts::QChart *chart = m_view->chart();
    if (!chart || !m_panel)
        return;
    // Over the plot's top right corner, below the labels of the cursors,
    // which lie along the plot's top.
    const QRectF plot = chart->plotArea();
    const QPoint topRight = m_view->mapFromScene(chart->mapToScene(QPointF(plot.right(), m_cursors->labelsBottom())));
    const QSize size = m_panel->size();
    const int x = qBound(0, topRight.x() - size.width() - 8, qMax(0, m_view->width() - size.width()));
    const int y = qBound(0, topRight.y() + 4, qMax(0, m_view->height() - size.height()));
    if (m_panel->pos() != QPoint(x, y))
        m_panel->move(x, y);
}
