// Runs compared from the history: chosen with the mouse and the keyboard in
// the history window, shown on one chart against time since start, with
// their figures, the cursors' intervals and the wide CSV, which is checked
// against each run's own export by the command line.
#include "app/startup.h"
#include "base/appname.h"
#include "charts/chartview.h"
#include "charts/measurecursors.h"
#include "device/meterreading.h"
#include "childprocess.h"
#include "sigrokcli.h"
#include "simulator.h"
#include "recording/readinglog.h"
#include "recording/runjournal.h"
#include "device/channels.h"
#include "report/runreport.h"
#include "ui/comparewindow.h"
#include "ui/maindialog.h"
#include "ui/prompts.h"
#include "ui/runhistory.h"
#include "ui_maindialog.h"
#include "windowinput.h"

#include <QGraphicsLineItem>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QAbstractItemView>
#include <QComboBox>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionComboBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtTest>

#include <memory>

namespace {

int rowOf(RunHistoryWindow *history, qint64 id)
{
    for (int row = 0; row < history->table()->rowCount(); ++row)
        if (history->runAt(row) == id)
            return row;
    return -1;
}

QPoint rowCentre(QTableWidget *table, int row)
{
    return table->visualItemRect(table->item(row, 0)).center();
}

// A run's records as the command line exports them: one JSON object a line.
QVector<QJsonObject> exported(const QString &dataHome, qint64 id)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(OMBREL_SIM_BINARY), {QStringLiteral("export"), QString::number(id), QStringLiteral("--jsonl"),
                                                QStringLiteral("-")});
    QVector<QJsonObject> records;
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning("export: %s", p.readAllStandardError().constData());
        return records;
    }
    for (const QByteArray &line : p.readAllStandardOutput().split('\n'))
        if (!line.isEmpty())
            records << QJsonDocument::fromJson(line).object();
    return records;
}

// A run kept in the journal with records at the given ms from its start,
// record k with VBUS 5 + k/100 V, IBUS (k+1)/10 A, POWER their product and
// the other channels fixed.
qint64 keptRun(RunJournal &journal, qint64 startMs, const QVector<qint64> &atMs, const QString &name)
{
    const qint64 run = journal.beginRun(startMs, QStringLiteral("M512X"), QStringLiteral("V1.2"), QStringLiteral("1"));
    ReadingLog log;
    for (int k = 0; k < atMs.size(); ++k) {
        const float v = 5.0f + k / 100.0f, a = (k + 1) / 10.0f;
        log.append(startMs + atMs[k], startMs + atMs[k],
                   ReadingLog::Values{v, a, v * a, 0.6f, 0.59f, 1.68f, 0.0f, k / 3600.0f, k / 700.0f, 31.0f});
    }
    journal.sync(run, log);
    journal.endRun(run, startMs + atMs.last(), QStringLiteral("stopped"));
    journal.rename(journal.storedId(run), name);
    return journal.storedId(run);
}

// Where the plot of the comparison's chart shows a time since start, in the
// window's coordinates, half way up.
QPoint plotPoint(CompareWindow *compare, double seconds)
{
    QtCharts::QChart *chart = compare->chart();
    const QPointF p = chart->mapToPosition(QPointF(double(CompareWindow::axisBase()) + seconds * 1000, 0),
                                           compare->series(0));
    return compare->view()->viewport()->mapTo(
        compare, compare->view()->mapFromScene(chart->mapToScene(QPointF(p.x(), chart->plotArea().center().y()))));
}

// The items of the comparison's combo boxes that are not shown whole: in
// the box (the field it draws the chosen one in) or in its list (narrower
// than its items ask to be drawn).
QStringList cutItems(CompareWindow *compare)
{
    QStringList cut;
    for (QComboBox *box : {compare->channelBox(), compare->alignBox()}) {
        QStyleOptionComboBox option;
        option.initFrom(box);
        const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box);
        for (int i = 0; i < box->count(); ++i) {
            if (box->fontMetrics().horizontalAdvance(box->itemText(i)) > field.width())
                cut << QStringLiteral("box: ") + box->itemText(i);
        }
        box->showPopup();
        if (box->view()->viewport()->width() < box->view()->sizeHintForColumn(0))
            cut << QStringLiteral("list: ") + box->itemText(0);
        box->hidePopup();
    }
    return cut;
}

} // namespace

