// The run history of the window: stored runs shown in the chart, exported,
// and the history window that lists them.
#include "ui/runhistorycontroller.h"

#include "base/setting.h"
#include "charts/chartview.h"
#include "charts/customranges.h"
#include "charts/livechart.h"
#include "recording/runjournal.h"
#include "ui/prompts.h"
#include "report/runreport.h"
#include "ui/comparewindow.h"
#include "ui/runhistory.h"
#include "ui/runnotes.h"

#include <QApplication>

RunHistoryController::RunHistoryController(QWidget *owner, RunJournal *journal, ChartView *view, LiveChart *live,
                                           const CustomRanges &ranges, std::function<qint64()> now)
    : QObject(owner), m_owner(owner), m_journal(journal), m_view(view), m_live(live), m_ranges(ranges),
      m_now(std::move(now))
{
}

RunHistoryController::~RunHistoryController()
{
    delete m_window;
    if (m_stored)
        m_view->setHoverText(nullptr);
}

LiveChart *RunHistoryController::shownChart() const
{
    return m_stored ? m_stored.get() : m_live;
}

void RunHistoryController::open(qint64 liveId)
{
    if (!m_journal || !m_journal->isOpen()) {
        Prompts::warning(m_owner, QCoreApplication::translate("MainDialog", "错误"),
                         m_journal ? m_journal->message() : QString());
        return;
    }
    if (!m_window) {
        m_window = new RunHistoryWindow(m_journal, m_owner);
        RunNotesPanel::attach(m_journal, m_window);
        connect(m_window, &RunHistoryWindow::openRequested, this, &RunHistoryController::openStoredRun);
        connect(m_window, &RunHistoryWindow::csvRequested, this, &RunHistoryController::exportCsv);
        connect(m_window, &RunHistoryWindow::pngRequested, this, &RunHistoryController::exportPng);
        connect(m_window, &RunHistoryWindow::liveRequested, this, &RunHistoryController::showLiveRun);
        connect(m_window, &RunHistoryWindow::compareRequested, this, &RunHistoryController::compare);
        connect(m_window, &RunHistoryWindow::reportRequested, this, &RunHistoryController::report);
        connect(m_window, &RunHistoryWindow::benchOpenRequested, this, &RunHistoryController::openBench);
        connect(m_window, &RunHistoryWindow::benchReportRequested, this, &RunHistoryController::reportBench);
        connect(m_window, &RunHistoryWindow::removed, this, [this](qint64 id) {
            if (id == m_storedId)
                showLiveRun();
        });
    }
    m_window->setLiveRun(liveId);
    m_window->refresh();
    // Opened over the owner, whole on the screen with its frame, wherever
    // it was left: placed before it shows, and again once its frame is known.
    const bool opening = !m_window->isVisible();
    if (opening)
        m_window->placeOverOwner();
    m_window->show();
    if (opening)
        m_window->placeOverOwner();
    m_window->raise();
    m_window->activateWindow();
}

void RunHistoryController::liveRunChanged(qint64 liveId)
{
    if (m_window) {
        m_window->setLiveRun(liveId);
        m_window->refresh();
    }
}

void RunHistoryController::liveRunGrew(int records)
{
    if (m_window && m_window->isVisible())
        m_window->refreshLive(records);
}

bool RunHistoryController::load(qint64 id, ReadingLog &log, QString *model)
{
    emit aboutToRead(id);
    for (const JournalRun &run : m_journal->runs()) {
        if (run.id == id) {
            if (model)
                *model = run.model;
            return m_journal->load(id, log);
        }
    }
    return false;
}

void RunHistoryController::openStoredRun(qint64 id)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_storedLog.clear();
    const bool loaded = load(id, m_storedLog, nullptr);
    QApplication::restoreOverrideCursor();
    if (!loaded) {
        Prompts::warning(m_owner, QCoreApplication::translate("MainDialog", "错误"),
                         QCoreApplication::translate("MainDialog", "无法读取这次运行：%1").arg(m_journal->message()));
        return;
    }
    // The stored run takes the chart; the live run goes on recording behind it.
    m_view->setHoverText(nullptr);
    emit chartLeaving();
    m_stored = std::make_unique<LiveChart>(m_storedLog, m_ranges, loadCurveStyles(), m_now());
    m_storedId = id;
    LiveChart *stored = m_stored.get();
    m_view->showChart(stored->chart(), [stored](qint64 ms) { return stored->hoverText(ms); });
    connect(stored, &LiveChart::redrawn, m_view, &ChartView::refreshHover);
    stored->showWholeRun();
    emit chartShown(stored, id);
    if (m_window)
        m_window->setShown(id);
}

