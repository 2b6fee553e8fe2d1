// The measurement cursors of the display page's chart and the panel with the
// statistics of the interval between them.
#include "ui/maindialog.h"

#include "ui_maindialog.h"

#include "charts/chartview.h"
#include "charts/livechart.h"
#include "recording/runjournal.h"
#include "charts/measurecursors.h"
#include "ui/iconhelper.h"
#include "ui/runhistorycontroller.h"
#include "ui/statspanel.h"

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

void MainDialog::initMeasure()
{
    m_measureButton = new QPushButton(ui->widget);
    m_measureButton->setObjectName(QStringLiteral("disp_btn_measure"));
    m_measureButton->setCheckable(true);
    m_measureButton->setFocusPolicy(Qt::NoFocus);
    m_measureButton->setMinimumSize(80, 30);
    m_measureButton->setStyleSheet(QLatin1String(kMeasureStyle));
    m_measureButton->setIcon(
        QIcon(IconHelper::instance()->iconPixmap(QStringLiteral("#FEFEFE"), QChar(kGlyphMeasure), 12, 16, 16)));
    // Beside the curve-group buttons, before the custom ranges.
    ui->disp_toolLayout->insertWidget(ui->disp_toolLayout->indexOf(ui->disp_btn_RangCustom), m_measureButton);

    m_cursors = new MeasureCursors(m_view);
    m_statsPanel = new StatsPanel(m_view);
    m_statsPanel->hide();
    m_clearCursors = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_clearCursors->setEnabled(false);
    connect(m_clearCursors, &QShortcut::activated, m_cursors, &MeasureCursors::clear);
    connect(m_measureButton, &QPushButton::toggled, m_cursors, &MeasureCursors::setActive);
    connect(m_cursors, &MeasureCursors::changed, this, &MainDialog::showIntervalStats);
    connect(m_cursors, &MeasureCursors::placed, this, &MainDialog::placeStatsPanel);
    retranslateMeasure();
}

void MainDialog::retranslateMeasure()
{
    m_measureButton->setText(tr("测量"));
    m_measureButton->setToolTip(tr("测量光标：在曲线上按住左键拖动，设置光标 A 和 B，显示两者之间的统计；Esc 清除"));
    m_statsPanel->retranslate();
    placeStatsPanel();
}

void MainDialog::showIntervalStats()
{
    const bool set = m_cursors->isSet();
    // While cursors are set Esc clears them; otherwise it does what it always did.
    m_clearCursors->setEnabled(set);
    if (!set) {
        m_statsPanel->hide();
        return;
    }
    const qint64 a = m_cursors->a(), b = m_cursors->b();
    // A stored run's figures come from the journal, over the same blocks.
    if (showsStoredRun())
        m_statsPanel->showInterval(m_journal->stats(m_history->storedId(), qMin(a, b), qMax(a, b)), a, b);
    else
        m_statsPanel->showInterval(m_stats, a, b);
    placeStatsPanel();
    if (m_statsPanel->isHidden()) {
        m_statsPanel->show();
        m_statsPanel->raise();
    }
}

void MainDialog::placeStatsPanel()
{
    QtCharts::QChart *chart = m_view->chart();
    if (!chart)
        return;
    // Over the plot's top right corner, below the labels of the cursors,
    // which lie along the plot's top.
    const QRectF plot = chart->plotArea();
    const QPoint topRight = m_view->mapFromScene(chart->mapToScene(QPointF(plot.right(), m_cursors->labelsBottom())));
    const QSize size = m_statsPanel->size();
    const int x = qBound(0, topRight.x() - size.width() - 8, qMax(0, m_view->width() - size.width()));
    const int y = qBound(0, topRight.y() + 4, qMax(0, m_view->height() - size.height()));
    if (m_statsPanel->pos() != QPoint(x, y))
        m_statsPanel->move(x, y);
}
