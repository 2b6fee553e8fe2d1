// Page six: runs that end by themselves when a stop condition is met, and the
// run's statistics that the conditions and the cursors' panel read.
#include "ui/maindialog.h"

#include "ui_maindialog.h"

#include "base/setting.h"
#include "charts/measurecursors.h"
#include "ui/capacitypage.h"

#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QPushButton>

void MainDialog::initCapacityPage()
{
    ui->six_label_tips->hide();
    m_capacity = new CapacityPage(ui->page_six);
    m_capacity->setGeometry(40, 50, 900, 520);
    const Setting settings;
    for (int k = 0; k < StopConditions::KindCount; ++k) {
        const auto kind = StopConditions::Kind(k);
        m_stops.setFromSetting(kind, settings.read(StopConditions::settingKey(kind)));
    }
    m_capacity->setConditions(m_stops);
    connect(m_capacity, &CapacityPage::conditionsChanged, this, [this] {
        // The run under way follows the new values at once.
        const StopConditions chosen = m_capacity->conditions();
        Setting settings;
        for (int k = 0; k < StopConditions::KindCount; ++k) {
            const auto kind = StopConditions::Kind(k);
            m_stops[kind] = chosen[kind];
            settings.write(StopConditions::settingKey(kind), m_stops.settingText(kind));
        }
    });
    connect(m_capacity, &CapacityPage::startClicked, this, &MainDialog::startConditionRun);
    connect(m_capacity, &CapacityPage::stopClicked, this, [this] {
        if (m_plotting || m_runResumable)
            runStop();
        m_stopsArmed = false;
        showCapacityRun();
    });
}

void MainDialog::retranslateCapacityPage()
{
    m_capacity->retranslate();
}

void MainDialog::startConditionRun()
{
    runStart();
    m_stopsArmed = true;
    showCapacityRun();
}

void MainDialog::runStatsStarted()
{
    m_stats.clear();
    m_stops.reset();
    m_stopsArmed = false;
    m_runStartMs = chartNow();
    m_endReason.clear();
    m_capacity->showEnd(QString());
    if (m_cursors->isSet() && !showsStoredRun())
        showIntervalStats();
    showCapacityRun();
}

void MainDialog::showCapacityRun()
{
    m_capacity->showRun(m_plotting || m_runResumable, chartNow() - m_runStartMs, m_stats.total());
}

void MainDialog::runStatsRecorded()
{
    const qint64 previousEnd = m_stats.size() > 0 ? m_stats.sample(m_stats.size() - 1).runMs : m_runStartMs;
    for (int i = m_stats.size(); i < m_log.size(); ++i) {
        m_stats.append(m_log, i);
        m_stops.recorded(m_stats);
    }
    // Cursors on a stored run shown instead stay where they are.
    if (m_cursors->isSet() && !showsStoredRun()) {
        // A cursor at the end of the run stays there as it grows.
        m_cursors->followEnd(previousEnd, m_stats.sample(m_stats.size() - 1).runMs);
        showIntervalStats();
    }
    const qint64 elapsed = chartNow() - m_runStartMs;
    if (!m_stopsArmed) {
        showCapacityRun();
        return;
    }
    const std::optional<StopConditions::Kind> met = m_stops.met(m_stats, elapsed, m_chartTimer.interval());
    if (!met) {
        showCapacityRun();
        return;
    }
    m_endReason = m_stops.reason(*met);
    m_stopsArmed = false;
    runStop();
    const IntervalStats total = m_stats.total();
    const QString condition = CapacityPage::describe(m_stops, *met);
    m_capacity->showRun(false, elapsed, total);
    m_capacity->showEnd(tr("已满足停止条件：%1。记录：时长 %2，电量 %3 Ah，能量 %4 Wh，%5 条记录")
                            .arg(condition, CapacityPage::elapsedText(elapsed),
                                 QString::number(total.charge_ah, 'f', 4), QString::number(total.energy_wh, 'f', 4))
                            .arg(total.records));
    ui->label_left_tips->setText(tr("记录已按条件停止：%1").arg(condition));
    QApplication::alert(this);
}
