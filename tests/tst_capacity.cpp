// Runs that end by themselves, started from page six with the simulated
// meter's measurements on the window's injected clocks: each stop condition,
// a dip of the current shorter than its time, and an unplugged meter in the
// middle of a run; and the same run kept by the window and by `ombrel-sim
// record`.
#include "base/setting.h"
#include "charts/chartview.h"
#include "charts/livechart.h"
#include "charts/marklines.h"
#include "device/meterreading.h"
#include "recording/liverun.h"
#include "recording/runjournal.h"
#include "simulator.h"
#include "ui/capacitypage.h"
#include "ui/maindialog.h"
#include "ui/markcontroller.h"
#include "ui/prompts.h"
#include "ui_maindialog.h"
#include "windowinput.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGraphicsLineItem>
#include <QGraphicsSimpleTextItem>
#include <QProcess>
#include <QTemporaryDir>
#include <QtCharts/QChart>
#include <QtTest>

#include <memory>

namespace {

const qint64 kNoon = QDateTime(QDate(2026, 12, 7), QTime(12, 0, 0)).toMSecsSinceEpoch();

} // namespace

class TestCapacity : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;
    sim::Meter *m_meter = nullptr;
    qint64 m_now = kNoon;
    qint64 m_steady = 0;

    // A window with the meter plugged in, on the test's clocks and ticks.
    std::unique_ptr<MainDialog> dialog()
    {
        auto d = std::make_unique<MainDialog>();
        d->chartTimer().stop();
        d->dashboardTimer().stop();
        d->setClock([this] { return m_now; }, [this] { return m_steady; });
        return d;
    }

    // One second of the run: the meter measures v and i, the dashboard
    // reads it, the chart tick records it.
    void second(MainDialog &d, double v, double i, qint64 ms = 1000)
    {
        m_meter->inject(sim::measurementReport(v, i, v * i, 0.6, 0, 1.68, 0, 30, 25, 0, 0, 1));
        d.dashboardTick();
        m_now += ms;
        m_steady += ms;
        d.chartTick();
    }

    // A value typed into a field as a user does: a click into it, its
    // number selected, the new one typed, Tab to leave it; keys go to the
    // window, which hands them to the field with the focus.
    static void typeInto(QDoubleSpinBox *box, double value)
    {
        QWindow *top = box->window()->windowHandle();
        clickOn(box);
        QTest::keyClick(top, Qt::Key_A, Qt::ControlModifier);
        for (const QChar c : QString::number(value, 'g', 10))
            QTest::keyClick(top, c.toLatin1());
        QTest::keyClick(top, Qt::Key_Tab);
        QCOMPARE(box->value(), value);
    }

    // The window shown on page six.
    static void openPageSix(MainDialog &d)
    {
        Ui::MainDialog *f = d.form();
        d.resize(1400, 900);
        d.show();
        QVERIFY(QTest::qWaitForWindowActive(&d));
        if (f->disp_stackedWidget->currentIndex() != 0)
            clickOn(f->disp_btnReturn);   // home, from the page a plugged meter opened
        QCOMPARE(f->disp_stackedWidget->currentIndex(), 0);
        clickOn(f->tbtn6);
        QCOMPARE(f->disp_stackedWidget->currentIndex(), 6);
    }

    // A condition switched on and its value(s) typed on page six.
    static void choose(MainDialog &d, StopConditions::Kind kind, double value, double seconds = 0)
    {
        CapacityPage *page = d.capacityPage();
        if (!page->check(kind)->isChecked())
            clickOn(page->check(kind));
        QVERIFY(page->check(kind)->isChecked());
        typeInto(page->value(kind), value);
        if (kind == StopConditions::CurrentBelow)
            typeInto(page->seconds(), seconds);
    }

