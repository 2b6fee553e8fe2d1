// The window's run: its timeline, and the LiveRun (with its journal) that the
// Run button, the meter's comings and goings and the once-a-second tick drive.
#include "ui/maindialog.h"

#include "ui_maindialog.h"

#include "ui/devicelist.h"

#include "charts/livechart.h"
#include "device/meterreading.h"
#include "outputs/liveoutputs.h"
#include "recording/runsession.h"
#include "recording/runsinks.h"
#include "ui/capacitycontroller.h"


void MainDialog::setClock(std::function<qint64()> clock, std::function<qint64()> steady)
{
    m_session->run().setClock(std::move(clock), std::move(steady));
}

RunTimeline &MainDialog::timeline() const
{
    return m_session->run().timeline();
}

LiveRun *MainDialog::liveRun() const
{
    return &m_session->run();
}

RunJournal *MainDialog::journal() const
{
    return &m_session->journal();
}

qint64 MainDialog::journalRunId() const
{
    return m_session->journalSink().runId();
}

bool MainDialog::isPlotting() const
{
    return m_session->run().recording();
}

const ReadingLog &MainDialog::readingLog() const
{
    return m_session->run().log();
}

ReadingLog &MainDialog::readingLog()
{
    return m_session->run().log();
}

void MainDialog::initRun()
{
    m_session = new RunSession(this);
    LiveRun &run = m_session->run();
    connect(&run, &LiveRun::begun, this, [this] { showRunning(true); });
    connect(&run, &LiveRun::pausedChanged, this, [this](bool paused) { showRunning(!paused); });
    connect(&run, &LiveRun::ended, this, [this] { showRunning(false); });
    connect(m_session, &RunSession::tipChanged, this, &MainDialog::showAccessTip);
    // The live outputs kept in the settings go on from the start.
    m_outputs = new LiveOutputs(run, this);
    QString ignored;
    m_outputs->apply(LiveOutputsSettings::load(), &ignored);
    connect(m_outputs, &LiveOutputs::tipChanged, this, &MainDialog::showAccessTip);
}

void MainDialog::showRunning(bool running)
{
    ui->disp_Btn_Run->setIcon(QIcon(running ? QStringLiteral(":/sys/rs/rs/pause.png")
                                            : QStringLiteral(":/sys/rs/rs/run.png")));
    ui->disp_Btn_Run->setToolTip(running ? tr("停止") : tr("运行"));
}

void MainDialog::runStart()
{
    // The run's timeline starts at the wall clock's time and goes on with the
    // steady clock, whatever the wall clock does. A run that waited in vain
    // for its meter ends first, as unplugged.
    m_session->run().begin({m_devices->modelWord(), m_devices->versionWord(),
                            m_port.isOpen() ? m_devices->serial() : QString()});
    liveChart()->startRun(timeline().now());
}

void MainDialog::on_disp_Btn_Run_clicked()
{
    if (m_session->run().recording())
        m_session->run().stop();
    else
        runStart();
}

void MainDialog::recordTick()
{
    LiveRun &run = m_session->run();
    // Never a record of a reading the meter shown has not sent.
    if (!run.recording() || !m_feed.hasMeasured())
        return;
    if (!run.add(m_feed.reading()))
        return;
    liveChart()->recorded(run.log().runMs(run.log().size() - 1));
    // The journal, the cursors' panel and the history hear of it; then the
    // stop conditions.
    run.flush();
    m_capacity->tick(m_chartTimer.interval());
}

// ---------------------------------------------------------------- page six

void MainDialog::initCapacityPage()
{
    ui->six_label_tips->hide();
    m_capacity = new CapacityController(ui->page_six, m_session->run(), this);
    connect(m_capacity, &CapacityController::startRequested, this, [this](const QString &name, const RunFields &fields) {
        m_session->describeNextRuns(name, fields);
        runStart();
        // Opened now if it was not yet, so the run is taken in with them.
        m_session->journal();
        m_session->describeNextRuns(QString(), RunFields());
        m_session->run().armConditions();
        m_capacity->showRun();
    });
    connect(m_capacity, &CapacityController::tip, ui->label_left_tips, &QLabel::setText);
    connect(m_capacity, &CapacityController::tipWithdrawn, this, [this](const QString &text) {
        if (ui->label_left_tips->text() == text)
            ui->label_left_tips->clear();
    });
}

CapacityPage *MainDialog::capacityPage() const
{
    return m_capacity->page();
}
