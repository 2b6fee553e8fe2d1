// The live chart in the main window, driven by an injected clock: run start
// and time following, automatic ranges and curve groups, custom ranges, the
// view's wheel, pan, right click and read-out, curve styles, and a week of
// samples drawn exactly.
#include "base/setting.h"
#include "app/startup.h"
#include "charts/chartview.h"
#include "charts/customcoordinates.h"
#include "charts/livechart.h"
#include "charts/measurecursors.h"
#include "device/meterreading.h"
#include "simulator.h"
#include "ui/maindialog.h"
#include "ui/prompts.h"
#include "ui/statspanel.h"
#include "ui_maindialog.h"
#include "windowinput.h"

#include <QClipboard>
#include <QComboBox>
#include <QGraphicsLineItem>
#include <QRandomGenerator>
#include <QGraphicsSimpleTextItem>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QXYSeries>
#include <QtTest>

#include <memory>

QT_CHARTS_USE_NAMESPACE

namespace {

const qint64 kNoon = QDateTime(QDate(2026, 12, 7), QTime(12, 0, 0)).toMSecsSinceEpoch();

const char kActive[] = "color: rgb(255, 255, 0);border:2px groove green;border-radius:10px;padding:2px 4px;"
                       "border-style: outset;}QPushButton:hover";

QStringList labels(QCategoryAxis *axis)
{
    return axis->categoriesLabels();
}

QString degrees(const char *number)
{
    return QString::fromUtf8(number) + QString::fromUtf8("\u2103");
}

bool active(QPushButton *b)
{
    return b->styleSheet().startsWith(QLatin1String("QPushButton{background-color:rgb(62, 62, 62); ") + kActive);
}

template <typename W>
W *cell(QTableView *table, int row, int column)
{
    return table->indexWidget(table->model()->index(row, column))->findChild<W *>();
}

// The wheel turned over a point of a widget, given to its top-level window,
// which hands it to the widget under the pointer as Qt does.
void wheel(QWidget *view, QPoint pos, int delta)
{
    QWidget *top = view->window();
    const QPoint at = view->mapTo(top, pos);
    QWheelEvent e(QPointF(at), QPointF(top->mapToGlobal(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                  QGuiApplication::keyboardModifiers(), Qt::NoScrollPhase, false);
    QApplication::sendEvent(top->windowHandle(), &e);
}

// A mouse press, move or release at a point of a widget, through its
// top-level window.
void mouse(QWidget *view, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held)
{
    Q_UNUSED(held)
    QWindow *top = view->window()->windowHandle();
    const QPoint at = view->mapTo(view->window(), pos);
    if (type == QEvent::MouseButtonPress)
        QTest::mousePress(top, button, Qt::NoModifier, at);
    else if (type == QEvent::MouseButtonRelease)
        QTest::mouseRelease(top, button, Qt::NoModifier, at);
    else
        QTest::mouseMove(top, at);
}

} // namespace

class TestLiveChart : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;
    qint64 m_now = kNoon;
    // The steady clock, on a count of its own.
    qint64 m_steady = 0;
    sim::Meter *m_meter = nullptr;

    // A window on the test's clocks, its own chart timer still, with a meter
    // that has measured (what it shows is then what each test sets) and no
    // run under way.
    std::unique_ptr<MainDialog> dialog(bool shown = false)
    {
        sim::Meter &meter = sim::attach(sim::Identity());
        meter.setReportRate(0);
        m_meter = &meter;
        auto d = std::make_unique<MainDialog>();
        d->chartTimer().stop();
        d->dashboardTimer().stop();
        d->setClock([this] { return m_now; }, [this] { return m_steady; });
        if (d->isPlotting())
            d->form()->disp_Btn_Run->click();
        meterMeasures(*d, meter);
        if (shown) {
            d->show();
            if (!QTest::qWaitForWindowExposed(d.get()))
                return nullptr;
        }
        return d;
    }

    void tick(MainDialog &d, qint64 ms = 1000)
    {
        m_now += ms;
        m_steady += ms;
        d.chartTick();
    }

    // The mouse moved, through the window, onto the chart at time t (ms) in
    // the middle of the plot's height; the read-out's text.
    static QString hover(MainDialog &d, qint64 t, int shownChannel = VBUS)
    {
        QtCharts::QChart *chart = d.liveChart()->chart();
        const QPointF at(chart->mapToPosition(QPointF(double(t), 0), d.liveChart()->series(shownChannel)).x(),
                         chart->plotArea().center().y());
        const QPoint inView = d.chartView()->mapFromScene(chart->mapToScene(at));
        QTest::mouseMove(d.windowHandle(), d.chartView()->viewport()->mapTo(&d, inView));
        return d.chartView()->hoverItem() ? d.chartView()->hoverItem()->text() : QString();
    }

    // A point of the plot in the window, at a chart x and the plot's middle height.
    static QPoint plotPoint(MainDialog &d, double chartX)
    {
        QtCharts::QChart *chart = d.liveChart()->chart();
        const QPointF at(chartX, chart->plotArea().center().y());
        return d.chartView()->viewport()->mapTo(&d, d.chartView()->mapFromScene(chart->mapToScene(at)));
    }

    static double chartXOf(MainDialog &d, qint64 t)
    {
        return d.liveChart()->chart()->mapToPosition(QPointF(double(t), 0), d.liveChart()->series(VBUS)).x();
    }

    // A figure of the statistics panel, without its unit.
    static double figure(MainDialog &d, const char *name)
    {
        auto *label = d.statsPanel()->findChild<QLabel *>(QLatin1String(name));
        return label ? label->text().split(QLatin1Char(' ')).first().toDouble() : -1.0;
    }

    static qint64 axisMin(MainDialog &d) { return d.liveChart()->axisX()->min().toMSecsSinceEpoch(); }
    static qint64 axisMax(MainDialog &d) { return d.liveChart()->axisX()->max().toMSecsSinceEpoch(); }

private slots:
    void initTestCase()
    {
        Startup::applyLook(*qApp);
    }

    void init()
    {
        sim::reset();
        meterReading() = MeterReading();
        viewHeld = false;
        m_now = kNoon;
        m_steady = 86400000;
        m_dir.reset(new QTemporaryDir);
        QVERIFY(QDir::setCurrent(m_dir->path()));
    }

    void cleanup()
    {
        Prompts::setTextHandler(nullptr);
        Prompts::setColorHandler(nullptr);
    }

    void firstTicksFollowTheRun_data()
    {
        QTest::addColumn<bool>("scroll");
        QTest::newRow("accumulate") << false;
        QTest::newRow("scroll") << true;
    }

    void firstTicksFollowTheRun()
    {
        QFETCH(bool, scroll);
        auto d = dialog(true);
        QVERIFY(d);
        if (scroll)
            d->onAct5Clicked_Slot();
        m_now = kNoon + 250;
        d->form()->disp_Btn_Run->click();
        QVERIFY(d->isPlotting());
        QCOMPARE(d->form()->disp_Btn_Run->toolTip(), QStringLiteral("停止"));
        QCOMPARE(axisMin(*d), kNoon + 250);
        QCOMPARE(axisMax(*d), kNoon + 10250);
        QCOMPARE(d->liveChart()->plotStartSecs(), kNoon / 1000);
        QCOMPARE(d->liveChart()->plotFirstEndSecs(), kNoon / 1000 + 10);

        // The first ten ticks keep the run's first ten seconds.
        meterReading().vbus = 5.0f;
        for (int i = 1; i <= 10; ++i)
            tick(*d);
        QCOMPARE(axisMin(*d), kNoon + 250);
        QCOMPARE(axisMax(*d), kNoon + 10250);

        tick(*d);   // 12:00:11.250
        QCOMPARE(d->readingLog().size(), 11);
        if (scroll) {
            // Ten seconds ending at now, moved on by one tick interval.
            QCOMPARE(axisMax(*d) - axisMin(*d), qint64(10000));
            QVERIFY2(qAbs(axisMax(*d) - (m_now + 1000)) <= 20, qPrintable(QString::number(axisMax(*d) - m_now)));
        } else {
            QCOMPARE(axisMin(*d), kNoon);
            QCOMPARE(axisMax(*d), m_now + 1000);
            const QVector<QPointF> points = d->liveChart()->series(VBUS)->pointsVector();
            QCOMPARE(points.first(), QPointF(double(kNoon + 1250), 5.0));
            QCOMPARE(points.last(), QPointF(double(m_now), 5.0));
        }
    }

    // The last run zoomed into with the wheel, then a new one started with
    // ▶: the new run is followed from its eleventh record on. A zoom during
    // the run holds the axis until a display mode is chosen from the menu.
    void aNewRunIsFollowedAfterAZoom()
    {
        auto d = dialog(true);
        QVERIFY(d);
        QWidget *port = d->chartView()->viewport();
        const QPoint middle(int(d->liveChart()->chart()->plotArea().center().x()), 300);
        clickOn(d->form()->disp_Btn_Run);
        for (int i = 0; i < 15; ++i)
            tick(*d);
        clickOn(d->form()->disp_Btn_Run);
        wheel(port, middle, 120);
        const qint64 start = m_now;   // 12:00:15
        clickOn(d->form()->disp_Btn_Run);
        QVERIFY(d->isPlotting());
        for (int i = 0; i < 11; ++i)
            tick(*d);
        QCOMPARE(axisMin(*d), start);
        QCOMPARE(axisMax(*d), m_now + 1000);

        // Held by a zoom; Scroll display follows the run again, and All
        // display after another zoom.
        wheel(port, middle, 120);
        const qint64 heldMax = axisMax(*d);
        tick(*d);
        QCOMPARE(axisMax(*d), heldMax);
        QVERIFY(chooseFromMenu(*d, QStringLiteral("滚动图显")));
        tick(*d);
        QCOMPARE(axisMax(*d) - axisMin(*d), qint64(10000));
        QCOMPARE(axisMax(*d), m_now + 1000);
        wheel(port, middle, -120);
        QVERIFY(chooseFromMenu(*d, QStringLiteral("累计图显")));
        tick(*d);
        QCOMPARE(axisMin(*d), start);
        QCOMPARE(axisMax(*d), m_now + 1000);
    }

    void automaticRangesAndGroups()
    {
        auto d = dialog();
        LiveChart *live = d->liveChart();
        Ui::MainDialog *f = d->form();
        d->form()->disp_Btn_Run->click();

        meterReading().vbus = 20.0f;   // not above the top: no change
        tick(*d);
        QCOMPARE(live->axisY(0)->max(), 20.0);
        QCOMPARE(labels(live->axisY(0)).last(), QStringLiteral("20.00V"));
        meterReading().vbus = 21.3f;
        meterReading().capacity = 0.0125f;
        meterReading().energy = 1.5f;
        tick(*d);
        QCOMPARE(live->axisY(0)->max(), 23.0);
        QCOMPARE(labels(live->axisY(0)).size(), 11);
        QCOMPARE(labels(live->axisY(0))[1], QStringLiteral("2.30V"));
        QCOMPARE(live->channelMax(VBUS), double(21.3f));
        QCOMPARE(d->readingLog().value(ReadingLog::Cap, 1), 0.0125f);
        QCOMPARE(d->readingLog().value(ReadingLog::Ele, 1), 1.5f);
        QCOMPARE(d->readingLog().timeStamp(1), QStringLiteral("2026-12-07_12:00:02"));
        // Under the top the axis is left as it is, not labelled anew each tick;
        // so is it for a new maximum that asks for the same top.
        QSignalSpy relabelled(live->axisY(0), &QCategoryAxis::categoriesChanged);
        meterReading().vbus = 21.0f;
        tick(*d);
        meterReading().vbus = 21.9f;
        tick(*d);
        QCOMPARE(live->channelMax(VBUS), double(21.9f));
        QCOMPARE(relabelled.count(), 0);
        QCOMPARE(live->axisY(0)->max(), 23.0);

        // Temperature: its default range first, then its running maximum.
        meterReading().cpu_temp = 35.0f;
        f->disp_btn_temp->click();
        QCOMPARE(live->chart()->series(), QList<QAbstractSeries *>({live->series(CPU_Temp)}));
        QCOMPARE(live->axisY(0)->max(), 40.0);
        QCOMPARE(labels(live->axisY(0)).last(), degrees("40.0"));
        QVERIFY(active(f->disp_btn_temp));
        tick(*d);
        QCOMPARE(live->axisY(0)->max(), 101.0);
        QCOMPARE(labels(live->axisY(0))[1], degrees("10.1"));

        // DP/DM, then CC: one group at a time.
        f->disp_btn_dp_dm->click();
        QCOMPARE(live->chart()->series(), QList<QAbstractSeries *>({live->series(PD), live->series(PM)}));
        QVERIFY(active(f->disp_btn_dp_dm) && !active(f->disp_btn_temp));
        QCOMPARE(live->axisY(0)->max(), 5.0);
        f->disp_btn_cc1_cc2->click();
        QCOMPARE(live->chart()->series(), QList<QAbstractSeries *>({live->series(CC1), live->series(CC2)}));
        QVERIFY(active(f->disp_btn_cc1_cc2) && !active(f->disp_btn_dp_dm));
        f->disp_btn_cc1_cc2->click();
        QCOMPARE(live->group(), CurveGroup::Main);
        QCOMPARE(live->chart()->series(),
                 QList<QAbstractSeries *>({live->series(VBUS), live->series(IBUS), live->series(POWER)}));
        QCOMPARE(live->series(POWER)->name(), QStringLiteral("Power"));
        QVERIFY(!active(f->disp_btn_cc1_cc2) && !active(f->disp_btn_dp_dm) && !active(f->disp_btn_temp));
        QCOMPARE(live->axisY(0)->max(), 20.0);
        QCOMPARE(live->axisY(1)->max(), 10.0);
        QCOMPARE(live->axisY(2)->max(), 10.0);
        // The maximum the run reached comes back at the next tick.
        tick(*d);
        QCOMPARE(live->axisY(0)->max(), 23.0);

        // A restart empties the curves and the log, not the maxima.
        f->disp_Btn_Run->click();
        QVERIFY(!d->isPlotting());
        QCOMPARE(f->disp_Btn_Run->toolTip(), QStringLiteral("运行"));
        tick(*d);
        QCOMPARE(d->readingLog().size(), 6);
        f->disp_Btn_Run->click();
        QCOMPARE(d->readingLog().size(), 0);
        QCOMPARE(live->series(VBUS)->count(), 0);
        QCOMPARE(live->channelMax(VBUS), double(21.9f));
        QCOMPARE(live->channelMax(CPU_Temp), 100.0);
    }

    void wallClockStepsBack()
    {
        // The wall clock is put back a minute in the middle of a spike.
        auto d = dialog(true);
        QVERIFY(d);
        LiveChart *live = d->liveChart();
        d->form()->disp_Btn_Run->click();
        for (int i = 1; i <= 20; ++i) {
            meterReading().vbus = i >= 12 && i <= 14 ? 30.0f : 5.0f;
            tick(*d);
            if (i == 12)
                m_now -= 60000;
        }
        // The time stamps say what the wall clock said.
        QCOMPARE(d->readingLog().timeStamp(11), QStringLiteral("2026-12-07_12:00:12"));
        QCOMPARE(d->readingLog().timeStamp(12), QStringLiteral("2026-12-07_11:59:13"));
        // The chart keeps the order they were taken in: the whole run in view,
        // the spike on it.
        QCOMPARE(axisMin(*d), kNoon);
        QCOMPARE(axisMax(*d), kNoon + 21000);
        const QVector<QPointF> points = live->series(VBUS)->pointsVector();
        QVERIFY(std::is_sorted(points.begin(), points.end(), [](QPointF a, QPointF b) { return a.x() < b.x(); }));
        for (int i = 12; i <= 14; ++i)
            QVERIFY(points.contains(QPointF(double(kNoon + 1000 * i), 30.0)));
        QCOMPARE(std::max_element(points.begin(), points.end(), [](QPointF a, QPointF b) { return a.y() < b.y(); })
                     ->y(),
                 30.0);
        // The read-out picks the sample under the cursor, with its own time.
        QCOMPARE(hover(*d, kNoon + 13000), QStringLiteral("11:59:13  VBUS 30.000 V  IBUS 0.000 A  Power 0.000 W"));
        QCOMPARE(hover(*d, kNoon + 11000), QStringLiteral("12:00:11  VBUS 5.000 V  IBUS 0.000 A  Power 0.000 W"));

        // Even a "steady" clock that goes back (a virtual machine restored)
        // never takes the run's timeline back: the record keeps its place.
        m_steady -= 5000;
        tick(*d);
        QCOMPARE(d->readingLog().runMs(20), d->readingLog().runMs(19));
    }

    void gapsAreBreaks()
    {
        // 2.5 s between two records is no gap yet; half a minute's pause is.
        auto d = dialog(true);
        QVERIFY(d);
        LiveChart *live = d->liveChart();
        ChartView *view = d->chartView();
        d->form()->disp_Btn_Run->click();
        for (int i = 1; i <= 40; ++i) {
            meterReading().vbus = 5.0f + 0.1f * i;
            tick(*d, i == 10 ? 2500 : i == 21 ? 30000 : 1000);
        }
        const qint64 before = kNoon + 21500, after = kNoon + 51500;   // the last sample before the pause, the first after
        QCOMPARE(d->readingLog().runMs(20), after);

        // No line within the pause, one across the 2.5 s; both sides drawn.
        auto within = [](QPointF p, QPointF q, qint64 from, qint64 to) {
            return std::max(p.x(), double(from)) < std::min(q.x(), double(to));
        };
        QVector<QPointF> drawn;
        bool across = false;
        for (QAbstractSeries *s : live->chart()->series()) {
            const QVector<QPointF> points = static_cast<QXYSeries *>(s)->pointsVector();
            for (int k = 1; k < points.size(); ++k) {
                QVERIFY(!within(points[k - 1], points[k], before, after));
                across = across || within(points[k - 1], points[k], kNoon + 9000, kNoon + 11500);
            }
            drawn += points;
        }
        QVERIFY(across);
        QVERIFY(drawn.contains(QPointF(double(before), double(d->readingLog().value(ReadingLog::Vbus, 19)))));
        QVERIFY(drawn.contains(QPointF(double(after), double(d->readingLog().value(ReadingLog::Vbus, 20)))));
        QCOMPARE(live->series(VBUS)->name(), QStringLiteral("VBUS"));

        // The read-out says nothing further than 1.5 s from a sample.
        QVERIFY(hover(*d, before + 1200).startsWith(QStringLiteral("12:00:21  VBUS 7.000 V")));
        QVERIFY(view->hoverLine()->isVisible());
        QCOMPARE(hover(*d, before + 1800), QString());
        QCOMPARE(hover(*d, kNoon + 36000), QString());
        QVERIFY(!view->hoverLine()->isVisible());
        const QDateTime noon = QDateTime::fromMSecsSinceEpoch(kNoon);
        live->axisX()->setRange(noon, noon.addSecs(7200));
        QCOMPARE(hover(*d, m_now + 3600000), QString());

        // Scrolling under a still cursor: the read-out follows.
        d->onAct5Clicked_Slot();
        tick(*d);
        const QString first = hover(*d, m_now - 4000);
        QVERIFY2(first.contains(QStringLiteral("VBUS 8.700 V")), qPrintable(first));
        tick(*d);
        QVERIFY2(view->hoverItem()->text().contains(QStringLiteral("VBUS 8.800 V")), qPrintable(view->hoverItem()->text()));

        // Readable on a dark theme: light text.
        d->onCBox_9_Slot(2);
        QVERIFY(!hover(*d, m_now - 5000).isEmpty());
        QVERIFY(view->hoverItem()->brush().color().lightness() > 200);

        // Temperatures to a tenth of a degree, as on the page.
        meterReading().cpu_temp = 31.5f;
        d->form()->disp_btn_temp->click();
        tick(*d);
        const QString temperature = hover(*d, m_now - 300, CPU_Temp);
        QVERIFY2(temperature.endsWith(QStringLiteral("  CPU 31.5 \u2103")), qPrintable(temperature));
    }

    void manyGapsKeepTheChartBounded()
    {
        // A meter unplugged and plugged in again three hundred times: each
        // return after 3 s is a gap, but the chart holds a bounded number of
        // series; the widest gaps, a minute's pause among them, stay breaks.
        auto d = dialog(true);
        QVERIFY(d);
        LiveChart *live = d->liveChart();
        QTest::mouseClick(d->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          d->form()->disp_Btn_Run->mapTo(d.get(), d->form()->disp_Btn_Run->rect().center()));
        for (int i = 0; i < 300; ++i) {
            tick(*d, i == 150 ? 60000 : 3000);
            tick(*d, 1000);
        }
        QCOMPARE(d->readingLog().size(), 600);
        const qint64 before = d->readingLog().runMs(299), after = d->readingLog().runMs(300);
        QCOMPARE(after - before, 60000);
        const QList<QAbstractSeries *> series = live->chart()->series();
        QVERIFY2(series.size() <= 3 * 32, qPrintable(QString::number(series.size())));
        QVERIFY(series.size() > 3);
        int breaks = 0;
        for (QAbstractSeries *s : series) {
            const QVector<QPointF> points = static_cast<QXYSeries *>(s)->pointsVector();
            for (int k = 1; k < points.size(); ++k)
                QVERIFY(!(points[k - 1].x() < double(after) && points[k].x() > double(before)));
            breaks += s->isVisible() && !points.isEmpty();
        }
        QVERIFY(breaks > 3);
    }

    void titleEdit()
    {
        auto d = dialog();
        QString askedTitle, askedLabel;
        bool accept = false;
        Prompts::setTextHandler([&](QWidget *, const QString &title, const QString &label, QString &text) {
            askedTitle = title;
            askedLabel = label;
            text = QString();
            return accept;
        });
        d->form()->disp_btn_title->click();
        QCOMPARE(askedTitle, QStringLiteral("标题变更对话框"));
        QCOMPARE(askedLabel, QStringLiteral("请输入标题:"));
        QCOMPARE(d->form()->disp_btn_title->text(), QStringLiteral("Simple Real-Time Chart"));
        accept = true;
        d->form()->disp_btn_title->click();
        QCOMPARE(d->form()->disp_btn_title->text(), QString());
    }

    void customRanges()
    {
        {
            Setting s;
            s.write(QStringLiteral("Vbus_Min_Value"), QStringLiteral("3.00"));
            s.write(QStringLiteral("Vbus_Max_Value"), QStringLiteral("4.00"));
            s.write(QStringLiteral("VbusIsOpen"), QStringLiteral("1"));
            s.write(QStringLiteral("PD_Min_Value"), QStringLiteral("0.50"));
            s.write(QStringLiteral("PD_Max_Value"), QStringLiteral("0.80"));
        }
        auto d = dialog();
        LiveChart *live = d->liveChart();
        Ui::MainDialog *f = d->form();
        customcoordinates *w = d->customAxis();
        QCOMPARE(labels(live->axisY(0)).first(), QStringLiteral("3.00V"));
        QCOMPARE(labels(live->axisY(0))[1], QStringLiteral("3.10V"));
        QCOMPARE(live->axisY(0)->max(), 4.0);

        // The automatic range leaves a custom range alone; the maximum grows.
        f->disp_Btn_Run->click();
        meterReading().vbus = 25.0f;
        tick(*d);
        QCOMPARE(live->axisY(0)->max(), 4.0);
        QCOMPARE(live->channelMax(VBUS), 25.0);
        // Switched off: the default range, and at the next tick the automatic
        // range covers the curve again, which is above that default.
        w->toggleButton(VBUS)->click();
        QCOMPARE(live->axisY(0)->max(), 20.0);
        meterReading().vbus = 24.0f;
        tick(*d);
        QCOMPARE(live->axisY(0)->max(), 26.0);
        QCOMPARE(labels(live->axisY(0)).last(), QStringLiteral("26.00V"));
        w->toggleButton(VBUS)->click();
        f->disp_btn_dp_dm->click();
        f->disp_btn_dp_dm->click();
        QCOMPARE(live->axisY(0)->min(), 3.0);
        QCOMPARE(live->axisY(0)->max(), 4.0);

        // The window as loaded.
        QCOMPARE(w->minEdit(VBUS)->text(), QStringLiteral("3.00"));
        QCOMPARE(w->minEdit(CC1)->text(), QStringLiteral("0.00"));
        QCOMPARE(w->maxEdit(CPU_Temp)->text(), QStringLiteral("0.0"));
        QCOMPARE(w->toggleButton(VBUS)->text(), QStringLiteral("启用"));
        QCOMPARE(w->toggleButton(PD)->text(), QStringLiteral("关闭"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Custom Axis"));
        f->disp_btn_RangCustom->click();
        QVERIFY(w->isVisible());
        QCOMPARE(w->size(), QSize(367, 341));
        f->disp_btn_RangCustom->click();
        QVERIFY(w->isHidden());

        // PD switched on under the main group: applied when DP/DM shows.
        QSignalSpy changes(w, SIGNAL(RangChang_signal()));
        w->toggleButton(PD)->click();
        QCOMPARE(changes.count(), 1);
        QCOMPARE(Setting().read(QStringLiteral("PDIsOpen")), QStringLiteral("1"));
        QCOMPARE(live->axisY(0)->max(), 4.0);
        f->disp_btn_dp_dm->click();
        QCOMPARE(labels(live->axisY(0)),
                 QStringList({"0.50V", "0.53V", "0.56V", "0.59V", "0.62V", "0.65V", "0.68V", "0.71V", "0.74V",
                              "0.77V", "0.80V"}));
        f->disp_btn_dp_dm->click();

        // Off gives the default range, not the last automatic one.
        w->toggleButton(VBUS)->click();
        QCOMPARE(w->toggleButton(VBUS)->text(), QStringLiteral("关闭"));
        QCOMPARE(Setting().read(QStringLiteral("VbusIsOpen")), QStringLiteral("0"));
        QCOMPARE(live->axisY(0)->max(), 20.0);

        // A bound edited while its range is off: saved, nothing else.
        changes.clear();
        w->maxEdit(VBUS)->setText(QStringLiteral("9.5"));
        QTest::keyClick(w->maxEdit(VBUS), Qt::Key_Return);
        QCOMPARE(Setting().read(QStringLiteral("Vbus_Max_Value")), QStringLiteral("9.50"));
        QCOMPARE(changes.count(), 0);
        // While on: the axis follows at once.
        w->toggleButton(IBUS)->click();
        w->maxEdit(IBUS)->setText(QStringLiteral("2.5"));
        QTest::keyClick(w->maxEdit(IBUS), Qt::Key_Return);
        QCOMPARE(live->axisY(1)->max(), 2.5);
        QCOMPARE(labels(live->axisY(1)).last(), QStringLiteral("2.50A"));

        // Each edit keeps its own channel's bound.
        w->maxEdit(CC1)->setText(QStringLiteral("3.3"));
        QTest::keyClick(w->maxEdit(CC1), Qt::Key_Return);
        QCOMPARE(Setting().read(QStringLiteral("CC1_Max_Value")), QStringLiteral("3.30"));
        QCOMPARE(live->axisY(1)->max(), 2.5);
        w->maxEdit(CC1)->setText(QStringLiteral("0"));
        QTest::keyClick(w->maxEdit(CC1), Qt::Key_Return);

        // On with a maximum not above the minimum: the axis stays as it was.
        w->toggleButton(CC1)->click();
        f->disp_btn_cc1_cc2->click();
        QCOMPARE(live->axisY(0)->max(), 20.0);
        QCOMPARE(labels(live->axisY(0)).last(), QStringLiteral("20.00V"));

        // Validators: the temperature's top is 200 with one decimal.
        QLineEdit *cpu = w->maxEdit(CPU_Temp);
        cpu->clear();
        QTest::keyClicks(cpu, QStringLiteral("250"));
        QVERIFY(!cpu->hasAcceptableInput());
        changes.clear();
        QTest::keyClick(cpu, Qt::Key_Return);
        QCOMPARE(Setting().read(QStringLiteral("CPU_Max_Value")), QString());
        cpu->clear();
        QTest::keyClicks(cpu, QStringLiteral("150.25"));
        QCOMPARE(cpu->text(), QStringLiteral("150.2"));
        // The top itself is taken.
        cpu->clear();
        QTest::keyClicks(cpu, QStringLiteral("200"));
        QTest::keyClick(cpu, Qt::Key_Return);
        QCOMPARE(Setting().read(QStringLiteral("CPU_Max_Value")), QStringLiteral("200.0"));
    }

    // A report of the meter built here byte by byte, each of its eight
    // channels with a value of its own: each curve and each read-out of the
    // four groups shows its own channel's value.
    void eachChannelFromItsOwnField()
    {
        auto d = dialog(true);
        QVERIFY(d);
        sim::Meter &meter = *m_meter;
        sim::Report report{};
        report[0] = 0xAA;
        report[1] = 0x40;
        report[2] = 0x62;
        report[3] = 0x05;
        // VBUS, IBUS, POWER, DP, DM, CC1, CC2, CPU temperature: millionths,
        // four bytes each, least significant first, from byte 8 on.
        const quint32 raw[kChannelCount] = {5123000, 1234000, 6321000, 611000, 422000, 1733000, 244000, 37500000};
        for (int c = 0; c < kChannelCount; ++c)
            for (int b = 0; b < 4; ++b)
                report[size_t(8 + 4 * c + b)] = (raw[c] >> (8 * b)) & 0xFF;
        meter.inject(report);
        d->dashboardTick();
        QCOMPARE(meterReading().cc2, 0.244f);
        QVERIFY(d->form()->disp_Btn_Run->isVisible());
        if (!d->isPlotting())   // a meter plugged in starts a run
            clickOn(d->form()->disp_Btn_Run);
        QVERIFY(d->isPlotting());
        for (int i = 0; i < 3; ++i)
            tick(*d);
        QCOMPARE(d->readingLog().size(), 3);
        const qint64 at = d->readingLog().runMs(d->readingLog().size() - 1);
        const struct {
            QPushButton *button;
            QVector<int> channels;
            QString readout;
            QVector<double> tops;   // of the group's axes, left to right
        } groups[] = {
            {nullptr, {VBUS, IBUS, POWER}, QStringLiteral("  VBUS 5.123 V  IBUS 1.234 A  Power 6.321 W"), {20, 10, 10}},
            {d->form()->disp_btn_dp_dm, {PD, PM}, QStringLiteral("  DP 0.611 V  DM 0.422 V"), {5, 5}},
            {d->form()->disp_btn_cc1_cc2, {CC1, CC2}, QStringLiteral("  CC1 1.733 V  CC2 0.244 V"), {5, 5}},
            // The temperature's running maximum starts at 100, above its
            // first top of 40: its axis goes to that maximum plus one.
            {d->form()->disp_btn_temp, {CPU_Temp}, QStringLiteral("  CPU 37.5 \u2103"), {101}},
        };
        for (const auto &g : groups) {
            if (g.button)
                clickOn(g.button);
            // Readings under the group's first tops leave its axes there.
            tick(*d);
            for (int a = 0; a < g.tops.size(); ++a)
                QCOMPARE(d->liveChart()->axisY(a)->max(), g.tops[a]);
            for (const int c : g.channels) {
                const QVector<QPointF> points = d->liveChart()->series(c)->pointsVector();
                QVERIFY2(!points.isEmpty() && qAbs(points.last().y() - raw[c] / 1e6) < 1e-6,
                         qPrintable(QStringLiteral("channel %1: %2").arg(c).arg(points.isEmpty() ? -1 : points.last().y())));
            }
            const QString text = hover(*d, at, g.channels.first());
            QVERIFY2(text.endsWith(g.readout), qPrintable(text));
        }
    }

    void viewWheelPanAndReadout()
    {
        auto d = dialog(true);
        QVERIFY(d);
        LiveChart *live = d->liveChart();
        ChartView *view = d->chartView();
        QWidget *port = view->viewport();
        const int width = int(live->chart()->geometry().width());
        const int middle = width / 2;
        const QDateTime noon = QDateTime::fromMSecsSinceEpoch(kNoon);
        auto setNoonWindow = [&] { live->axisX()->setRange(noon, noon.addSecs(10)); };

        clickOn(d->form()->disp_Btn_Run);
        setNoonWindow();
        wheel(port, QPoint(middle, 300), 120);
        QCOMPARE(axisMin(*d), kNoon + 1000);
        QCOMPARE(axisMax(*d), kNoon + 8000);
        QVERIFY(viewHeld);
        setNoonWindow();
        wheel(port, QPoint(middle, 300), -120);
        QCOMPARE(axisMax(*d) - axisMin(*d), qint64(15000));

        // Ctrl held: nothing moves, yet the view is held.
        setNoonWindow();
        viewHeld = false;
        QTest::keyPress(d->windowHandle(), Qt::Key_Control, Qt::ControlModifier);
        wheel(port, QPoint(middle, 300), 120);
        QTest::keyRelease(d->windowHandle(), Qt::Key_Control);
        QCOMPARE(axisMin(*d), kNoon);
        QCOMPARE(axisMax(*d), kNoon + 10000);
        QVERIFY(viewHeld);

        // A held view is not followed until a right click gives it back.
        meterReading().vbus = 5.0f;
        meterReading().ibus = 1.987f;
        for (int i = 0; i < 12; ++i)
            tick(*d);
        QCOMPARE(axisMax(*d), kNoon + 10000);
        mouse(port, QEvent::MouseButtonPress, QPoint(middle, 300), Qt::RightButton, Qt::RightButton);
        mouse(port, QEvent::MouseButtonRelease, QPoint(middle, 300), Qt::RightButton, Qt::NoButton);
        QVERIFY(!viewHeld);
        tick(*d);
        QCOMPARE(axisMin(*d), kNoon);
        QCOMPARE(axisMax(*d), m_now + 1000);

        // Dragging left by 50 pixels moves the window towards later times.
        const qint64 before = axisMin(*d);
        const double plotWidth = live->chart()->plotArea().width();
        const double msPerPixel = double(axisMax(*d) - axisMin(*d)) / plotWidth;
        mouse(port, QEvent::MouseButtonPress, QPoint(500, 300), Qt::LeftButton, Qt::LeftButton);
        mouse(port, QEvent::MouseMove, QPoint(450, 330), Qt::NoButton, Qt::LeftButton);
        mouse(port, QEvent::MouseButtonRelease, QPoint(450, 330), Qt::LeftButton, Qt::NoButton);
        QVERIFY(viewHeld);
        QVERIFY2(qAbs(axisMin(*d) - before - 50 * msPerPixel) < 2 * msPerPixel,
                 qPrintable(QString::number(axisMin(*d) - before)));

        // Moving without a button: the read-out, no axis change.
        const qint64 held = axisMin(*d);
        const QRectF plot = live->chart()->plotArea();
        mouse(port, QEvent::MouseMove, plot.center().toPoint(), Qt::NoButton, Qt::NoButton);
        QCOMPARE(axisMin(*d), held);
        const QString text = view->hoverItem()->text();
        QVERIFY2(text.contains(QStringLiteral("  VBUS 5.000 V  IBUS 1.987 A  Power 0.000 W")), qPrintable(text));
        QVERIFY(QTime::fromString(text.left(8), QStringLiteral("hh:mm:ss")).isValid());
        QVERIFY(view->hoverLine()->isVisible());
        mouse(port, QEvent::MouseMove, QPoint(2, 2), Qt::NoButton, Qt::NoButton);
        QCOMPARE(view->hoverItem()->text(), QString());
        QVERIFY(!view->hoverLine()->isVisible());
    }

    // The measurement cursors through the window's mouse: a drag sets A and
    // B, a cursor is dragged on its own, the wheel keeps them on their times,
    // Esc clears them. An hour at 5 V and 2 A gives 2 Ah and 10 Wh; a cursor
    // at the end of the run goes on with it.
    void measurementCursors()
    {
        auto d = dialog(true);
        QVERIFY(d);
        d->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(d.get()));
        MeasureCursors *cursors = d->measureCursors();
        QPushButton *measure = d->measureButton();
        QCOMPARE(measure->text(), QStringLiteral("测量"));
        QVERIFY(measure->isCheckable() && !measure->toolTip().isEmpty());
        QCOMPARE(d->form()->disp_toolLayout->indexOf(measure),
                 d->form()->disp_toolLayout->indexOf(d->form()->disp_btn_temp) + 1);

        clickOn(d->form()->disp_Btn_Run);
        ReadingLog &log = d->readingLog();
        for (int i = 0; i < 3600; ++i) {
            ReadingLog::Values v{};
            v[ReadingLog::Vbus] = 5.0f;
            v[ReadingLog::Ibus] = 2.0f;
            v[ReadingLog::Power] = 10.0f;
            v[ReadingLog::Cap] = 0.5f + float(i) / 1800.0f;
            v[ReadingLog::Ele] = 3.0f + float(i) / 360.0f;
            log.append(kNoon + i * 1000, v);
        }
        meterReading().vbus = 5.0f;
        meterReading().ibus = 2.0f;
        meterReading().power = 10.0f;
        meterReading().capacity = 2.5f;
        meterReading().energy = 13.0f;
        tick(*d, 3600000);   // the record of 13:00:00
        QCOMPARE(log.size(), 3601);
        QCOMPARE(axisMin(*d), kNoon);

        const QRectF plot = d->liveChart()->chart()->plotArea();
        const qint64 min = axisMin(*d), max = axisMax(*d);
        QCOMPARE(max, kNoon + 3601000);

        // On: a press near the right and a drag out past the left edge set A
        // and B; B stops at the plot's edge, the axis's first time.
        clickOn(measure);
        QVERIFY(measure->isChecked());
        const double pressX = plot.right() - 20;
        QTest::mousePress(d->windowHandle(), Qt::LeftButton, Qt::NoModifier, plotPoint(*d, pressX));
        QVERIFY(cursors->isSet());
        QTest::mouseMove(d->windowHandle(), plotPoint(*d, plot.center().x()));
        QTest::mouseMove(d->windowHandle(), plotPoint(*d, plot.left() - 30));
        QTest::mouseRelease(d->windowHandle(), Qt::LeftButton, Qt::NoModifier, plotPoint(*d, plot.left() - 30));
        QCOMPARE(axisMin(*d), min);   // no pan
        QCOMPARE(axisMax(*d), max);
        QCOMPARE(cursors->b(), min);
        const double msPerPixel = double(max - min) / plot.width();
        QVERIFY2(qAbs(double(cursors->a() - min) - (pressX - plot.left()) * msPerPixel) <= 2 * msPerPixel,
                 qPrintable(QString::number(cursors->a() - min)));
        QVERIFY(d->statsPanel()->isVisible());
        QVERIFY(cursors->line(0)->isVisible() && cursors->line(1)->isVisible());
        QCOMPARE(cursors->label(1)->text(), QStringLiteral("B ") + QDateTime::fromMSecsSinceEpoch(min).toString(QStringLiteral("hh:mm:ss")));
        // A's label above B's, wherever the lines are.
        QVERIFY(cursors->label(0)->pos().y() < cursors->label(1)->pos().y());

        // A dragged on its own out past the right edge: the whole hour.
        QTest::mousePress(d->windowHandle(), Qt::LeftButton, Qt::NoModifier, plotPoint(*d, chartXOf(*d, cursors->a()) + 2));
        QTest::mouseMove(d->windowHandle(), plotPoint(*d, plot.right() + 30));
        QTest::mouseRelease(d->windowHandle(), Qt::LeftButton, Qt::NoModifier, plotPoint(*d, plot.right() + 30));
        QCOMPARE(cursors->a(), max);
        QCOMPARE(cursors->b(), min);
        QCOMPARE(d->statsPanel()->interval().records, 3601);
        QCOMPARE(figure(*d, "stats_charge"), 2.0);
        QCOMPARE(figure(*d, "stats_energy"), 10.0);
        QCOMPARE(figure(*d, "stats_cap"), 2.0);
        QCOMPARE(figure(*d, "stats_ele"), 10.0);
        QCOMPARE(figure(*d, "stats_vbus_mean"), 5.0);
        QCOMPARE(figure(*d, "stats_ibus_min"), 2.0);
        QCOMPARE(figure(*d, "stats_power_b"), 10.0);
        const QString duration = d->statsPanel()->findChild<QLabel *>(QStringLiteral("stats_duration"))->text();
        QCOMPARE(duration, QStringLiteral("1:00:01.000"));
        // Every text of the panel in a place of its own.
        QList<QLabel *> shown;
        for (QLabel *l : d->statsPanel()->findChildren<QLabel *>()) {
            if (l->isVisible() && !l->text().isEmpty())
                shown << l;
        }
        QVERIFY(shown.size() > 20);
        for (int i = 0; i < shown.size(); ++i) {
            for (int j = i + 1; j < shown.size(); ++j)
                QVERIFY2(!shown[i]->geometry().intersects(shown[j]->geometry()),
                         qPrintable(shown[i]->text() + QStringLiteral(" over ") + shown[j]->text()));
        }
        clickOn(d->statsPanel()->copyButton());
        const QStringList copied = QApplication::clipboard()->text().split(QLatin1Char('\n'));
        QVERIFY2(copied.contains(QStringLiteral("电量 (Ah)\t2.000000")), qPrintable(copied.join('|')));
        QVERIFY2(copied.contains(QStringLiteral("时长\t3601.000")), qPrintable(copied.join('|')));
        QVERIFY2(copied.contains(QStringLiteral("POWER (W)\t10.0000\t10.0000\t10.0000\t10.0000\t10.0000")),
                 qPrintable(copied.join('|')));

        // A at the end goes on with the run, and so do the figures.
        tick(*d, 1500);
        QCOMPARE(cursors->a(), m_now);
        QCOMPARE(figure(*d, "stats_charge"), 2.0008);
        QCOMPARE(figure(*d, "stats_energy"), 10.0042);

        // The wheel zooms around the middle; the lines stay on their times.
        viewHeld = true;
        const qint64 a = cursors->a(), b = cursors->b();
        wheel(d->chartView()->viewport(), QPoint(int(d->liveChart()->chart()->geometry().width() / 2), 300), -120);
        QVERIFY(axisMin(*d) < min);
        QCOMPARE(cursors->a(), a);
        QCOMPARE(cursors->b(), b);
        QVERIFY(qAbs(cursors->line(0)->line().x1() - chartXOf(*d, a)) < 0.5);
        QVERIFY(qAbs(cursors->line(1)->line().x1() - chartXOf(*d, b)) < 0.5);

        // Esc sent to the window clears them and leaves the window open.
        QTest::keyClick(d->windowHandle(), Qt::Key_Escape);
        QVERIFY(!cursors->isSet());
        QVERIFY(!d->statsPanel()->isVisible());
        QVERIFY(!cursors->line(0)->isVisible());
        QVERIFY(d->isVisible());
        QVERIFY(measure->isChecked());
        // Off again: the button clears them too (set again by a drag).
        QTest::mousePress(d->windowHandle(), Qt::LeftButton, Qt::NoModifier, plotPoint(*d, plot.center().x()));
        QTest::mouseMove(d->windowHandle(), plotPoint(*d, plot.center().x() - 60));
        QTest::mouseRelease(d->windowHandle(), Qt::LeftButton, Qt::NoModifier, plotPoint(*d, plot.center().x() - 60));
        QVERIFY(cursors->isSet() && cursors->a() > cursors->b());
        clickOn(measure);
        QVERIFY(!cursors->isSet() && !d->statsPanel()->isVisible());
        // And a drag pans as ever.
        const qint64 held = axisMax(*d);
        QTest::mousePress(d->windowHandle(), Qt::LeftButton, Qt::NoModifier, plotPoint(*d, plot.center().x()));
        QTest::mouseMove(d->windowHandle(), plotPoint(*d, plot.center().x() - 40));
        QTest::mouseRelease(d->windowHandle(), Qt::LeftButton, Qt::NoModifier, plotPoint(*d, plot.center().x() - 40));
        QVERIFY(axisMax(*d) > held);
        QVERIFY(!cursors->isSet());
    }

    // At the window's own size, in either language: every text of the panel
    // whole in its cell, the panel inside the chart and clear of the
    // cursors' labels, as the figures grow from none to their widest.
    void statsPanelFitsItsTexts_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("Chinese") << QStringLiteral("Chinese");
        QTest::newRow("English") << QStringLiteral("English");
    }

    void statsPanelFitsItsTexts()
    {
        QFETCH(QString, language);
        Setting().write(QStringLiteral("Language"), language);
        auto d = dialog(true);
        QVERIFY(d);
        QCOMPARE(d->isEnglish(), language == QLatin1String("English"));
        QTest::mouseClick(d->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          d->form()->disp_Btn_Run->mapTo(d.get(), d->form()->disp_Btn_Run->rect().center()));
        ReadingLog &log = d->readingLog();
        for (int i = 0; i < 600; ++i) {
            ReadingLog::Values v{};
            v[ReadingLog::Vbus] = 17.804f + float(i % 7) * 0.036f;
            v[ReadingLog::Ibus] = 3.2517f;
            v[ReadingLog::Power] = 157.863f - float(i % 5);
            v[ReadingLog::Cap] = 12.3456f + float(i) / 1000.0f;
            v[ReadingLog::Ele] = 123.4567f + float(i) / 100.0f;
            log.append(kNoon + i * 1000, v);
        }
        tick(*d, 600000);
        QTest::mouseClick(d->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          d->measureButton()->mapTo(d.get(), d->measureButton()->rect().center()));
        QVERIFY(d->measureButton()->isChecked());
        // A press between two records shows no figures yet; the drag fills them.
        const QRectF plot = d->liveChart()->chart()->plotArea();
        QTest::mousePress(d->windowHandle(), Qt::LeftButton, Qt::NoModifier, plotPoint(*d, plot.right() - 3));
        StatsPanel *panel = d->statsPanel();
        QVERIFY(panel->isVisible());
        QTest::mouseMove(d->windowHandle(), plotPoint(*d, plot.center().x()));
        QTest::mouseMove(d->windowHandle(), plotPoint(*d, plot.left() + 40));
        QTest::mouseRelease(d->windowHandle(), Qt::LeftButton, Qt::NoModifier, plotPoint(*d, plot.left() + 40));
        QVERIFY(panel->interval().records > 500);
        QApplication::processEvents();

        const QList<QWidget *> cells = panel->findChildren<QWidget *>();
        QVERIFY(cells.size() > 30);
        for (QWidget *cell : cells) {
            auto *label = qobject_cast<QLabel *>(cell);
            auto *button = qobject_cast<QPushButton *>(cell);
            const QString text = label ? label->text() : button ? button->text() : QString();
            const QSize need = cell->sizeHint();
            QVERIFY2(cell->width() >= need.width() && cell->height() >= need.height(),
                     qPrintable(QStringLiteral("%1: %2x%3 for %4x%5").arg(text).arg(cell->width()).arg(cell->height())
                                    .arg(need.width()).arg(need.height())));
            QVERIFY2(panel->rect().contains(cell->geometry()), qPrintable(text));
            if (label)
                QVERIFY2(label->fontMetrics().horizontalAdvance(text) <= label->contentsRect().width(), qPrintable(text));
        }
        QVERIFY(d->chartView()->rect().contains(panel->geometry()));
        MeasureCursors *cursors = d->measureCursors();
        for (int c = 0; c < 2; ++c) {
            QVERIFY(cursors->label(c)->isVisible());
            const QRect label = d->chartView()->mapFromScene(cursors->label(c)->sceneBoundingRect()).boundingRect();
            QVERIFY2(!panel->geometry().intersects(label), qPrintable(cursors->label(c)->text()));
        }
    }

    // A random run with gaps: the panel's figures against brute force over
    // the records between the cursors.
    void intervalFiguresAgainstBruteForce()
    {
        auto d = dialog();
        d->form()->disp_Btn_Run->click();
        ReadingLog &log = d->readingLog();
        QRandomGenerator random(20261207);
        qint64 t = m_now;
        for (int i = 0; i < 5000; ++i) {
            ReadingLog::Values v{};
            v[ReadingLog::Vbus] = float(random.bounded(20000)) / 1000.0f;
            v[ReadingLog::Ibus] = float(random.bounded(5000)) / 1000.0f;
            v[ReadingLog::Power] = float(random.bounded(100000)) / 1000.0f;
            v[ReadingLog::Cap] = float(i) / 100.0f;
            v[ReadingLog::Ele] = float(i) / 10.0f;
            log.append(t, v);
            // Mostly a second apart, now and then a gap of seconds to minutes.
            t += random.bounded(10) == 0 ? 2000 + random.bounded(120000) : 500 + random.bounded(1500);
        }
        m_now = t;
        m_steady += t - kNoon;
        tick(*d, 0);
        const int n = log.size();
        d->measureButton()->click();
        int checked = 0;
        for (int round = 0; round < 20; ++round) {
            const qint64 a = log.runMs(0) - 5000 + qint64(random.bounded(int(t - kNoon)));
            const qint64 b = a + qint64(random.bounded(int(t - a + 5000)));
            d->measureCursors()->set(b, a);
            int first = 0;
            while (first < n && log.runMs(first) < a)
                ++first;
            int last = n - 1;
            while (last >= 0 && log.runMs(last) > b)
                --last;
            if (last - first < 2)
                continue;
            double ah = 0, wh = 0, weight = 0, vIntegral = 0;
            float vMin = 1e9f, vMax = -1e9f, pMax = -1e9f;
            for (int k = first; k <= last; ++k) {
                vMin = std::min(vMin, log.value(ReadingLog::Vbus, k));
                vMax = std::max(vMax, log.value(ReadingLog::Vbus, k));
                pMax = std::max(pMax, log.value(ReadingLog::Power, k));
                if (k == last)
                    break;
                const double dt = double(log.runMs(k + 1) - log.runMs(k));
                if (dt > 2500)
                    continue;
                weight += dt;
                ah += (log.value(ReadingLog::Ibus, k) + log.value(ReadingLog::Ibus, k + 1)) / 2.0 * dt / 3.6e6;
                wh += (log.value(ReadingLog::Power, k) + log.value(ReadingLog::Power, k + 1)) / 2.0 * dt / 3.6e6;
                vIntegral += (log.value(ReadingLog::Vbus, k) + log.value(ReadingLog::Vbus, k + 1)) / 2.0 * dt;
            }
            const QString where = QStringLiteral("records %1 .. %2").arg(first).arg(last);
            ++checked;
            QCOMPARE(d->statsPanel()->interval().records, last - first + 1);
            QVERIFY2(qAbs(figure(*d, "stats_charge") - ah) < 0.00006, qPrintable(where));
            QVERIFY2(qAbs(figure(*d, "stats_energy") - wh) < 0.00006, qPrintable(where));
            QVERIFY2(qAbs(figure(*d, "stats_vbus_mean") - vIntegral / weight) < 0.00006, qPrintable(where));
            QCOMPARE(figure(*d, "stats_vbus_min"), std::round(vMin * 10000.0) / 10000.0);
            QCOMPARE(figure(*d, "stats_vbus_max"), std::round(vMax * 10000.0) / 10000.0);
            QCOMPARE(figure(*d, "stats_power_max"), std::round(pMax * 10000.0) / 10000.0);
            QCOMPARE(float(figure(*d, "stats_ibus_a")), log.value(ReadingLog::Ibus, first));
            QCOMPARE(float(figure(*d, "stats_ibus_b")), log.value(ReadingLog::Ibus, last));
            QVERIFY2(qAbs(figure(*d, "stats_cap") - (log.value(ReadingLog::Cap, last) - log.value(ReadingLog::Cap, first))) < 0.0001,
                     qPrintable(where));
        }
        QVERIFY(checked >= 10);
    }

    void curveStyles()
    {
        Setting().write(QStringLiteral("VBUS_col"), QStringLiteral("ff00aa00"));
        {
            auto d = dialog();
            LiveChart *live = d->liveChart();
            QCOMPARE(live->series(VBUS)->pen().color(), QColor(0, 170, 0));
            QCOMPARE(live->series(VBUS)->pen().widthF(), 0.5);
            QCOMPARE(live->axisY(0)->linePenColor(), QColor(0, 170, 0));

            d->onAct3Clicked_Slot();
            QTableView *table = d->curveTable();
            QVERIFY(table && !table->isHidden());
            QCOMPARE(cell<QPushButton>(table, VBUS, 1)->styleSheet(), QStringLiteral("background:rgb(0,170,0)"));
            QCOMPARE(cell<QPushButton>(table, IBUS, 1)->styleSheet(), QStringLiteral("background:rgb(59,143,217)"));
            QCOMPARE(cell<QComboBox>(table, PD, 2)->currentText(), QStringLiteral("0.5"));
            QCOMPARE(cell<QComboBox>(table, 8, 1)->currentText(), QStringLiteral("Light"));

            // Red for CC2 while CC is shown: curve, right axis line, file.
            d->form()->disp_btn_cc1_cc2->click();
            QColor answer = Qt::red;
            Prompts::setColorHandler([&](QWidget *, const QColor &) { return answer; });
            cell<QPushButton>(table, CC2, 1)->click();
            QCOMPARE(live->series(CC2)->pen().color(), QColor(Qt::red));
            QCOMPARE(live->axisY(1)->linePenColor(), QColor(Qt::red));
            QCOMPARE(Setting().read(QStringLiteral("CC2_col")), QStringLiteral("ffff0000"));
            QCOMPARE(cell<QPushButton>(table, CC2, 1)->styleSheet(), QStringLiteral("background:rgb(255,0,0)"));
            // Cancelled: nothing changes, nothing is saved.
            answer = QColor();
            cell<QPushButton>(table, CC1, 1)->click();
            QCOMPARE(live->series(CC1)->pen().color(), QColor(0x1f, 0xa5, 0xa0));
            QCOMPARE(Setting().read(QStringLiteral("CC1_col")), QStringLiteral("ff1fa5a0"));

            cell<QComboBox>(table, PD, 2)->setCurrentIndex(4);
            QCOMPARE(live->series(PD)->pen().widthF(), 2.5);
            QCOMPARE(Setting().read(QStringLiteral("PD_lw")), QStringLiteral("2.5"));
            // Whole widths keep their decimal, as the table's choices read.
            cell<QComboBox>(table, PM, 2)->setCurrentIndex(1);
            QCOMPARE(Setting().read(QStringLiteral("PM_lw")), QStringLiteral("1.0"));

            // The chart's background fills the view edge to edge in each
            // theme, opaque in the translucent window: white in the light
            // theme, the dark one's gradient from its top to its bottom.
            auto corners = [&] {
                const QImage shot = d->chartView()->viewport()->grab().toImage();
                return std::make_pair(shot.pixel(1, 1), shot.pixel(1, shot.height() - 2));
            };
            QCOMPARE(corners(), std::make_pair(qRgb(255, 255, 255), qRgb(255, 255, 255)));
            cell<QComboBox>(table, 8, 1)->setCurrentIndex(2);
            QCOMPARE(live->chart()->theme(), QChart::ChartThemeDark);
            const auto dark = corners();
            QCOMPARE(qAlpha(dark.first), 255);
            QCOMPARE(qAlpha(dark.second), 255);
            QVERIFY(qGray(dark.first) < 80 && qGray(dark.second) < qGray(dark.first));
            QCOMPARE(live->series(CC2)->pen().color(), QColor(Qt::red));
            QCOMPARE(live->series(PD)->pen().widthF(), 2.5);
            QCOMPARE(Setting().read(QStringLiteral("ChartTheme")), QStringLiteral("Dark"));

            cell<QPushButton>(table, 9, 0)->click();
            QVERIFY(table->isHidden());
        }
        // The next start keeps all of it.
        auto d = dialog();
        QCOMPARE(d->liveChart()->chart()->theme(), QChart::ChartThemeDark);
        QCOMPARE(d->liveChart()->style(CC2).color, QColor(Qt::red));
        QCOMPARE(d->liveChart()->series(PD)->pen().widthF(), 2.5);
        d->onAct3Clicked_Slot();
        QCOMPARE(cell<QComboBox>(d->curveTable(), 8, 1)->currentText(), QStringLiteral("Dark"));
        QCOMPARE(cell<QComboBox>(d->curveTable(), PD, 2)->currentText(), QStringLiteral("2.5"));
    }

    void curvesStayWithinTheirSamples()
    {
        // A step from 5 to 9 V and a spike to 30 V, one sample a second, some
        // 36 pixels apart: drawn smooth, yet nowhere beyond the samples on
        // either side.
        ReadingLog log;
        CustomRanges ranges;
        CurveStyles styles = loadCurveStyles();
        styles[VBUS] = {QColor(255, 0, 0), 3.0};
        LiveChart live(log, ranges, styles, kNoon);
        QChartView view(live.chart());
        view.resize(1200, 700);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        live.startRun(kNoon);
        std::vector<float> volts(30, 9.0f);
        std::fill(volts.begin(), volts.begin() + 10, 5.0f);
        volts[20] = 30.0f;
        for (int i = 0; i < 30; ++i) {
            ReadingLog::Values v{};
            v[ReadingLog::Vbus] = volts[size_t(i)];
            log.append(kNoon + 1000 * (i + 1), v);
            live.recorded(kNoon + 1000 * (i + 1));
        }
        live.axisX()->setRange(QDateTime::fromMSecsSinceEpoch(kNoon + 500),
                               QDateTime::fromMSecsSinceEpoch(kNoon + 30500));
        QApplication::processEvents();
        QCOMPARE(live.shape(), CurveShape::Smooth);
        QCOMPARE(live.axisY(0)->max(), 31.0);

        // The range of the samples around a time, `margin` ms either side.
        auto around = [&](double t, double margin) {
            int lo = 0, hi = 29;
            while (lo < 29 && kNoon + 1000 * (lo + 2) <= t - margin)
                ++lo;
            while (hi > 0 && kNoon + 1000 * hi >= t + margin)
                --hi;
            const auto extremes = std::minmax_element(volts.begin() + lo, volts.begin() + std::max(lo, hi) + 1);
            return std::make_pair(double(*extremes.first), double(*extremes.second));
        };

        // The curve's points: every sample, the rest within their samples,
        // a few a pixel column at most.
        const QRectF plot = live.chart()->plotArea();
        const QVector<QPointF> points = live.series(VBUS)->pointsVector();
        QVERIFY(points.size() <= 2 * int(plot.width()));
        int samples = 0;
        for (const QPointF &p : points) {
            const auto range = around(p.x(), 0);
            QVERIFY2(p.y() >= range.first && p.y() <= range.second, qPrintable(QString::number(p.y())));
            samples += std::fmod(p.x() - kNoon, 1000.0) == 0 ? 1 : 0;
        }
        QCOMPARE(samples, 30);

        // The drawn curve, pixel by pixel, two pixels' leeway for the pen.
        const QImage image = view.viewport()->grab().toImage();
        QtCharts::QChart *chart = live.chart();
        auto valueAt = [&](int x, int y) {
            return chart->mapToValue(chart->mapFromScene(view.mapToScene(QPoint(x, y))), live.series(VBUS));
        };
        const QPointF topLeft = valueAt(0, 0), oneOff = valueAt(1, 1);
        const double msPerPixel = oneOff.x() - topLeft.x(), voltsPerPixel = topLeft.y() - oneOff.y();
        const QRect area = view.mapFromScene(chart->mapToScene(plot)).boundingRect().adjusted(5, 1, -5, -1);
        int red = 0;
        double top = 0;
        for (int x = area.left(); x <= area.right(); ++x) {
            for (int y = area.top(); y <= area.bottom(); ++y) {
                if (image.pixel(x, y) != qRgb(255, 0, 0))
                    continue;
                ++red;
                const QPointF at = valueAt(x, y);
                const auto range = around(at.x(), 2 * msPerPixel);
                top = std::max(top, at.y());
                QVERIFY2(at.y() >= range.first - 2 * voltsPerPixel && at.y() <= range.second + 2 * voltsPerPixel,
                         qPrintable(QStringLiteral("%1 V at %2 s").arg(at.y()).arg((at.x() - kNoon) / 1000)));
            }
        }
        QVERIFY(red > area.width());
        QVERIFY2(top > 29.5, qPrintable(QString::number(top)));
    }

    void aWeekIsDrawnExactly()
    {
        // A week of one record a second, flat but for one spike.
        ReadingLog log;
        CustomRanges ranges;
        LiveChart live(log, ranges, loadCurveStyles(), kNoon);
        QChartView view(live.chart());
        view.resize(1200, 700);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        live.startRun(kNoon);
        const int n = 7 * 24 * 3600;
        const int spike = 345678;
        log.reserve(n);
        ReadingLog::Values flat{};
        flat[ReadingLog::Vbus] = 5.0f;
        for (int i = 0; i < n; ++i) {
            ReadingLog::Values v = flat;
            if (i == spike)
                v[ReadingLog::Vbus] = 30.0f;
            log.append(kNoon + 1000 + qint64(i) * 1000, v);
        }
        const qint64 end = log.timeMs(n - 1);
        live.recorded(end);
        QCOMPARE(live.axisX()->min().toMSecsSinceEpoch(), kNoon);

        QXYSeries *vbus = live.series(VBUS);
        QCOMPARE(vbus->type(), QAbstractSeries::SeriesTypeLine);
        const QVector<QPointF> points = vbus->pointsVector();
        QVERIFY(points.size() <= 2 * int(live.chart()->plotArea().width()) + 2);
        double top = 0;
        for (const QPointF &p : points)
            top = std::max(top, p.y());
        QCOMPARE(top, 30.0);

        // Zoomed to a minute around the spike: every sample, joined smoothly,
        // from the neighbour before the window to the one after it.
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(log.timeMs(spike));
        live.axisX()->setRange(at.addSecs(-30), at.addSecs(30));
        QCOMPARE(live.shape(), CurveShape::Smooth);
        const QVector<QPointF> near = live.series(VBUS)->pointsVector();
        QCOMPARE(near.first(), QPointF(double(log.timeMs(spike - 31)), 5.0));
        QCOMPARE(near.last(), QPointF(double(log.timeMs(spike + 31)), 5.0));
        QVERIFY(near.contains(QPointF(double(log.timeMs(spike)), 30.0)));
        QCOMPARE(std::max_element(near.begin(), near.end(), [](QPointF a, QPointF b) { return a.y() < b.y(); })->y(),
                 30.0);
        QCOMPARE(live.chart()->series(),
                 QList<QAbstractSeries *>({live.series(VBUS), live.series(IBUS), live.series(POWER)}));
    }
};

QTEST_MAIN(TestLiveChart)
#include "tst_livechart.moc"