private slots:
    void init()
    {
        sim::reset();
        meterReading() = MeterReading();
        m_dir.reset(new QTemporaryDir);
        QVERIFY(QDir::setCurrent(m_dir->path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir->filePath(QStringLiteral("data"))));
        sim::Identity id;
        id.product = L"SIM M512X V1.2";
        m_meter = &sim::attach(id);
        m_meter->setReportRate(0);
        m_now = kNoon;
        m_steady = 86400000;
    }

    // The current below 0.05 A for 10 s ends a charge; a shorter dip does
    // not. The page, the tip line and the end reason say which condition
    // ended it; the chart keeps the run; the settings file keeps the choice.
    void chargeComplete()
    {
        auto d = dialog();
        Ui::MainDialog *f = d->form();
        openPageSix(*d);
        QVERIFY(f->six_label_tips->isHidden());
        CapacityPage *page = d->capacityPage();
        choose(*d, StopConditions::CurrentBelow, 0.05, 10);
        second(*d, 9, 2);   // the run from before
        // The page says the ticked condition does not apply to it, and what
        // Start ends.
        QCOMPARE(page->appliesLabel()->text(), QStringLiteral("当前运行不是从本页开始的：它不按任何条件停止。"));
        QVERIFY2(page->startNote()->text().startsWith(QStringLiteral("“开始记录”将结束当前运行（已运行 "))
                     && page->startNote()->text().contains(QStringLiteral("，1 条记录，已保存在历史记录中）")),
                 qPrintable(page->startNote()->text()));
        // The next run's name and fields, typed here.
        for (const auto &typed : {std::make_pair(CapacityPage::Name, "Phone test"), std::make_pair(CapacityPage::Dut, "Phone X"),
                                  std::make_pair(CapacityPage::Ambient, "24.5")}) {
            clickOn(page->field(typed.first));
            QTest::keyClicks(page->field(typed.first), QLatin1String(typed.second));
        }
        clickOn(page->startButton());
        QVERIFY(d->isPlotting());
        QCOMPARE(d->readingLog().size(), 0);
        QCOMPARE(page->appliesLabel()->text(), QStringLiteral("当前运行满足以下任一条件时停止：电流低于 0.05 A 持续 10 秒"));

        for (int k = 0; k < 5; ++k)
            second(*d, 9, 1.5);
        // Nine seconds below, then up again: the run goes on.
        for (int k = 0; k < 10; ++k)
            second(*d, 9, 0.02);
        second(*d, 9, 0.8);
        QVERIFY(d->isPlotting());
        // 7.35 A s and 66.15 W s over sixteen records.
        QCOMPARE(page->liveLabel()->text(), QStringLiteral("已运行 0:00:16    电量 0.0020 Ah    能量 0.0184 Wh"));
        for (int k = 0; k < 10; ++k)
            second(*d, 9, 0.03);
        QVERIFY(d->isPlotting());
        // Ten seconds after the first below, as near as the tick comes: a
        // record three milliseconds early ends the run all the same.
        second(*d, 9, 0.03, 997);
        QVERIFY(!d->isPlotting());
        QCOMPARE(d->liveRun()->endReason(), QStringLiteral("current_below:0.05:10"));
        // The history keeps the run with the condition that ended it.
        std::vector<JournalRun> kept = d->journal()->runs();
        const JournalRun last = *std::max_element(kept.begin(), kept.end(),
                                                  [](const JournalRun &a, const JournalRun &b) { return a.id < b.id; });
        QCOMPARE(last.endReason, QStringLiteral("current_below:0.05:10"));
        QCOMPARE(last.records, 27);
        QCOMPARE(last.name, QStringLiteral("Phone test"));
        QCOMPARE(last.fields.dut, QStringLiteral("Phone X"));
        QCOMPARE(last.fields.ambientC, 24.5);
        QVERIFY2(page->endLabel()->text().startsWith(QStringLiteral("已满足停止条件：电流低于 0.05 A 持续 10 秒。")),
                 qPrintable(page->endLabel()->text()));
        QCOMPARE(f->label_left_tips->text(), QStringLiteral("记录已按条件停止：电流低于 0.05 A 持续 10 秒"));
        QCOMPARE(d->readingLog().size(), 27);
        second(*d, 9, 0.03);
        QCOMPARE(d->readingLog().size(), 27);
        QCOMPARE(Setting().read(QStringLiteral("StopCurrentBelow")), QStringLiteral("1;0.05:10"));
        // The next run: the tip of the last one's end goes.
        clickOn(page->startButton());
        QVERIFY(d->isPlotting());
        QCOMPARE(f->label_left_tips->text(), QString());

        // A new window takes the conditions from the settings file.
        d.reset();
        auto again = dialog();
        QVERIFY(again->capacityPage()->check(StopConditions::CurrentBelow)->isChecked());
        QCOMPARE(again->capacityPage()->seconds()->value(), 10.0);
        QVERIFY(!again->capacityPage()->check(StopConditions::Charge)->isChecked());
    }

    void eachCondition_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("volts");
        QTest::addColumn<double>("voltsPerSecond");
        QTest::addColumn<double>("amps");
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("sleepAfter");
        // 4.2 V less 0.1 V a second: 3.1 V at the twelfth record.
        QTest::newRow("voltage") << int(StopConditions::VoltageBelow) << 3.2 << 4.2 << -0.1 << 1.0 << 12
                                 << "voltage_below:3.2" << -1;
        // 2 A: 0.01 Ah in 18 s, after the nineteenth record.
        QTest::newRow("charge") << int(StopConditions::Charge) << 0.01 << 5.0 << 0.0 << 2.0 << 19
                                << "charge:0.01" << -1;
        QTest::newRow("energy") << int(StopConditions::Energy) << 0.05 << 5.0 << 0.0 << 2.0 << 19
                                << "energy:0.05" << -1;
        QTest::newRow("duration") << int(StopConditions::Duration) << 30.0 << 5.0 << 0.0 << 2.0 << 30
                                  << "duration:30" << -1;
        // The computer sleeps a minute after the third record: the sleep
        // counts, as it does for ombrel record, so the fourth ends the run.
        QTest::newRow("duration over a sleep") << int(StopConditions::Duration) << 30.0 << 5.0 << 0.0 << 2.0 << 4
                                               << "duration:30" << 2;
    }

    void eachCondition()
    {
        QFETCH(int, kind);
        QFETCH(double, value);
        QFETCH(double, volts);
        QFETCH(double, voltsPerSecond);
        QFETCH(double, amps);
        QFETCH(int, records);
        QFETCH(QString, reason);
        QFETCH(int, sleepAfter);
        auto d = dialog();
        openPageSix(*d);
        choose(*d, StopConditions::Kind(kind), value);
        clickOn(d->capacityPage()->startButton());
        auto secondAfter = [&](int k) { return sleepAfter >= 0 && k == sleepAfter + 1 ? 61000 : 1000; };
        for (int k = 0; k < records - 1; ++k) {
            second(*d, volts + voltsPerSecond * k, amps, secondAfter(k));
            QVERIFY2(d->isPlotting(), qPrintable(QString::number(k)));
        }
        second(*d, volts + voltsPerSecond * (records - 1), amps, secondAfter(records - 1));
        QVERIFY(!d->isPlotting());
        const ReadingLog &log = d->readingLog();
        QCOMPARE(log.size(), records);
        QCOMPARE(d->liveRun()->endReason(), reason);
        if (sleepAfter >= 0) {
            QCOMPARE(log.timeMs(sleepAfter + 1) - log.timeMs(sleepAfter), qint64(61000));
            QCOMPARE(log.runMs(sleepAfter + 1) - log.runMs(sleepAfter), qint64(61000));
        }
    }

    void marksStayOnTheEndedRun_data()
    {
        QTest::addColumn<bool>("byCondition");
        QTest::newRow("stopped") << false;
        QTest::newRow("condition") << true;
    }

    // A mark made during a run stays drawn on its chart once the run ends,
    // stopped with ▶ or by its duration, also after the marks are read again.
    void marksStayOnTheEndedRun()
    {
        QFETCH(bool, byCondition);
        auto d = dialog();
        Ui::MainDialog *f = d->form();
        openPageSix(*d);
        choose(*d, StopConditions::Duration, 6);
        clickOn(d->capacityPage()->startButton());
        clickOn(f->six_btnReturn);
        clickOn(f->tbtn3);
        QCOMPARE(f->disp_stackedWidget->currentIndex(), 2);
        for (int k = 0; k < 3; ++k)
            second(*d, 5, 1);
        Prompts::setTextHandler([](QWidget *, const QString &, const QString &, QString &text) {
            text = QStringLiteral("load on");
            return true;
        });
        QTest::keyClick(d->windowHandle(), Qt::Key_M, Qt::ControlModifier);
        Prompts::setTextHandler(nullptr);
        MarkLines *lines = d->markController()->lines();
        QCOMPARE(lines->count(), 1);
        if (byCondition) {
            for (int k = 0; k < 3; ++k)
                second(*d, 5, 1);
            QCOMPARE(d->liveRun()->endReason(), QStringLiteral("duration:6"));
        } else {
            clickOn(f->disp_Btn_Run);
        }
        QVERIFY(!d->isPlotting());
        // Marking it now is refused: it is marked from the history.
        QStringList warned;
        Prompts::setWarningHandler([&](QWidget *, const QString &, const QString &text) { warned << text; });
        QTest::keyClick(d->windowHandle(), Qt::Key_M, Qt::ControlModifier);
        Prompts::setWarningHandler(nullptr);
        QCOMPARE(warned, QStringList(QStringLiteral("没有正在记录的运行可以标记。")));
        QTest::qWait(1500);   // the marks read again from the journal
        QCOMPARE(lines->count(), 1);
        QCOMPARE(lines->label(0)->text(), QStringLiteral("load on"));
        QVERIFY(lines->line(0)->isVisible());
        // On the screen: orange down the line's column of the plot, and
        // beside it only where curves cross.
        QtCharts::QChart *chart = d->liveChart()->chart();
        const QImage shot = d->chartView()->grab().toImage();
        const QRectF plot = chart->plotArea();
        auto orange = [&](double x) {
            int rows = 0;
            for (double y = plot.top() + 1; y < plot.bottom() - 1; ++y) {
                int most = 0;
                for (int dx = -1; dx <= 1; ++dx) {
                    const QColor c = shot.pixelColor(d->chartView()->mapFromScene(chart->mapToScene(QPointF(x, y))) + QPoint(dx, 0));
                    most = std::max(most, c.red() - c.blue());
                }
                rows += most > 40;
            }
            return rows;
        };
        const double x = lines->line(0)->line().x1();
        QVERIFY2(orange(x) > plot.height() / 3, qPrintable(QString::number(orange(x))));
        QVERIFY2(orange(x + 20) < 20, qPrintable(QString::number(orange(x + 20))));   // the curves that cross it
    }

    // The meter pulled out in the middle: the run waits for it, goes on
    // when it is back, and the time below the current level counts from the
    // first record after the gap. A duration that passes while it is out
    // ends the run at its return.
    void unpluggedInTheMiddle()
    {
        auto d = dialog();
        openPageSix(*d);
        choose(*d, StopConditions::CurrentBelow, 0.05, 10);
        clickOn(d->capacityPage()->startButton());
        for (int k = 0; k < 5; ++k)
            second(*d, 5, 0.01);
        m_meter->unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!d->isPlotting(), 5000);
        m_now += 30000;
        m_steady += 30000;
        d->chartTick();
        m_meter->plug();
        QTRY_VERIFY_WITH_TIMEOUT(d->isPlotting(), 5000);
        QCOMPARE(d->readingLog().size(), 5);
        for (int k = 0; k < 10; ++k)
            second(*d, 5, 0.01);
        QVERIFY(d->isPlotting());
        second(*d, 5, 0.01);
        QVERIFY(!d->isPlotting());
        QCOMPARE(d->readingLog().size(), 16);
        QCOMPARE(d->liveRun()->endReason(), QStringLiteral("current_below:0.05:10"));

        clickOn(d->capacityPage()->check(StopConditions::CurrentBelow));
        QVERIFY(!d->capacityPage()->check(StopConditions::CurrentBelow)->isChecked());
        choose(*d, StopConditions::Duration, 20);
        clickOn(d->capacityPage()->startButton());
        QCOMPARE(d->liveRun()->endReason(), QString());
        for (int k = 0; k < 5; ++k)
            second(*d, 5, 1);
        m_meter->unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!d->isPlotting(), 5000);
        m_now += 30000;
        m_steady += 30000;
        m_meter->plug();
        QTRY_VERIFY_WITH_TIMEOUT(d->isPlotting(), 5000);
        second(*d, 5, 1);
        QVERIFY(!d->isPlotting());
        QCOMPARE(d->liveRun()->endReason(), QStringLiteral("duration:20"));
        QCOMPARE(d->readingLog().size(), 6);
    }

    // One run through both paths: `ombrel-sim record` ends a discharge after
    // 4 s; the window, driven as a user drives it (page six, duration 4 s),
    // is given the same meter readings at the same times on its clocks. Both
    // journals then hold the same run: the same records, statistics and end.
    void windowAndCommandLineKeepTheSameRun()
    {
        const QString cliData = m_dir->filePath(QStringLiteral("cli"));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("XDG_DATA_HOME"), cliData);
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(m_dir->path());
        p.start(QStringLiteral(OMBREL_SIM_BINARY),
                {QStringLiteral("--sim-scenario"), QStringLiteral("discharge"), QStringLiteral("record"),
                 QStringLiteral("--until-duration"), QStringLiteral("4")});
        QVERIFY(p.waitForFinished(60000));
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, p.readAllStandardError().constData());

        auto d = dialog();
        d->resize(1400, 900);
        d->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.get()));
        RunJournal cli;
        QVERIFY(cli.open(cliData + QStringLiteral("/ombrel/runs.sqlite"), RunJournal::Mode::Read));
        const std::vector<JournalRun> cliRuns = cli.runs();
        QCOMPARE(int(cliRuns.size()), 1);
        const JournalRun &c = cliRuns.front();
        ReadingLog cliLog;
        QVERIFY(cli.load(c.id, cliLog));
        QVERIFY2(cliLog.size() >= 4 && cliLog.size() <= 6, qPrintable(QString::number(cliLog.size())));
        // A discharge at 1 A from 4.2 V.
        QVERIFY(qAbs(cliLog.value(ReadingLog::Ibus, 0) - 1.0f) < 0.01f);
        QVERIFY(cliLog.value(ReadingLog::Vbus, 0) > 4.1f && cliLog.value(ReadingLog::Vbus, 0) < 4.21f);

        // The window: page six, 4 s, Start; the command line's run's start
        // and each of its records on the window's clocks.
        Ui::MainDialog *f = d->form();
        if (f->disp_stackedWidget->currentIndex() != 0)
            clickOn(f->disp_btnReturn);
        clickOn(f->tbtn6);
        choose(*d, StopConditions::Duration, 4);
        m_now = c.startMs;
        m_steady = c.startMs;
        clickOn(d->capacityPage()->startButton());
        QVERIFY(d->isPlotting());
        for (int i = 0; i < cliLog.size(); ++i) {
            QVERIFY2(d->isPlotting(), qPrintable(QString::number(i)));
            auto v = [&](ReadingLog::Column column) { return double(cliLog.value(column, i)); };
            m_meter->inject(sim::measurementReport(v(ReadingLog::Vbus), v(ReadingLog::Ibus), v(ReadingLog::Power),
                                                   v(ReadingLog::Pd), v(ReadingLog::Pm), v(ReadingLog::Cc1),
                                                   v(ReadingLog::Cc2), v(ReadingLog::CpuTemp), v(ReadingLog::CpuTemp),
                                                   v(ReadingLog::Cap), v(ReadingLog::Ele), 1));
            d->dashboardTick();
            m_now = cliLog.timeMs(i);
            m_steady = cliLog.runMs(i);
            d->chartTick();
        }
        QVERIFY(!d->isPlotting());

        std::vector<JournalRun> kept = d->journal()->runs();
        QCOMPARE(int(kept.size()), 1);   // the run begun at the plug had no record
        const JournalRun &w = kept.front();
        QCOMPARE(c.endReason, QStringLiteral("duration:4"));
        QCOMPARE(w.endReason, c.endReason);
        QCOMPARE(w.model, QStringLiteral("M512X"));
        QCOMPARE(w.serial, QStringLiteral("0012345678"));
        QCOMPARE(c.model, w.model);
        QCOMPARE(c.version, w.version);
        QCOMPARE(c.serial, w.serial);
        QCOMPARE(w.startMs, c.startMs);
        QCOMPARE(w.records, c.records);
        QCOMPARE(w.duration_s, c.duration_s);
        QCOMPARE(w.charge_ah, c.charge_ah);
        QCOMPARE(w.energy_wh, c.energy_wh);
        QCOMPARE(w.vbus_max, c.vbus_max);
        QCOMPARE(w.ibus_max, c.ibus_max);
        QCOMPARE(w.power_max, c.power_max);
        QCOMPARE(w.cap_start_ah, c.cap_start_ah);
        QCOMPARE(w.cap_end_ah, c.cap_end_ah);
        QCOMPARE(w.ele_start_wh, c.ele_start_wh);
        QCOMPARE(w.ele_end_wh, c.ele_end_wh);
        // Three to four seconds at 1 A between the first record and the last.
        QVERIFY2(c.charge_ah > 0.0008 && c.charge_ah < 0.0012, qPrintable(QString::number(c.charge_ah)));
        ReadingLog windowLog;
        QVERIFY(d->journal()->load(w.id, windowLog));
        QCOMPARE(windowLog.size(), cliLog.size());
        for (int i = 0; i < cliLog.size(); ++i) {
            QCOMPARE(windowLog.runMs(i), cliLog.runMs(i));
            QCOMPARE(windowLog.timeMs(i), cliLog.timeMs(i));
            for (int k = 0; k < ReadingLog::ColumnCount; ++k)
                QCOMPARE(windowLog.value(ReadingLog::Column(k), i), cliLog.value(ReadingLog::Column(k), i));
        }
        const IntervalStats ws = d->journal()->statsOfRecords(w.id, 0, w.records - 1);
        const IntervalStats cs = cli.statsOfRecords(c.id, 0, c.records - 1);
        QCOMPARE(ws.vbus.min, cs.vbus.min);
        QCOMPARE(ws.vbus.mean, cs.vbus.mean);
        QCOMPARE(ws.power.mean, cs.power.mean);
        QCOMPARE(ws.meter_cap_ah, cs.meter_cap_ah);
        // The window's own figures of the run are those kept.
        QCOMPARE(d->liveRun()->stats().total().charge_ah, c.charge_ah);
    }
};

QTEST_MAIN(TestCapacity)
#include "tst_capacity.moc"
