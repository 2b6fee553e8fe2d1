// The live chart of the display page: its construction, the run history's
// wiring to it, curve groups, title, custom ranges and the curve style table.
#include "ui/maindialog.h"

#include "ui_maindialog.h"

#include "base/setting.h"
#include "charts/chartview.h"
#include "charts/customcoordinates.h"
#include "charts/livechart.h"
#include "recording/journalledrun.h"
#include "ui/markcontroller.h"
#include "ui/measurecontroller.h"
#include "ui/prompts.h"
#include "ui/runhistorycontroller.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>


namespace {

const char kGroupActiveStyle[] =
    "QPushButton{background-color:rgb(62, 62, 62); color: rgb(255, 255, 0);border:2px groove green;"
    "border-radius:10px;padding:2px 4px;border-style: outset;}QPushButton:hover{background-color:rgb(62, 62, 62); "
    "color: rgb(255, 255, 0);border:2px groove green;border-radius:10px;padding:2px 4px;border-style: outset;}";
const char kGroupInactiveStyle[] =
    "QPushButton{background-color: rgb(62, 62, 62);border-radius: 5px;color: rgb(255, 255, 255);border:2px groove "
    "gray;border-radius:10px;padding:2px 4px;border-style: outset;}QPushButton:hover{background-color:rgb(62, 62, "
    "62); color: rgb(255, 255, 0);border:2px groove green;border-radius:10px;padding:2px 4px;border-style: outset;}";
const char kTableOkStyle[] =
    "QPushButton{background-color: rgb(126, 236, 236);color: black;border:2px groove gray;border-radius:10px;"
    "padding:2px 4px;border-style: outset;} QPushButton:hover{background-color:rgb(126, 255, 206); color: black;} "
    "QPushButton:pressed{background-color:rgb(0, 255, 0);border-style: inset;}";

QString swatchStyle(const QColor &c)
{
    return QStringLiteral("background:rgb(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

// A cell widget centred in a container without margins.
QWidget *centred(QWidget *w)
{
    auto *box = new QWidget;
    auto *layout = new QHBoxLayout(box);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(w, 0, Qt::AlignCenter);
    return box;
}

} // namespace

void MainDialog::initChart()
{
    m_timeline.anchor();
    m_live.reset(new LiveChart(readingLog(), m_custom->ranges(), loadCurveStyles(), m_timeline.now()));
    m_view = new ChartView(m_live->chart(), nullptr);
    m_view->setRenderHint(QPainter::Antialiasing);
    LiveChart *live = m_live.get();
    m_view->setHoverText([live](qint64 ms) { return live->hoverText(ms); });
    connect(live, &LiveChart::redrawn, m_view, &ChartView::refreshHover);
    ui->disap_gridLayout->addWidget(m_view);
}

// ---------------------------------------------------------------- measurement

void MainDialog::initMeasure()
{
    m_measure = new MeasureController(m_view, m_session->run(), m_session->journalHandle(), this);
    // Beside the curve-group buttons, before the custom ranges.
    ui->disp_toolLayout->insertWidget(ui->disp_toolLayout->indexOf(ui->disp_btn_RangCustom), m_measure->button());
    m_measure->retranslate();
    m_marks = new MarkController(m_view, m_measure->cursors(), m_measure->panel(), m_session->journalHandle(), this,
                                 {[this] { return journalRunId(); },
                                  [this]() -> const ReadingLog & { return showsStoredRun() ? storedLog() : readingLog(); },
                                  [this] { return m_timeline.now(); }, [this] { return m_timeline.wallNow(); }});
    ui->disp_toolLayout->insertWidget(ui->disp_toolLayout->indexOf(m_measure->button()) + 1, m_marks->button());
}

QPushButton *MainDialog::measureButton() const { return m_measure->button(); }
MeasureCursors *MainDialog::measureCursors() const { return m_measure->cursors(); }
StatsPanel *MainDialog::statsPanel() const { return m_measure->panel(); }

// ---------------------------------------------------------------- history

void MainDialog::initHistory()
{
    m_history = new RunHistoryController(this, m_session->journalHandle(), m_view, m_live.get(), m_custom,
                                         [this] { return m_timeline.now(); });
    // The live run is written up to its last record before it is read back.
    connect(m_history, &RunHistoryController::aboutToRead, this, [this](qint64 id) {
        if (id && m_session->storedRunId() == id)
            m_session->catchUp();
    });
    connect(m_session, &JournalledRun::liveRunChanged, m_history, &RunHistoryController::liveRunChanged);
    connect(m_session, &JournalledRun::liveRunGrew, m_history, &RunHistoryController::liveRunGrew);
    // The cursors leave a stored run's chart before it goes.
    connect(m_history, &RunHistoryController::chartLeaving, this, [this] { m_measure->setChart(m_live->chart()); });
    connect(m_history, &RunHistoryController::chartShown, this, [this](LiveChart *chart, qint64 storedId) {
        m_measure->setShownRun(storedId);
        m_measure->setChart(chart->chart());
        m_marks->setChart(chart->chart(), storedId);
        ui->disp_Btn_Run->setEnabled(storedId == 0);
    });
    connect(m_history, &RunHistoryController::csvExportRequested, this,
            [this](const ReadingLog &log, const QString &model) { exportCsv(log, model); });
    connect(m_history, &RunHistoryController::pngExportRequested, this, &MainDialog::onAct2Clicked_Slot);
}

void MainDialog::onRunHistory_Slot()
{
    // The journal opens now if the window has not opened it yet.
    m_session->journal();
    m_history->open(m_session->storedRunId());
}

LiveChart *MainDialog::shownChart() const { return m_history->shownChart(); }
bool MainDialog::showsStoredRun() const { return m_history && m_history->showsStoredRun(); }
const ReadingLog &MainDialog::storedLog() const { return m_history->storedLog(); }
RunHistoryWindow *MainDialog::historyWindow() const { return m_history->window(); }
void MainDialog::openStoredRun(qint64 id) { m_history->openStoredRun(id); }
void MainDialog::showLiveRun() { m_history->showLiveRun(); }

// ---------------------------------------------------------------- groups

void MainDialog::toggleCurveGroup(CurveGroup group)
{
    LiveChart *chart = shownChart();
    const CurveGroup next = chart->group() == group ? CurveGroup::Main : group;
    chart->showGroup(next, m_timeline.now());
    if (chart != m_live.get())
        chart->fitValues();
    const std::pair<QPushButton *, CurveGroup> toggles[] = {{ui->disp_btn_dp_dm, CurveGroup::DpDm},
                                                            {ui->disp_btn_cc1_cc2, CurveGroup::Cc},
                                                            {ui->disp_btn_temp, CurveGroup::Temp}};
    for (const auto &t : toggles)
        t.first->setStyleSheet(QLatin1String(t.second == next ? kGroupActiveStyle : kGroupInactiveStyle));
}

void MainDialog::on_disp_btn_dp_dm_clicked() { toggleCurveGroup(CurveGroup::DpDm); }
void MainDialog::on_disp_btn_cc1_cc2_clicked() { toggleCurveGroup(CurveGroup::Cc); }
void MainDialog::on_disp_btn_temp_clicked() { toggleCurveGroup(CurveGroup::Temp); }

void MainDialog::onAct4Clicked_Slot()
{
    m_live->setDisplayMode(LiveChart::Accumulate);
}

void MainDialog::onAct5Clicked_Slot()
{
    m_live->setDisplayMode(LiveChart::Scroll);
}

void MainDialog::on_disp_btn_title_clicked()
{
    QString title = ui->disp_btn_title->text();
    if (Prompts::getText(this, tr("标题变更对话框"), tr("请输入标题:"), title))
        ui->disp_btn_title->setText(title);
}

// ---------------------------------------------------------------- custom ranges

void MainDialog::on_disp_btn_RangCustom_clicked()
{
    if (m_custom->isHidden()) {
        const int x = this->x() + (width() - m_custom->width()) / 2 - 10;
        const int y = this->y() + (height() - m_custom->height()) / 2 - 10;
        m_custom->setGeometry(x, y, 200, 200);
        m_custom->show();
    } else {
        m_custom->hide();
    }
}

void MainDialog::RangChang_slot()
{
    m_live->reapplyRanges();
}

// ---------------------------------------------------------------- curve styles

void MainDialog::onAct3Clicked_Slot()
{
    // One table at a time: a new one replaces the last.
    delete m_curveTable;

    auto *table = new QTableView(ui->widget);
    auto *model = new QStandardItemModel(10, 3, table);
    model->setHorizontalHeaderLabels({QStringLiteral(" "), tr("曲线颜色"), tr("曲线宽度")});
    model->setVerticalHeaderItem(8, new QStandardItem(QStringLiteral(" ")));
    model->setVerticalHeaderItem(9, new QStandardItem(QStringLiteral(" ")));
    table->setModel(model);
    m_curveTableOpen = true;
    m_curveTable = table;
    table->setSpan(9, 0, 1, 3);

    const char *const names[kChannelCount] = {QT_TR_NOOP("VBUS"), QT_TR_NOOP("IBUS"), QT_TR_NOOP("POWER"),
                                              QT_TR_NOOP("PD"),   QT_TR_NOOP("PM"),   QT_TR_NOOP("CC1"),
                                              QT_TR_NOOP("CC2"),  QT_TR_NOOP("CPU_Temp")};
    for (int c = 0; c < kChannelCount; ++c)
        model->setItem(c, 0, new QStandardItem(tr(names[c])));
    model->setItem(8, 0, new QStandardItem(tr("背景颜色风格：")));

    auto *ok = new QPushButton(tr("确定"));
    ok->setStyleSheet(QLatin1String(kTableOkStyle));
    connect(ok, SIGNAL(clicked()), this, SLOT(onBtn_close_Slot()));
    table->setIndexWidget(model->index(9, 0), centred(ok));

    const Setting settings;
    for (int c = 0; c < kChannelCount; ++c) {
        auto *swatch = new QPushButton;
        swatch->setStyleSheet(swatchStyle(CurveStyleText::toColor(settings.read(CurveStyleText::colorKey(c)))));
        connect(swatch, &QPushButton::clicked, this, [this, c] { chooseCurveColor(c); });
        table->setIndexWidget(model->index(c, 1), centred(swatch));

        auto *widths = new QComboBox;
        for (int i = 0; i < CurveStyleText::kWidthChoices; ++i)
            widths->addItem(CurveStyleText::widthChoice(i));
        const int choice = CurveStyleText::choiceOfWidth(settings.read(CurveStyleText::widthKey(c)));
        widths->setCurrentIndex(choice < 0 ? 0 : choice);
        connect(widths, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                [this, c](int choice) { chooseCurveWidth(c, choice); });
        table->setIndexWidget(model->index(c, 2), centred(widths));
    }
    auto *themes = new QComboBox;
    for (int i = 0; i < CurveStyleText::kThemeCount; ++i)
        themes->addItem(CurveStyleText::themeName(i));
    const int theme = CurveStyleText::themeIndex(settings.read(QStringLiteral("ChartTheme")));
    themes->setCurrentIndex(theme < 0 ? 0 : theme);
    connect(themes, SIGNAL(currentIndexChanged(int)), this, SLOT(onCBox_9_Slot(int)));
    table->setIndexWidget(model->index(8, 1), centred(themes));

    // Columns at least 100 wide; rows low enough that all ten fit the
    // table's 330 pixels.
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(28);
    table->horizontalHeader()->setMinimumSectionSize(100);

    const QWidget *area = ui->widget;
    table->setGeometry((area->width() - table->width()) / 2 - 100, (area->height() - table->height()) / 2 - 100,
                       320, 330);
    table->show();
}

void MainDialog::chooseCurveColor(int channel)
{
    CurveStyle style = m_live->style(channel);
    const QColor chosen = Prompts::getColor(this, style.color);
    if (!chosen.isValid())
        return;
    if (auto *swatch = qobject_cast<QPushButton *>(sender()))
        swatch->setStyleSheet(swatchStyle(chosen));
    style.color = chosen;
    m_live->setCurveStyle(channel, style);
    Setting().write(CurveStyleText::colorKey(channel), CurveStyleText::fromColor(chosen));
}

void MainDialog::chooseCurveWidth(int channel, int choice)
{
    CurveStyle style = m_live->style(channel);
    style.width = CurveStyleText::widthOfChoice(choice);
    m_live->setCurveStyle(channel, style);
    Setting().write(CurveStyleText::widthKey(channel), QString::number(style.width, 'f', 1));
}

void MainDialog::onCBox_9_Slot(int index)
{
    m_live->setTheme(index);
    if (index >= 0 && index < CurveStyleText::kThemeCount)
        Setting().write(QStringLiteral("ChartTheme"), CurveStyleText::themeName(index));
}

void MainDialog::onBtn_close_Slot()
{
    if (m_curveTableOpen) {
        m_curveTableOpen = false;
        if (m_curveTable)
            m_curveTable->hide();
    }
}
