// Page six: runs that end by themselves when a stop condition is met.
#include "ui/capacitycontroller.h"

#include "base/setting.h"
#include "base/timetext.h"
#include "recording/liverun.h"
#include "ui/capacitypage.h"
#include "ui/prompts.h"

#include <QApplication>
#include <QCoreApplication>
#include <QWidget>

CapacityController::CapacityController(QWidget *page, LiveRun &run, QObject *parent)
    : QObject(parent), m_run(run)
{
    m_page = new CapacityPage(page);
    m_page->setGeometry(40, 50, 900, 520);
    const Setting settings;
    for (int k = 0; k < StopConditions::KindCount; ++k) {
        const auto kind = StopConditions::Kind(k);
        m_stops.setFromSetting(kind, settings.read(StopConditions::settingKey(kind)));
    }
    m_page->setConditions(m_stops);
    m_run.setConditions(m_stops);
    connect(m_page, &CapacityPage::conditionsChanged, this, [this] {
        // The run under way follows the new values at once.
        const StopConditions chosen = m_page->conditions();
        Setting settings;
        for (int k = 0; k < StopConditions::KindCount; ++k) {
            const auto kind = StopConditions::Kind(k);
            m_stops[kind] = chosen[kind];
            settings.write(StopConditions::settingKey(kind), m_stops.settingText(kind));
        }
        m_run.setConditions(m_stops);
        showRun();
    });
    connect(m_page, &CapacityPage::startClicked, this, [this] {
        RunFields fields;
        if (!m_page->runFields(&fields)) {
            Prompts::warning(m_page->window(), QCoreApplication::translate("MainDialog", "错误"),
                             QCoreApplication::translate("RunNotesPanel", "环境温度应为摄氏度数，如 25 或 -5.5。"));
            return;
        }
        emit startRequested(m_page->runName(), fields);
    });
    connect(m_page, &CapacityPage::stopClicked, this, [this] {
        m_run.stop();
        m_run.armConditions(false);
        showRun();
    });
    connect(&m_run, &LiveRun::begun, this, [this] {
        m_page->showEnd(QString());
        if (!m_tipSaid.isEmpty())
            emit tipWithdrawn(m_tipSaid);
        m_tipSaid.clear();
        showRun();
    });
    connect(&m_run, &LiveRun::ended, this, &CapacityController::showRun);
}

void CapacityController::retranslate()
{
    m_page->retranslate();
}

void CapacityController::showRun()
{
    m_page->showRun(m_run.underWay(), m_run.elapsedMs(), m_run.stats().total(), m_run.conditionsArmed(),
                    int(m_run.records()));
}

void CapacityController::tick(int tickMs)
{
    const std::optional<StopConditions::Kind> met = m_run.checkConditions(tickMs);
    if (!met) {
        showRun();
        return;
    }
    const IntervalStats total = m_run.stats().total();
    const qint64 elapsedMs = m_run.elapsedMs();
    const QString condition = StopConditions::conditionWords(*met, m_run.conditions()[*met]);
    m_page->showRun(false, elapsedMs, total);
    m_page->showEnd(QCoreApplication::translate("MainDialog", "已满足停止条件：%1。记录：时长 %2，电量 %3 Ah，能量 %4 Wh，%5 条记录")
                        .arg(condition, TimeText::runDuration(total.duration_s),
                             QString::number(total.charge_ah, 'f', 4), QString::number(total.energy_wh, 'f', 4))
                        .arg(total.records));
    m_tipSaid = QCoreApplication::translate("MainDialog", "记录已按条件停止：%1").arg(condition);
    emit tip(m_tipSaid);
    QApplication::alert(m_page->window());
}
