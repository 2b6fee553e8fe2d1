// The window's run: its timeline, start, stop and resumption after a replug,
// the reading log's record at each tick and the run's journal, kept together.
#include "ui/maindialog.h"

#include "ui_maindialog.h"

#include "base/setting.h"
#include "charts/livechart.h"
#include "device/meterreading.h"
#include "recording/runjournal.h"
#include "ui/capacitycontroller.h"
#include "ui/measurecontroller.h"
#include "ui/runhistorycontroller.h"

#include <QElapsedTimer>

#include <time.h>

qint64 MainDialog::steadyMsecs()
{
#ifdef CLOCK_BOOTTIME
    // Unlike the monotonic clock this one counts a suspend too, so the
    // computer's sleep shows on the chart as the gap it is.
    timespec now{};
    if (clock_gettime(CLOCK_BOOTTIME, &now) == 0)
        return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#endif
    QElapsedTimer timer;
    timer.start();
    return timer.msecsSinceReference();
}

void MainDialog::setClock(std::function<qint64()> clock, std::function<qint64()> steady)
{
    m_clock = std::move(clock);
    m_steadyClock = steady ? std::move(steady) : m_clock;
    anchorChartTime();
}

void MainDialog::anchorChartTime()
{
    m_anchorWallMs = m_clock();
    m_anchorSteadyMs = m_steadyClock();
}

void MainDialog::runStart()
{
    // A run that waited in vain for its meter ends before the new one.
    if (m_runId)
        journalEnd(QLatin1String(m_runResumable ? RunJournal::kUnplugged : RunJournal::kStopped));
    m_log.clear();
    // The run's timeline starts at the wall clock's time and goes on with the
    // steady clock, whatever the wall clock does.
    anchorChartTime();
    m_live->startRun(chartNow());
    m_runSerial = m_port.isOpen() ? m_matchingSerial : std::wstring();
    journalBegin();
    runStatsStarted();
    resumeRun();
}

void MainDialog::resumeRun()
{
    m_plotting = true;
    m_runResumable = false;
    ui->disp_Btn_Run->setIcon(QIcon(QStringLiteral(":/sys/rs/rs/pause.png")));
    ui->disp_Btn_Run->setToolTip(tr("停止"));
}

void MainDialog::runStop(bool resumable)
{
    m_plotting = false;
    m_runResumable = resumable;
    if (!resumable && m_runId)
        journalEnd(m_endReason.isEmpty() ? QString::fromLatin1(RunJournal::kStopped) : m_endReason);
    ui->disp_Btn_Run->setIcon(QIcon(QStringLiteral(":/sys/rs/rs/run.png")));
    ui->disp_Btn_Run->setToolTip(tr("运行"));
}

void MainDialog::on_disp_Btn_Run_clicked()
{
    if (m_plotting)
        runStop();
    else
        runStart();
}

void MainDialog::recordTick()
{
    if (!m_plotting)
        return;
    const qint64 now = chartNow();
    m_log.append(m_clock(), now, meterReading());
    journalSync();
    m_live->recorded(now);
    runStatsRecorded();
}

void MainDialog::openJournal()
{
    m_journal = std::make_unique<RunJournal>();
    QString badCap;
    m_journal->setSizeCap(RunJournal::sizeCapFromSettings(Setting(), &badCap));
    m_journal->open();
    QStringList tips;
    if (!badCap.isEmpty())
        tips << RunJournal::badSizeCapMessage(badCap);
    if (!m_journal->message().isEmpty())
        tips << m_journal->message();
    if (const int recovered = m_journal->recoveredRuns())
        tips << tr("上次有 %1 次运行未正常结束，已作为中断的运行保存在历史记录中。").arg(recovered);
    tips << journalRetention();
    tips.removeAll(QString());
    m_journalTip = tips.join(QLatin1Char(' '));
    showAccessTip();
}

