// The display page's chart: the live chart's controls (LiveChartController),
// and the measurement, the marks and the run history that draw on its view.
#include "ui/maindialog.h"

#include "ui_maindialog.h"

#include "charts/chartview.h"
#include "charts/customcoordinates.h"
#include "charts/livechart.h"
#include "ui/exportcontroller.h"
#include "recording/runsession.h"
#include "recording/runsinks.h"
#include "recording/runtimeline.h"
#include "ui/livechartcontroller.h"
#include "ui/markcontroller.h"
#include "ui/measurecontroller.h"
#include "ui/runhistorycontroller.h"
#include "ui/storedrunbar.h"

LiveChart *MainDialog::liveChart() const { return m_chart->live(); }
ChartView *MainDialog::chartView() const { return m_chart->view(); }
customcoordinates *MainDialog::customAxis() const { return m_chart->customAxis(); }
QTableView *MainDialog::curveTable() const { return m_chart->curveTable(); }

void MainDialog::on_disp_btn_dp_dm_clicked() { m_chart->toggleGroup(CurveGroup::DpDm); }
void MainDialog::on_disp_btn_cc1_cc2_clicked() { m_chart->toggleGroup(CurveGroup::Cc); }
void MainDialog::on_disp_btn_temp_clicked() { m_chart->toggleGroup(CurveGroup::Temp); }
void MainDialog::on_disp_btn_title_clicked() { m_chart->editTitle(); }
void MainDialog::on_disp_btn_RangCustom_clicked() { m_chart->toggleCustomAxis(); }
void MainDialog::onAct3Clicked_Slot() { m_chart->openCurveTable(); }
void MainDialog::onAct4Clicked_Slot() { liveChart()->setDisplayMode(LiveChart::Accumulate); }
void MainDialog::onAct5Clicked_Slot() { liveChart()->setDisplayMode(LiveChart::Scroll); }
void MainDialog::onCBox_9_Slot(int index) { m_chart->chooseTheme(index); }

// ---------------------------------------------------------------- measurement

void MainDialog::initMeasure()
{
    m_measure = new MeasureController(chartView(), m_session->run(), m_session->journalHandle(), this);
    // Beside the curve-group buttons, before the custom ranges.
    ui->disp_toolLayout->insertWidget(ui->disp_toolLayout->indexOf(ui->disp_btn_RangCustom), m_measure->button());
    m_measure->retranslate();
    // The statistics panel is made when first needed; "Export interval" goes
    // into it then.
    m_marks = new MarkController(chartView(), m_measure->cursors(), nullptr, m_session->journalHandle(), this,
                                 {[this] { return journalRunId(); },
                                  [this] { return m_session->journalSink().lastStoredId(); },
                                  [this]() -> const ReadingLog & { return showsStoredRun() ? storedLog() : readingLog(); },
                                  [this] { return timeline().now(); }, [this] { return timeline().wallNow(); }});
    ui->disp_toolLayout->insertWidget(ui->disp_toolLayout->indexOf(m_measure->button()) + 1, m_marks->button());
    connect(m_measure, &MeasureController::panelMade, m_marks, &MarkController::placeExport);
}

QPushButton *MainDialog::measureButton() const { return m_measure->button(); }
MeasureCursors *MainDialog::measureCursors() const { return m_measure->cursors(); }
StatsPanel *MainDialog::statsPanel() const { return m_measure->panel(); }

// ---------------------------------------------------------------- history

void MainDialog::initHistory()
{
    m_history = new RunHistoryController(this, m_session->journalHandle(), chartView(), liveChart(), m_chart->ranges(),
                                         [this] { return timeline().now(); });
    // The curve groups switch the chart on show, a stored run's too.
    m_chart->setShownChart([this] { return shownChart(); });
    // The live run is written up to its last record before it is read back.
    connect(m_history, &RunHistoryController::aboutToRead, this, [this](qint64 id) {
        if (id && m_session->storedRunId() == id)
            m_session->catchUp();
    });
    connect(m_session, &RunSession::liveRunChanged, m_history, &RunHistoryController::liveRunChanged);
    connect(m_session, &RunSession::liveRunGrew, m_history, &RunHistoryController::liveRunGrew);
    // The cursors leave a stored run's chart before it goes.
    connect(m_history, &RunHistoryController::chartLeaving, this, [this] { m_measure->setChart(liveChart()->chart()); });
    connect(m_history, &RunHistoryController::chartShown, this, [this](LiveChart *chart, qint64 storedId) {
        m_measure->setShownRun(storedId);
        m_measure->setChart(chart->chart());
        m_marks->setChart(chart->chart(), storedId);
        ui->disp_Btn_Run->setEnabled(storedId == 0);
    });
    // Which run the chart shows, and the way back, on the chart's page.
    m_storedBar = new StoredRunBar(*m_history, m_session->journalHandle(), this);
    ui->disp_toolLayout->addWidget(m_storedBar);
    connect(m_history, &RunHistoryController::csvExportRequested, this,
            [this](const ReadingLog &log, const QString &model) { m_exports->exportCsv(log, model); });
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