class TestCompare : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<QTemporaryDir> m_dir;
    qint64 m_now = 0;
    QStringList m_warnings;
    QString m_saveAs;

private slots:
    void initTestCase()
    {
        Startup::applyLook(*qApp);
        // The window's data folder under the program's name, as the command line finds it.
        AppName::apply();
        Prompts::setWarningHandler([this](QWidget *, const QString &, const QString &text) { m_warnings << text; });
        Prompts::setSaveFileHandler([this](QWidget *, const QString &, const QString &, const QString &) {
            return m_saveAs;
        });
    }

    void init()
    {
        sim::reset();
        meterReading() = MeterReading();
        m_warnings.clear();
        m_now = QDateTime(QDate(2026, 12, 7), QTime(9, 0, 0)).toMSecsSinceEpoch();
        m_dir.reset(new QTemporaryDir);
        QVERIFY(QDir::setCurrent(m_dir->path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir->filePath(QStringLiteral("data"))));
    }

    void cleanup()
    {
        QTRY_COMPARE(sim::openHandles(), 0);
    }

    // Two runs kept with records at known times: "fast" 100 a second for
    // 40 ms and one more at 1 s, "gap" one a second with 4 s missing. The
    // CSV holds every record of both, each on the row of its time since
    // start; the curve of "gap" breaks off where its records do.
    void everyRecordAndItsGaps()
    {
        RunJournal journal;
        QVERIFY(journal.open());
        const qint64 start = QDateTime(QDate(2026, 12, 7), QTime(9, 0, 0)).toMSecsSinceEpoch();
        const qint64 fast = keptRun(journal, start, {0, 10, 20, 30, 40, 1000}, QStringLiteral("fast"));
        const qint64 gap = keptRun(journal, start + 3600000, {0, 1000, 2000, 6000, 7000}, QStringLiteral("gap"));
        auto *compare = new CompareWindow(&journal, {fast, gap}, nullptr);
        compare->show();
        QVERIFY(QTest::qWaitForWindowExposed(compare));

        // Each run's curve: a series for each stretch between gaps, only
        // the first in the legend.
        using Stretches = QMap<QString, QVector<QPair<qreal, qreal>>>;
        auto stretches = [compare] {
            Stretches drawn;
            for (QtCharts::QAbstractSeries *series : compare->chart()->series()) {
                const QVector<QPointF> points = static_cast<QtCharts::QLineSeries *>(series)->pointsVector();
                if (!points.isEmpty())
                    drawn[series->name()] << qMakePair(points.first().x(), points.last().x());
            }
            return drawn;
        };
        const qreal base = qreal(CompareWindow::axisBase());
        QCOMPARE(stretches(), (Stretches{{"fast", {{base, base + 1000}}},
                                         {"gap", {{base, base + 2000}, {base + 6000, base + 7000}}}}));
        // The legend: each run once, in the order chosen.
        QStringList legend;
        for (QtCharts::QLegendMarker *marker : compare->chart()->legend()->markers()) {
            if (marker->isVisible())
                legend << marker->label();
        }
        QCOMPARE(legend, (QStringList{compare->comparison().runName(0), compare->comparison().runName(1)}));
        QVERIFY(legend[0].contains(QStringLiteral("fast")) && legend[1].contains(QStringLiteral("gap")));
        // Dragged 3 s to the left: only the stretch after the gap is left.
        const QPoint from = plotPoint(compare, 5), half = plotPoint(compare, 3.5), to = plotPoint(compare, 2);
        QTest::mousePress(compare->windowHandle(), Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(compare->windowHandle(), half);
        QTest::mouseMove(compare->windowHandle(), to);
        QTest::mouseRelease(compare->windowHandle(), Qt::LeftButton, Qt::NoModifier, to);
        QVERIFY(std::abs(compare->axisX()->min().toMSecsSinceEpoch() - qint64(base) - 3000) < 100);
        QCOMPARE(stretches(), (Stretches{{"gap", {{base + 6000, base + 7000}}}}));

        m_saveAs = m_dir->filePath(QStringLiteral("every.csv"));
        clickOn(compare->csvButton());
        QVERIFY(m_warnings.isEmpty());
        QFile csv(m_saveAs);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QList<QByteArray> rows = csv.readAll().split('\n');
        QCOMPARE(rows.takeFirst().split(',').size(), 17);
        // Record k: VBUS 5 + k/100, IBUS (k+1)/10, POWER their product, then DP,
        // DM, CC1, CC2 and CPU as kept; a run without a record there: empty.
        const QByteArray rest = ",0.600000,0.590000,1.680000,0.000000,31.000000", none = ",,,,,,,,";
        const QList<QByteArray> expected{
            "0.000,5.000000,0.100000,0.500000" + rest + ",5.000000,0.100000,0.500000" + rest,
            "0.010,5.010000,0.200000,1.002000" + rest + none,
            "0.020,5.020000,0.300000,1.506000" + rest + none,
            "0.030,5.030000,0.400000,2.012000" + rest + none,
            "0.040,5.040000,0.500000,2.520000" + rest + none,
            "1.000,5.050000,0.600000,3.030000" + rest + ",5.010000,0.200000,1.002000" + rest,
            "2.000" + none + ",5.020000,0.300000,1.506000" + rest,
            "6.000" + none + ",5.030000,0.400000,2.012000" + rest,
            "7.000" + none + ",5.040000,0.500000,2.520000" + rest,
            "",
        };
        QCOMPARE(rows, expected);
        compare->close();

        // The run's report draws it in the same pieces: VBUS of records
        // 0, 1, 2 s and, after the gap, 6 and 7 s.
        ReadingLog log;
        QVERIFY(journal.load(gap, log));
        const std::vector<QVector<QPointF>> pieces = RunReport::reducedCurve(log, VBUS, 900);
        QCOMPARE(int(pieces.size()), 2);
        QCOMPARE(pieces[0].first(), QPointF(0, double(5.0f)));
        QCOMPARE(pieces[0].last(), QPointF(2000, double(5.02f)));
        QCOMPARE(pieces[1].first(), QPointF(6000, double(5.03f)));
        QCOMPARE(pieces[1].last(), QPointF(7000, double(5.04f)));
    }

    // The comparison opens within the screen's free area (offscreen's is
    // 800 x 600), a larger window gives all it gains to the chart, the
    // cursors' table lies on the screen, and the combo boxes show their
    // items whole, closed and open, in English too.
    void windowFitsTheScreen()
    {
        RunJournal journal;
        QVERIFY(journal.open());
        const qint64 start = QDateTime(QDate(2026, 12, 7), QTime(9, 0, 0)).toMSecsSinceEpoch();
        const qint64 one = keptRun(journal, start, {0, 1000, 2000, 3000}, QStringLiteral("one"));
        const qint64 two = keptRun(journal, start + 3600000, {0, 1000, 2000, 3000}, QStringLiteral("two"));
        auto *compare = new CompareWindow(&journal, {one, two}, nullptr);
        compare->show();
        QVERIFY(QTest::qWaitForWindowExposed(compare));
        const QRect free = compare->screen()->availableGeometry();
        QVERIFY2(free.contains(compare->frameGeometry()),
                 qPrintable(QStringLiteral("%1 x %2 on %3 x %4").arg(compare->frameGeometry().width())
                                .arg(compare->frameGeometry().height()).arg(free.width()).arg(free.height())));

        QCOMPARE(cutItems(compare), QStringList());
        QTranslator english;
        QVERIFY(english.load(QStringLiteral(":/Language/lib_en.qm")));
        qApp->installTranslator(&english);
        QTRY_COMPARE(compare->alignBox()->itemText(0), QStringLiteral("Start"));
        QCOMPARE(cutItems(compare), QStringList());
        qApp->removeTranslator(&english);

        const int chart = compare->view()->height(), tables = compare->table()->height();
        compare->resize(compare->width(), compare->height() + 300);
        QTRY_COMPARE(compare->view()->height(), chart + 300);
        QCOMPARE(compare->table()->height(), tables);
        compare->resize(compare->width(), compare->height() - 300);

        clickOn(compare->measureButton());
        QTest::mousePress(compare->windowHandle(), Qt::LeftButton, Qt::NoModifier, plotPoint(compare, 0.5));
        QTest::mouseMove(compare->windowHandle(), plotPoint(compare, 1.5));
        QTest::mouseRelease(compare->windowHandle(), Qt::LeftButton, Qt::NoModifier, plotPoint(compare, 2.5));
        QTableWidget *intervals = compare->intervalTable();
        QVERIFY(intervals->isVisible());
        QVERIFY(free.contains(QRect(intervals->mapToGlobal(QPoint()), intervals->size())));
        compare->close();
    }

    // The time axis in round steps, at most eight over the comparison, each
    // written under its tick as the time since the start.
    void timeLabelsInRoundSteps_data()
    {
        QTest::addColumn<qint64>("lastMs");
        QTest::addColumn<QStringList>("labels");
        // A comparison shorter than 10 s is shown over 10 s.
        QTest::newRow("seconds") << qint64(7000)
                                 << QStringList{"0:00:00", "0:00:02", "0:00:04", "0:00:06", "0:00:08", "0:00:10"};
        QTest::newRow("quarter hours") << qint64(7200000)
                                       << QStringList{"0:00:00", "0:15:00", "0:30:00", "0:45:00", "1:00:00",
                                                      "1:15:00", "1:30:00", "1:45:00", "2:00:00"};
        QTest::newRow("days") << qint64(5) * 86400000
                              << QStringList{"0:00:00", "24:00:00", "48:00:00", "72:00:00", "96:00:00", "120:00:00"};
    }

    void timeLabelsInRoundSteps()
    {
        QFETCH(qint64, lastMs);
        QFETCH(QStringList, labels);
        RunJournal journal;
        QVERIFY(journal.open());
        const qint64 start = QDateTime(QDate(2026, 12, 1), QTime(9, 0, 0)).toMSecsSinceEpoch();
        const qint64 one = keptRun(journal, start, {0, lastMs / 2, lastMs}, QStringLiteral("long"));
        const qint64 two = keptRun(journal, start + lastMs + 60000, {0, 1000}, QStringLiteral("short"));
        CompareWindow compare(&journal, {one, two}, nullptr);
        compare.show();
        QVERIFY(QTest::qWaitForWindowExposed(&compare));
        QtCharts::QCategoryAxis *axis = nullptr;
        for (QtCharts::QAbstractAxis *a : compare.chart()->axes(Qt::Horizontal))
            axis = axis ? axis : qobject_cast<QtCharts::QCategoryAxis *>(a);
        QVERIFY(axis);
        QCOMPARE(axis->categoriesLabels(), labels);
    }

    // Three runs recorded by the window; the first and the third chosen in
    // the history with a click and a Ctrl+click, then Compare: both on the
    // chart from time 0, their figures and differences, the cursors'
    // interval for each at the same times since start, and the wide CSV
    // equal to each run's own records.
    void compareFromTheHistory()
    {
        sim::Meter &meter = sim::attach(sim::Identity());
        meter.setReportRate(0);
        MainDialog d;
        d.chartTimer().stop();
        d.dashboardTimer().stop();
        d.setClock([this] { return m_now; });
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        clickOn(d.form()->disp_Btn_Run);   // the run the connection began, stopped
        // Run 1: 90 s at 2 A, the voltage rising 10 mV a second from 5 V.
        // Run 2: 20 s, not compared. Run 3: 60 s at 1 A from 9 V, falling.
        struct Plan { int records; float v0, dv, amps; };
        const Plan plans[] = {{90, 5.0f, 0.01f, 2.0f}, {20, 12.0f, 0.0f, 3.0f}, {60, 9.0f, -0.02f, 1.0f}};
        for (const Plan &plan : plans) {
            m_now += 3600000;
            clickOn(d.form()->disp_Btn_Run);
            for (int i = 0; i < plan.records; ++i) {
                meterReading().vbus = plan.v0 + plan.dv * float(i);
                meterReading().ibus = plan.amps;
                meterReading().power = meterReading().vbus * plan.amps;
                meterMeasures(d, meter);
                m_now += 1000;
                d.chartTick();
            }
            clickOn(d.form()->disp_Btn_Run);
        }

        // Marks of the same name in runs 1 and 3, at 20 s and at 5 s.
        {
            RunJournal marks;
            QVERIFY(marks.open());
            const std::vector<JournalRun> runs = marks.runs();
            QVERIFY(runs.size() >= 3);
            QVERIFY(marks.addMark(runs[2].id, 20000, runs[2].startMs + 21000, QStringLiteral("plugged")) > 0);
            QVERIFY(marks.addMark(runs[0].id, 5000, runs[0].startMs + 6000, QStringLiteral("plugged")) > 0);
        }

        Prompts::setMenuHandler([](QMenu *menu, const QPoint &) {
            for (QAction *a : menu->actions())
                if (a->text() == QStringLiteral("历史记录"))
                    a->trigger();
        });
        clickOn(d.form()->disp_btn_menu);
        Prompts::setMenuHandler(nullptr);
        RunHistoryWindow *history = d.historyWindow();
        QVERIFY(history && QTest::qWaitForWindowExposed(history));
        QTableWidget *table = history->table();
        // Newest first: run 3, run 2, run 1, and the empty first one's place.
        QVERIFY(table->rowCount() >= 3);
        const qint64 id3 = history->runAt(0), id2 = history->runAt(1), id1 = history->runAt(2);
        QCOMPARE(table->item(2, RunHistoryWindow::Records)->text(), QStringLiteral("90"));
        QCOMPARE(table->item(0, RunHistoryWindow::Records)->text(), QStringLiteral("60"));

        // One run: no comparison. Run 3 clicked, then run 1 with Ctrl.
        clickOn(table->viewport(), rowCentre(table, rowOf(history, id3)));
        QVERIFY(!history->compareButton()->isEnabled());
        QVERIFY(history->reportButton()->isEnabled());
        clickOn(table->viewport(), rowCentre(table, rowOf(history, id1)), Qt::ControlModifier);
        QCOMPARE(history->selectedRuns(), (QVector<qint64>{id1, id3}));
        QVERIFY(history->compareButton()->isEnabled());
        QVERIFY(!history->reportButton()->isEnabled());
        QVERIFY(!history->openButton()->isEnabled());
        // Ctrl+click on run 2 adds it, a second one takes it away again.
        clickOn(table->viewport(), rowCentre(table, rowOf(history, id2)), Qt::ControlModifier);
        QCOMPARE(history->selectedRuns().size(), 3);
        clickOn(table->viewport(), rowCentre(table, rowOf(history, id2)), Qt::ControlModifier);
        QCOMPARE(history->selectedRuns(), (QVector<qint64>{id1, id3}));

        clickOn(history->compareButton());
        CompareWindow *compare = history->findChild<CompareWindow *>();
        QVERIFY(compare);
        QVERIFY(QTest::qWaitForWindowExposed(compare));
        QVERIFY(m_warnings.isEmpty());
        QCOMPARE(compare->comparison().count(), 2);
        QCOMPARE(compare->comparison().run(0).info.id, id1);
        QStringList buttons;
        for (const QAbstractButton *b : compare->findChildren<QAbstractButton *>())
            buttons << b->text();
        for (const char *text : {"测量", "导出图片(.png)", "导出数据(.csv)", "报告"})
            QVERIFY2(buttons.contains(QString::fromUtf8(text)), qPrintable(buttons.join(QLatin1Char(','))));
        // Both curves from time 0, each in its own colour and its legend name.
        const qint64 base = CompareWindow::axisBase();
        QCOMPARE(compare->axisX()->min().toMSecsSinceEpoch(), base);
        QCOMPARE(compare->axisX()->max().toMSecsSinceEpoch(), base + 89000);
        QCOMPARE(compare->series(0)->at(0), QPointF(double(base), 5.0));
        QCOMPARE(compare->series(1)->at(0), QPointF(double(base), 9.0));
        QVERIFY(compare->series(0)->pen().color() != compare->series(1)->pen().color());
        QVERIFY(compare->series(0)->name().contains(QStringLiteral("#%1").arg(id1)));
        // The elapsed time is written under its own tick: 30 s under 30 s.
        {
            QtCharts::QChart *chart = compare->chart();
            const auto x = [&](double s) {
                return chart->mapToScene(chart->mapToPosition(QPointF(double(base) + s * 1000, 0), compare->series(0))).x();
            };
            QStringList seen;
            const QGraphicsTextItem *label = nullptr;
            for (QGraphicsItem *item : chart->scene()->items()) {
                auto *text = dynamic_cast<QGraphicsTextItem *>(item);
                if (text && text->isVisible()
                    && QRegularExpression(QStringLiteral("^-?\\d+:\\d\\d:\\d\\d$")).match(text->toPlainText()).hasMatch()) {
                    seen << text->toPlainText();
                    if (text->toPlainText() == QStringLiteral("0:00:30"))
                        label = text;
                }
            }
            // Every ten seconds from the start, none before it.
            seen.sort();
            QCOMPARE(seen, (QStringList{"0:00:00", "0:00:10", "0:00:20", "0:00:30", "0:00:40", "0:00:50", "0:01:00",
                                        "0:01:10", "0:01:20"}));
            QVERIFY(label);
            const double centre = label->sceneBoundingRect().center().x();
            QVERIFY2(std::fabs(centre - x(30)) < (x(40) - x(30)) / 4,
                     qPrintable(QStringLiteral("label at %1, 30 s at %2, 40 s at %3").arg(centre).arg(x(30)).arg(x(40))));
        }

        // Figures: 89 s at 2 A and at 1 A (59 s); the difference from run 1.
        QTableWidget *figures = compare->table();
        QCOMPARE(figures->item(RunComparison::Records, 0)->text(), QStringLiteral("90"));
        QCOMPARE(figures->item(RunComparison::Charge, 0)->text(), QStringLiteral("0.0494"));
        QCOMPARE(figures->item(RunComparison::Charge, 1)->text(), QStringLiteral("0.0164  Δ -0.0331 (-66.9%)"));
        QCOMPARE(figures->item(RunComparison::Duration, 1)->text(), QStringLiteral("0:00:59  Δ -0:00:30 (-33.7%)"));
        QCOMPARE(figures->item(RunComparison::VbusMax, 0)->text(), QStringLiteral("5.890"));
        QCOMPARE(figures->item(RunComparison::EndReason, 1)->text(), QStringLiteral("已停止"));
        QCOMPARE(figures->item(RunComparison::Start, 0)->text(),
                 QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0)).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));

        // The read-out under the mouse: one value a run.
        compare->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(compare));
        auto at = [&](double seconds) { return plotPoint(compare, seconds); };
        QTest::mouseMove(compare->windowHandle(), at(10));
        QVERIFY(compare->view()->hoverItem());
        const QString readout = compare->view()->hoverItem()->text();
        QVERIFY2(readout.contains(QStringLiteral(": 5.10")) && readout.contains(QStringLiteral(": 8.80")),
                 qPrintable(readout));

        // Cursors: a drag from 10 s to 40 s since start.
        clickOn(compare->measureButton());
        QVERIFY(compare->measureButton()->isChecked());
        QTest::mousePress(compare->windowHandle(), Qt::LeftButton, Qt::NoModifier, at(10.2));
        QTest::mouseMove(compare->windowHandle(), at(25));
        QTest::mouseMove(compare->windowHandle(), at(40.2));
        QTest::mouseRelease(compare->windowHandle(), Qt::LeftButton, Qt::NoModifier, at(40.2));
        QVERIFY(compare->cursors()->isSet());
        QVERIFY(compare->intervalTable()->isVisible());
        const qint64 a = compare->cursors()->a() - base, b = compare->cursors()->b() - base;
        QVERIFY2(a > 9000 && a < 11500 && b > 39000 && b < 41500, qPrintable(QStringLiteral("%1 %2").arg(a).arg(b)));
        // The same records of both runs (one a second from 0), from their own currents.
        const int n = int((std::max(a, b)) / 1000 - (std::min(a, b) + 999) / 1000 + 1);
        QTableWidget *intervals = compare->intervalTable();
        const QString fromTo = QStringLiteral("0:00:%1 – 0:00:%2").arg(std::min(a, b) / 1000, 2, 10, QLatin1Char('0'))
                                   .arg(std::max(a, b) / 1000, 2, 10, QLatin1Char('0'));
        for (int run = 0; run < 2; ++run) {
            QCOMPARE(intervals->item(CompareWindow::FromTo, run)->text(), fromTo);
            QCOMPARE(intervals->item(CompareWindow::IntervalRecords, run)->text(), QString::number(n));
            const double amps = run == 0 ? 2.0 : 1.0;
            QCOMPARE(intervals->item(CompareWindow::IntervalCharge, run)->text(),
                     QString::number((n - 1) * amps / 3600.0, 'f', 6));
        }

        // A wheel step zooms both runs' time axis around the cursor.
        QWheelEvent wheel(QPointF(compare->view()->mapFrom(compare, at(45))), compare->view()->mapToGlobal(compare->view()->mapFrom(compare, at(45))),
                          QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(compare->view()->viewport(), &wheel);
        QVERIFY(compare->axisX()->max().toMSecsSinceEpoch() - compare->axisX()->min().toMSecsSinceEpoch() < 89000);

        // The wide CSV: a row for each time since start a record has, here
        // one a second, each run's records at their times.
        m_saveAs = m_dir->filePath(QStringLiteral("compare.csv"));
        clickOn(compare->csvButton());
        QVERIFY(m_warnings.isEmpty());
        QFile csv(m_saveAs);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        csv.close();
        QCOMPARE(lines.size(), 1 + 90 + 1);   // header, 90 rows, the empty end
        const QList<QByteArray> header = lines[0].split(',');
        QCOMPARE(header.size(), 1 + 2 * 8);
        QCOMPARE(header[0], QByteArray("time_s"));
        QVERIFY(header[1].endsWith("VBUS(V)") && header[9].endsWith("VBUS(V)") && header[11].endsWith("Power(W)"));
        const QString data = m_dir->filePath(QStringLiteral("data"));
        const QVector<QJsonObject> one = exported(data, id1), three = exported(data, id3);
        QCOMPARE(one.size(), 90);
        QCOMPARE(three.size(), 60);
        for (int i = 0; i < 90; ++i) {
            const QList<QByteArray> cells = lines[1 + i].split(',');
            QCOMPARE(cells.size(), 17);
            QCOMPARE(cells[0], QByteArray::number(i) + ".000");
            for (int run = 0; run < 2; ++run) {
                const QVector<QJsonObject> &records = run == 0 ? one : three;
                const int c = 1 + run * 8;
                if (i >= records.size()) {
                    QVERIFY(cells[c].isEmpty() && cells[c + 1].isEmpty());
                    continue;
                }
                const char *keys[] = {"vbus", "ibus", "power"};
                for (int k = 0; k < 3; ++k) {
                    const double expected = records[i].value(QLatin1String(keys[k])).toDouble();
                    QVERIFY2(std::fabs(cells[c + k].toDouble() - expected) < 1e-6,
                             qPrintable(QStringLiteral("row %1 run %2 %3: %4 vs %5").arg(i).arg(run).arg(keys[k])
                                            .arg(QString::fromLatin1(cells[c + k])).arg(expected)));
                }
            }
        }
        // The same as a sigrok session: both runs on one grid of a second,
        // the shorter one NaN past its end.
        m_saveAs = m_dir->filePath(QStringLiteral("compare.sr"));
        clickOn(compare->csvButton());
        QVERIFY(m_warnings.isEmpty());
        const QList<QByteArray> shown =
            SigrokCli::run({QStringLiteral("-i"), m_saveAs, QStringLiteral("--show")}).split('\n');
        QCOMPARE(shown.value(0), QByteArray("Samplerate: 1"));
        QCOMPARE(shown.value(3), QStringLiteral("- R%1_IBUS_A: analog").arg(id1).toLatin1());
        QCOMPARE(shown.value(21), QStringLiteral("- R%1_TEMP_C: analog").arg(id3).toLatin1());
        const QList<QList<QByteArray>> rows = SigrokCli::csvRows(m_saveAs);
        QCOMPARE(rows.size(), 90);
        for (int i = 0; i < 90; ++i) {
            QCOMPARE(rows[i].size(), 20);
            QVERIFY(std::fabs(rows[i][0].toDouble() - one[i].value(QLatin1String("vbus")).toDouble()) < 1e-4);
            QVERIFY(i < 60 ? std::fabs(rows[i][11].toDouble() - three[i].value(QLatin1String("ibus")).toDouble()) < 1e-4
                           : rows[i][11] == "nan");
        }
        m_saveAs = m_dir->filePath(QStringLiteral("compare.csv"));
        // Aligned at the mark, chosen with the keyboard: each run's mark at 0.
        QCOMPARE(compare->markItems(), 2);
        QCOMPARE(compare->alignBox()->count(), 2);
        compare->alignBox()->setFocus();
        QTest::keyClick(compare->windowHandle(), Qt::Key_Down);
        QCOMPARE(compare->alignBox()->currentText(), QStringLiteral("plugged"));
        QCOMPARE(compare->axisX()->min().toMSecsSinceEpoch(), base - 20000);
        QCOMPARE(compare->series(0)->at(0), QPointF(double(base - 20000), 5.0));
        QCOMPARE(compare->series(1)->at(0), QPointF(double(base - 5000), 9.0));
        QCOMPARE(compare->markLine(0)->line().x1(), compare->markLine(1)->line().x1());
        QTest::mouseMove(compare->windowHandle(), at(0));
        const QString aligned = compare->view()->hoverItem()->text();
        QVERIFY2(aligned.contains(QStringLiteral(": 5.200")) && aligned.contains(QStringLiteral(": 8.900")),
                 qPrintable(aligned));
        // The wide CSV follows: time 0 holds record 20 of run 1 and 5 of run 3.
        clickOn(compare->csvButton());
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> alignedLines = csv.readAll().split('\n');
        csv.close();
        QCOMPARE(alignedLines[1].split(',')[0], QByteArray("-20.000"));
        const QList<QByteArray> zero = alignedLines[21].split(',');
        QCOMPARE(zero[0], QByteArray("0.000"));
        QCOMPARE(zero[1].toDouble(), one[20].value(QStringLiteral("vbus")).toDouble());
        QCOMPARE(zero[9].toDouble(), three[5].value(QStringLiteral("vbus")).toDouble());

        // The comparison's report: both runs, their figures and the marks,
        // what its zero is, and the cursors' interval (2 s to 5 s after it).
        compare->cursors()->set(base + 2000, base + 5000);
        // The picture: the chart as it is on the screen.
        m_saveAs = m_dir->filePath(QStringLiteral("compare.png"));
        clickOn(compare->pngButton());
        QCOMPARE(QImage(m_saveAs).size(), compare->view()->size());
        m_saveAs = m_dir->filePath(QStringLiteral("compare.pdf"));
        clickOn(compare->reportButton());
        QVERIFY(m_warnings.isEmpty());
        const QString compared = ChildProcess::pdfText(m_saveAs);
        for (const QString &text : {compare->comparison().runName(0), compare->comparison().runName(1),
                                    QStringLiteral("0.0494"), QStringLiteral("0.0164"), QStringLiteral("plugged"),
                                    QStringLiteral("-0.0331 (-66.9%)"),
                                    QStringLiteral("各运行的首个“plugged”标记（没有该标记的运行为其首条记录）"),
                                    QStringLiteral("A–B 0:00:02 – 0:00:05"), QStringLiteral("第 1 页，共 ")})
            QVERIFY2(compared.contains(text), qPrintable(text + QStringLiteral(" missing in\n") + compared));
        // The legend: each run's name on a line of its own beside its colour.
        // The time axis from the first record, 20 s before the zero.
        QStringList pdfLines = compared.split(QLatin1Char('\n'));
        for (QString &l : pdfLines)
            l = l.trimmed();
        for (int i = 0; i < 2; ++i)
            QVERIFY2(pdfLines.contains(compare->comparison().runName(i)), qPrintable(compared));
        QVERIFY2(compared.contains(QStringLiteral("-0:00:20")), qPrintable(compared));
        m_saveAs = m_dir->filePath(QStringLiteral("compare.csv"));

        // Cancelled: nothing written, nothing said.
        QFile::remove(m_saveAs);
        const QString saved = m_saveAs;
        m_saveAs.clear();
        clickOn(compare->csvButton());
        QVERIFY(!QFile::exists(saved));
        QVERIFY(m_warnings.isEmpty());
        compare->close();

        // One run's report from the history.
        clickOn(table->viewport(), rowCentre(table, rowOf(history, id1)));
        QVERIFY(history->reportButton()->isEnabled());
        m_saveAs = m_dir->filePath(QStringLiteral("run.pdf"));
        clickOn(history->reportButton());
        QVERIFY(m_warnings.isEmpty());
        const QString report = ChildProcess::pdfText(m_saveAs);
        QVERIFY2(report.contains(QStringLiteral("运行 %1").arg(id1)) && report.contains(QStringLiteral("0.049444"))
                     && report.contains(QStringLiteral("plugged")),
                 qPrintable(report));
    }
};

QTEST_MAIN(TestCompare)
#include "tst_compare.moc"