void MainDialog::journalBegin()
{
    m_runId = 0;
    if (!m_journal || !m_journal->isOpen())
        return;
    m_runId = m_journal->beginRun(m_clock(), m_modelWord, m_versionWord,
                                  m_port.isOpen() ? QString::fromStdWString(m_matchingSerial) : QString());
    journalSync();
    if (m_history)
        m_history->liveRunChanged(m_journal->storedId(m_runId));
}

void MainDialog::journalSync()
{
    if (!m_runId)
        return;
    m_journal->sync(m_runId, m_log);
    // The tip line says a fault of the journal once while it lasts, and
    // clears when the journal has caught up; what the opening said stays
    // until then.
    const QString fault = m_journal->status() == RunJournal::Status::Ok ? QString() : m_journal->message();
    bool changed = false;
    if (fault != m_journalFault) {
        m_journalFault = fault;
        m_journalTip = fault;
        changed = true;
    }
    const QString retention = journalRetention();
    if (!retention.isEmpty()) {
        m_journalTip = retention;
        changed = true;
    }
    if (changed)
        showAccessTip();
    if (m_history)
        m_history->liveRunGrew(m_log.size());
}

void MainDialog::journalEnd(const QString &reason)
{
    if (!m_runId)
        return;
    m_journal->sync(m_runId, m_log);
    const qint64 stored = m_journal->storedId(m_runId);
    m_journal->endRun(m_runId, m_clock(), reason);
    // A run without a single record (Run pressed twice) leaves nothing.
    if (m_log.size() == 0 && stored > 0)
        m_journal->remove(stored);
    m_runId = 0;
    const QString retention = journalRetention();
    if (!retention.isEmpty()) {
        m_journalTip = retention;
        showAccessTip();
    }
    if (m_history)
        m_history->liveRunChanged(0);
}

QString MainDialog::journalRetention()
{
    // What the size cap did: runs removed, or the runs that must stay over it
    // (said once).
    QStringList said;
    if (const int removed = m_journal->takeRemovedRuns())
        said << m_journal->removedRunsMessage(removed);
    if (m_journal->takeOverCap())
        said << m_journal->overCapMessage();
    return said.join(QLatin1Char(' '));
}

// ---------------------------------------------------------------- statistics and stop conditions

void MainDialog::initCapacityPage()
{
    ui->six_label_tips->hide();
    m_capacity = new CapacityController(ui->page_six, this);
    connect(m_capacity, &CapacityController::startRequested, this, [this] {
        runStart();
        m_capacity->setArmed(true);
        showCapacityRun();
    });
    connect(m_capacity, &CapacityController::stopRequested, this, [this] {
        if (m_plotting || m_runResumable)
            runStop();
        m_capacity->setArmed(false);
        showCapacityRun();
    });
    connect(m_capacity, &CapacityController::conditionMet, this, [this](const QString &reason) {
        m_endReason = reason;
        runStop();
    });
    connect(m_capacity, &CapacityController::tip, ui->label_left_tips, &QLabel::setText);
}

CapacityPage *MainDialog::capacityPage() const
{
    return m_capacity->page();
}

void MainDialog::runStatsStarted()
{
    m_stats.clear();
    m_capacity->runStarted();
    m_runStartMs = chartNow();
    m_endReason.clear();
    m_measure->liveRunStarted();
    showCapacityRun();
}

void MainDialog::showCapacityRun()
{
    m_capacity->showRun(m_plotting || m_runResumable, chartNow() - m_runStartMs, m_stats);
}

void MainDialog::runStatsRecorded()
{
    const qint64 previousEnd = m_stats.size() > 0 ? m_stats.sample(m_stats.size() - 1).runMs : m_runStartMs;
    for (int i = m_stats.size(); i < m_log.size(); ++i) {
        m_stats.append(m_log, i);
        m_capacity->recorded(m_stats);
    }
    m_measure->liveRunGrew(previousEnd, m_stats.sample(m_stats.size() - 1).runMs);
    m_capacity->checkRun(m_stats, m_plotting || m_runResumable, chartNow() - m_runStartMs, m_chartTimer.interval());
}
