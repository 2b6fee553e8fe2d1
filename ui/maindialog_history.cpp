// MainDialog: every run kept in the journal, and stored runs shown in the chart.
#include "ui/maindialog.h"

#include "ui_maindialog.h"

#include "base/setting.h"
#include "charts/chartview.h"
#include "charts/customcoordinates.h"
#include "charts/livechart.h"
#include "charts/measurecursors.h"
#include "recording/runjournal.h"
#include "ui/prompts.h"
#include "ui/runhistory.h"

#include <QDateTime>

LiveChart *MainDialog::shownChart() const
{
    return m_stored ? m_stored.get() : m_live.get();
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
    if (m_historyWindow) {
        m_historyWindow->setLiveRun(m_journal->storedId(m_runId));
        m_historyWindow->refresh();
    }
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
    if (m_historyWindow && m_historyWindow->isVisible())
        m_historyWindow->refreshLive(m_log.size());
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
    if (m_historyWindow) {
        m_historyWindow->setLiveRun(0);
        m_historyWindow->refresh();
    }
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

void MainDialog::onRunHistory_Slot()
{
    if (!m_journal || !m_journal->isOpen()) {
        Prompts::warning(this, tr("错误"), m_journal ? m_journal->message() : QString());
        return;
    }
    if (!m_historyWindow) {
        m_historyWindow = new RunHistoryWindow(m_journal.get(), this);
        connect(m_historyWindow, &RunHistoryWindow::openRequested, this, &MainDialog::openStoredRun);
        connect(m_historyWindow, &RunHistoryWindow::csvRequested, this, &MainDialog::exportStoredRunCsv);
        connect(m_historyWindow, &RunHistoryWindow::pngRequested, this, &MainDialog::exportStoredRunPng);
        connect(m_historyWindow, &RunHistoryWindow::liveRequested, this, &MainDialog::showLiveRun);
        connect(m_historyWindow, &RunHistoryWindow::removed, this, [this](qint64 id) {
            if (id == m_storedId)
                showLiveRun();
        });
    }
    m_historyWindow->setLiveRun(m_runId ? m_journal->storedId(m_runId) : 0);
    m_historyWindow->refresh();
    // Opened over this window, whole on the screen with its frame, wherever
    // it was left: placed before it shows, and again once its frame is known.
    const bool opening = !m_historyWindow->isVisible();
    if (opening)
        m_historyWindow->placeOverOwner();
    m_historyWindow->show();
    if (opening)
        m_historyWindow->placeOverOwner();
    m_historyWindow->raise();
    m_historyWindow->activateWindow();
}

bool MainDialog::loadStoredRun(qint64 id, ReadingLog &log, QString *model)
{
    // The live run is written up to its last record before it is read back.
    if (m_runId && m_journal->storedId(m_runId) == id)
        m_journal->sync(m_runId, m_log);
    for (const JournalRun &run : m_journal->runs()) {
        if (run.id == id) {
            if (model)
                *model = run.model;
            return m_journal->load(id, log);
        }
    }
    return false;
}

void MainDialog::openStoredRun(qint64 id)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_storedLog.clear();
    const bool loaded = loadStoredRun(id, m_storedLog, nullptr);
    QApplication::restoreOverrideCursor();
    if (!loaded) {
        Prompts::warning(this, tr("错误"), tr("无法读取这次运行：%1").arg(m_journal->message()));
        return;
    }
    // The stored run takes the chart; the live run goes on recording behind it.
    m_view->setHoverText(nullptr);
    // The cursors leave a stored run's chart before it goes.
    m_cursors->setChart(m_live->chart());
    m_stored = std::make_unique<LiveChart>(m_storedLog, m_custom->ranges(), loadCurveStyles(), chartNow());
    m_storedId = id;
    LiveChart *stored = m_stored.get();
    m_view->showChart(stored->chart(), [stored](qint64 ms) { return stored->hoverText(ms); });
    connect(stored, &LiveChart::redrawn, m_view, &ChartView::refreshHover);
    stored->showWholeRun();
    m_cursors->setChart(stored->chart());
    ui->disp_Btn_Run->setEnabled(false);
    if (m_historyWindow)
        m_historyWindow->setShown(id);
}

void MainDialog::showLiveRun()
{
    if (!m_stored)
        return;
    LiveChart *live = m_live.get();
    m_view->showChart(live->chart(), [live](qint64 ms) { return live->hoverText(ms); });
    m_cursors->setChart(live->chart());
    m_stored.reset();
    m_storedLog.clear();
    m_storedId = 0;
    m_live->refresh();
    ui->disp_Btn_Run->setEnabled(true);
    if (m_historyWindow)
        m_historyWindow->setShown(0);
}

void MainDialog::exportStoredRunCsv(qint64 id)
{
    ReadingLog log;
    QString model;
    if (!loadStoredRun(id, log, &model)) {
        Prompts::warning(this, tr("错误"), tr("无法读取这次运行：%1").arg(m_journal->message()));
        return;
    }
    exportCsv(log, model);
}

void MainDialog::exportStoredRunPng(qint64 id)
{
    if (m_storedId != id)
        openStoredRun(id);
    if (m_storedId == id)
        onAct2Clicked_Slot();
}