void RunHistoryController::showLiveRun()
{
    if (!m_stored)
        return;
    LiveChart *live = m_live;
    m_view->showChart(live->chart(), [live](qint64 ms) { return live->hoverText(ms); });
    emit chartLeaving();
    m_stored.reset();
    m_storedLog.clear();
    m_storedId = 0;
    m_live->refresh();
    emit chartShown(live, 0);
    if (m_window)
        m_window->setShown(0);
}

void RunHistoryController::exportCsv(qint64 id)
{
    ReadingLog log;
    QString model;
    if (!load(id, log, &model)) {
        Prompts::warning(m_owner, QCoreApplication::translate("MainDialog", "错误"),
                         QCoreApplication::translate("MainDialog", "无法读取这次运行：%1").arg(m_journal->message()));
        return;
    }
    emit csvExportRequested(log, model);
}

void RunHistoryController::exportPng(qint64 id)
{
    if (m_storedId != id)
        openStoredRun(id);
    if (m_storedId == id)
        emit pngExportRequested();
}

void RunHistoryController::compare(const QVector<qint64> &ids)
{
    for (qint64 id : ids)
        emit aboutToRead(id);
    showComparison(new CompareWindow(m_journal, ids, m_window ? static_cast<QWidget *>(m_window) : m_owner));
}

void RunHistoryController::openBench(qint64 benchId)
{
    const JournalBench bench = m_journal->bench(benchId);
    for (const JournalBench::Member &m : bench.members)
        emit aboutToRead(m.run);
    showComparison(new CompareWindow(m_journal, bench, m_window ? static_cast<QWidget *>(m_window) : m_owner));
}

void RunHistoryController::showComparison(CompareWindow *window)
{
    if (!window->isLoaded()) {
        Prompts::warning(m_window, QCoreApplication::translate("MainDialog", "错误"), window->error());
        delete window;
        return;
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void RunHistoryController::report(qint64 id)
{
    if (!id)
        return;
    QString runName;
    for (const JournalRun &run : m_journal->runs())
        if (run.id == id)
            runName = run.name;
    writeReport(runName, {id}, [this, id](const QString &path, bool html, QString *why) {
        return RunReport::writeRun(*m_journal, id, path, html, why);
    });
}

void RunHistoryController::reportBench(qint64 benchId)
{
    const JournalBench bench = m_journal->bench(benchId);
    if (!bench.id)
        return;
    QVector<qint64> runs;
    for (const JournalBench::Member &m : bench.members)
        runs << m.run;
    writeReport(bench.name, runs, [this, benchId](const QString &path, bool html, QString *why) {
        return RunReport::writeBench(*m_journal, benchId, path, html, why);
    });
}

void RunHistoryController::writeReport(const QString &name, const QVector<qint64> &runs,
                                       const std::function<bool(const QString &, bool, QString *)> &write)
{
    const QString path = Prompts::getSaveFileName(m_window, QCoreApplication::translate("RunHistoryWindow", "报告"),
                                                  RunReport::fileName(name, QStringLiteral(".pdf")),
                                                  QStringLiteral("PDF (*.pdf);;HTML (*.html)"));
    if (path.isEmpty())
        return;
    for (qint64 id : runs)
        emit aboutToRead(id);
    const bool html = path.endsWith(QLatin1String(".html"), Qt::CaseInsensitive)
                      || path.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive);
    QString why;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = write(path, html, &why);
    QApplication::restoreOverrideCursor();
    if (!ok)
        Prompts::warning(m_window, QCoreApplication::translate("MainDialog", "错误"),
                         QCoreApplication::translate("MainDialog", "无法写入 %1：%2").arg(path, why));
}
