// The chart's arithmetic without a window: axis labels, the min/max index
// and the reduction of long runs, wheel zoom, curve style texts and the
// custom range keys.
#include "base/setting.h"
#include "charts/axislabels.h"
#include "charts/curvereduction.h"
#include "charts/curvestyle.h"
#include "charts/customranges.h"
#include "charts/timezoom.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QtCharts/QCategoryAxis>
#include <QtTest>

#include <cmath>
#include <random>

QT_CHARTS_USE_NAMESPACE

namespace {

QStringList labels(QCategoryAxis &axis)
{
    return axis.categoriesLabels();
}

qint64 at(int h, int m, int s)
{
    return QDateTime(QDate(2026, 12, 7), QTime(h, m, s)).toSecsSinceEpoch();
}

} // namespace

class TestChartLogic : public QObject
{
    Q_OBJECT
private slots:
    void axisLabels()
    {
        QCategoryAxis axis;
        autoRangeAxis(&axis, QStringLiteral("V"), 10, 2, 21.3f);
        QCOMPARE(axis.min(), 0.0);
        QCOMPARE(axis.max(), 23.0);
        QCOMPARE(labels(axis), QStringList({"0.00V", "2.30V", "4.60V", "6.90V", "9.20V", "11.50V", "13.80V",
                                            "16.10V", "18.40V", "20.70V", "23.00V"}));
        QCOMPARE(axis.endValue(QStringLiteral("23.00V")), 23.0);

        // A fixed range replaces the labels; one whose maximum is not above
        // its minimum leaves range and labels alone.
        setFixedAxisRange(&axis, QStringLiteral("V"), 10, 2, 0.5f, 0.8f);
        QCOMPARE(labels(axis), QStringList({"0.50V", "0.53V", "0.56V", "0.59V", "0.62V", "0.65V", "0.68V", "0.71V",
                                            "0.74V", "0.77V", "0.80V"}));
        QCOMPARE(axis.min(), double(0.5f));
        setFixedAxisRange(&axis, QStringLiteral("V"), 10, 2, 0.0f, 0.0f);
        setFixedAxisRange(&axis, QStringLiteral("V"), 10, 2, 4.0f, 3.0f);
        QCOMPARE(axis.max(), double(0.8f));
        QCOMPARE(labels(axis).size(), 11);

        autoRangeAxis(&axis, QString::fromUtf8("\u2103"), 10, 1, 100.0f);
        const QStringList t = labels(axis);
        QCOMPARE(t.size(), 11);
        QCOMPARE(t.first(), QString::fromUtf8("0.0\u2103"));
        QCOMPARE(t[1], QString::fromUtf8("10.1\u2103"));
        QCOMPARE(t.last(), QString::fromUtf8("101.0\u2103"));
    }

    void minMaxIndexAgreesWithAScan()
    {
        std::mt19937 random(7);
        std::uniform_real_distribution<float> value(-50.0f, 50.0f);
        std::vector<float> v;
        MinMaxIndex index;
        // Grown in uneven steps, queried over random ranges after each step.
        for (int step = 0; step < 40; ++step) {
            const int more = int(random() % 700);
            for (int i = 0; i < more; ++i)
                v.push_back(value(random));
            // Ties: the first one is reported.
            if (step == 20)
                v.insert(v.end(), 100, 60.0f);
            index.sync(v);
            for (int q = 0; q < 50 && !v.empty(); ++q) {
                const int a = int(random() % v.size());
                const int b = a + 1 + int(random() % (v.size() - a));
                const auto lo = std::min_element(v.begin() + a, v.begin() + b);
                const auto hi = std::max_element(v.begin() + a, v.begin() + b);
                const MinMaxIndex::Extremes e = index.query(v, a, b);
                QCOMPARE(e.min, *lo);
                QCOMPARE(e.max, *hi);
                QCOMPARE(e.minAt, int(lo - v.begin()));
                QCOMPARE(e.maxAt, int(hi - v.begin()));
            }
        }
        // A shorter column is a new run.
        std::vector<float> fresh(40, 1.0f);
        fresh[33] = -2.0f;
        index.sync(fresh);
        QCOMPARE(index.query(fresh, 0, 40).minAt, 33);
    }

    void reductionKeepsEveryPeak()
    {
        // A week of one sample a second, flat but for one spike and one dip.
        const int n = 7 * 24 * 3600;
        std::vector<qint64> times(n);
        std::vector<float> values(n, 5.0f);
        const qint64 t0 = qint64(at(0, 0, 0)) * 1000;
        for (int i = 0; i < n; ++i)
            times[size_t(i)] = t0 + qint64(i) * 1000;
        values[300001] = 30.0f;
        values[450000] = -1.0f;
        MinMaxIndex index;
        index.sync(values);

        const int columns = 1100;
        const qint64 t1 = times.back();
        const SampleSpan all = visibleSpan(times, t0, t1);
        QCOMPARE(all.inside, n);
        QCOMPARE(shapeFor(all.inside, columns), CurveShape::Envelope);
        const QVector<QPointF> points = curvePoints(times, values, index, all, CurveShape::Envelope, t0, t1, columns);
        QVERIFY(points.size() <= 2 * columns + 2);
        double top = -1e9, bottom = 1e9;
        for (int k = 0; k < points.size(); ++k) {
            // Every point is a sample, in time order.
            const int i = int((qint64(points[k].x()) - t0) / 1000);
            QCOMPARE(points[k].y(), double(values[size_t(i)]));
            if (k > 0)
                QVERIFY(points[k].x() > points[k - 1].x());
            top = std::max(top, points[k].y());
            bottom = std::min(bottom, points[k].y());
        }
        QCOMPARE(top, 30.0);
        QCOMPARE(bottom, -1.0);

        // A minute around the spike: sparse, every sample plus a neighbour
        // on each side.
        const qint64 a = times[300001] - 30000, b = times[300001] + 30000;
        const SampleSpan near = visibleSpan(times, a, b);
        QCOMPARE(near.inside, 61);
        QCOMPARE(shapeFor(near.inside, columns), CurveShape::Smooth);
        const QVector<QPointF> raw = curvePoints(times, values, index, near, CurveShape::Smooth, a, b, columns);
        QCOMPARE(raw.size(), 63);
        QCOMPARE(raw.first().x(), double(a - 1000));
        QCOMPARE(raw[31].y(), 30.0);
        // Between a sample every 4 pixels and two a pixel: straight, raw.
        QCOMPARE(shapeFor(276, 1100), CurveShape::Straight);
        QCOMPARE(shapeFor(2200, 1100), CurveShape::Straight);
        QCOMPARE(shapeFor(2201, 1100), CurveShape::Envelope);
        // Nothing recorded, or nothing near the window.
        QCOMPARE(visibleSpan({}, a, b).end, 0);
        QCOMPARE(visibleSpan(times, t1 + 5000, t1 + 9000).begin, n - 1);
    }

    void denseCurveWithinARow()
    {
        // Rows 0.1 apart, a sample a second (ms, as the charts give them): a
        // stretch wobbling within a row, a peak, a straight ramp, and a step
        // at one time; the ends of each are what is kept.
        const QVector<QPointF> curve{{0, 5.0}, {1000, 5.05}, {2000, 4.98}, {3000, 5.02}, {4000, 5.0}, {5000, 6.0},
                                     {6000, 5.0}, {7000, 5.5}, {8000, 6.0}, {9000, 6.5}, {10000, 7.0}, {10000, 9.0}};
        QCOMPARE(withinRow(curve, 0.1),
                 (QVector<QPointF>{{0, 5.0}, {4000, 5.0}, {5000, 6.0}, {6000, 5.0}, {10000, 7.0}, {10000, 9.0}}));
        // A staircase: a line over any two steps passes far from the corner
        // between them, so every point stays.
        const QVector<QPointF> stairs{{0, 0.0}, {1000, 0.0}, {2000, 5.0}, {3000, 5.0}, {4000, 10.0}};
        QCOMPARE(withinRow(stairs, 0.1), stairs);
    }

    void smoothCurveThroughAPeak()
    {
        // Up a volt and down again, a second each way, two pixels a second:
        // flat at the peak, each side is the cubic of its chord, 0.625 V
        // half-way (worked out by hand), with no step beyond the samples.
        const QVector<QPointF> curve = monotoneCurve({{0, 0}, {1000, 1}, {2000, 0}}, 0, 2000, 1000);
        QMap<double, double> at;
        for (const QPointF &p : curve)
            at.insert(p.x(), p.y());
        QCOMPARE(at.value(500, -1), 0.625);
        QCOMPARE(at.value(1000, -1), 1.0);
        QCOMPARE(at.value(1500, -1), 0.625);
        QVERIFY(at.value(996, -1) < 1.0 && at.value(996, -1) > 0.99);
    }

    void smoothCurveThinnedWithinTheTolerance()
    {
        // Twenty samples a second apart that rise, turn and level off, on
        // 800 columns: thinned to 0.01 V, the curve keeps every sample and
        // only points of the full curve, in time order, and passes within
        // 0.01 V of every point it leaves out, with far fewer points.
        QVector<QPointF> samples;
        for (int i = 0; i < 20; ++i)
            samples.append(QPointF(1000.0 * i, 5.0 + 4.0 * std::sin(i * 0.3) + (i % 3) * 0.2));
        const double tolerance = 0.01;
        const QVector<QPointF> full = monotoneCurve(samples, 0, 19000, 800);
        const QVector<QPointF> thin = monotoneCurve(samples, 0, 19000, 800, tolerance);
        QVERIFY2(thin.size() * 2 < full.size(), qPrintable(QStringLiteral("%1 of %2").arg(thin.size()).arg(full.size())));
        for (const QPointF &s : samples)
            QVERIFY(thin.contains(s));
        for (int k = 1; k < thin.size(); ++k)
            QVERIFY(thin[k - 1].x() < thin[k].x());
        int j = 0;
        for (const QPointF &p : full) {
            while (j + 1 < thin.size() && thin[j + 1].x() < p.x())
                ++j;
            if (thin[j].x() == p.x() || (j + 1 < thin.size() && thin[j + 1].x() == p.x()))
                continue;   // a point kept
            const QPointF a = thin[j], b = thin[j + 1];
            const double line = a.y() + (b.y() - a.y()) * (p.x() - a.x()) / (b.x() - a.x());
            QVERIFY2(std::abs(line - p.y()) <= tolerance * 1.0001,
                     qPrintable(QStringLiteral("%1 V off at %2 ms").arg(line - p.y()).arg(p.x())));
        }
        for (const QPointF &p : thin)
            QVERIFY(full.contains(p));
        // No tolerance: the full curve.
        QCOMPARE(monotoneCurve(samples, 0, 19000, 800, 0.0), full);
    }

    void wheelZoom()
    {
        const qint64 lo = at(12, 0, 0), hi = at(12, 0, 10);
        TimeZoom::Range in = TimeZoom::wheel(lo, hi, 0.5, true);
        QCOMPARE(in.min, at(12, 0, 1));
        QCOMPARE(in.max, at(12, 0, 8));
        TimeZoom::Range out = TimeZoom::wheel(lo, hi, 0.5, false);
        QCOMPARE(out.min, at(11, 59, 57));
        QCOMPARE(out.max, at(12, 0, 12));
        // Within a second of an end: two seconds around the cursor.
        in = TimeZoom::wheel(lo, hi, 0.95, true);
        QCOMPARE(in.max - in.min, qint64(2));
        QCOMPARE(in.max, at(12, 0, 10));
        in = TimeZoom::wheel(lo, hi, 0.02, true);
        QCOMPARE(in.min, at(11, 59, 59));
        QCOMPARE(in.max, at(12, 0, 1));
    }

    void curveStyleTexts()
    {
        using namespace CurveStyleText;
        QCOMPARE(toColor(QStringLiteral("ff00aa00")), QColor(0, 170, 0));
        QCOMPARE(toColor(QStringLiteral("0000aa00")).alpha(), 255);
        QCOMPARE(toColor(QString()), QColor(Qt::black));
        QCOMPARE(toColor(QStringLiteral("red")), QColor(Qt::black));
        QCOMPARE(fromColor(QColor(255, 0, 0)), QStringLiteral("ffff0000"));
        QCOMPARE(fromColor(QColor(1, 2, 3, 4)), QStringLiteral("ff010203"));
        QCOMPARE(widthOfChoice(4), 2.5);
        QCOMPARE(widthOfChoice(6), 0.6);
        QCOMPARE(widthOfChoice(-1), 0.6);
        QCOMPARE(choiceOfWidth(QStringLiteral("3.0")), 5);
        QCOMPARE(choiceOfWidth(QStringLiteral("3")), -1);
        QCOMPARE(themeIndex(QStringLiteral("BlueIcy")), 6);
        QCOMPARE(themeIndex(QStringLiteral("dark")), -1);
        QCOMPARE(theme(2), QChart::ChartThemeDark);
    }

    void storedStylesAndRanges()
    {
        QTemporaryDir dir;
        QVERIFY(QDir::setCurrent(dir.path()));
        // A fresh file: a colour of its own per curve, neither dark nor pale
        // (readable on the light and the dark themes), stored at once; curves
        // 0.5 wide, every range off at 0. A stored colour, black too, stays.
        Setting().write(QStringLiteral("CPU_Temp_col"), QStringLiteral("ff000000"));
        const CurveStyles fresh = loadCurveStyles();
        for (int c = 0; c < kChannelCount; ++c) {
            QCOMPARE(fresh[c].width, 0.5);
            if (c == CPU_Temp)
                continue;
            const QColor colour = fresh[c].color;
            QVERIFY2(colour.lightness() >= 90 && colour.lightness() <= 170, qPrintable(colour.name()));
            for (int o = 0; o < c; ++o) {
                const QColor other = fresh[o].color;
                const int distance = qAbs(colour.red() - other.red()) + qAbs(colour.green() - other.green())
                                     + qAbs(colour.blue() - other.blue());
                QVERIFY2(distance >= 90, qPrintable(colour.name() + QLatin1Char(' ') + other.name()));
            }
        }
        QCOMPARE(fresh[VBUS].color, QColor(0xe5, 0x48, 0x3f));
        QCOMPARE(Setting().read(QStringLiteral("VBUS_col")), QStringLiteral("ffe5483f"));
        QCOMPARE(Setting().read(QStringLiteral("CC2_col")), QStringLiteral("ffd9569a"));
        QCOMPARE(fresh[CPU_Temp].color, QColor(Qt::black));
        QCOMPARE(Setting().read(QStringLiteral("CPU_Temp_col")), QStringLiteral("ff000000"));
        CustomRanges ranges;
        ranges.load();
        for (int c = 0; c < kChannelCount; ++c)
            QVERIFY(!ranges.on[c] && ranges.min[c] == 0 && ranges.max[c] == 0);

        Setting s;
        s.write(QStringLiteral("vbus_col"), QStringLiteral("ff00aa00"));
        s.write(QStringLiteral("PD_lw"), QStringLiteral("2.5"));
        s.write(QStringLiteral("IBUS_lw"), QStringLiteral("7.0"));
        s.write(QStringLiteral("Powe_Min_Value"), QStringLiteral("3.30"));
        s.write(QStringLiteral("CPU_Max_Value"), QStringLiteral("45.0"));
        s.write(QStringLiteral("CPUIsOpen"), QStringLiteral("2"));
        s.write(QStringLiteral("PMIsOpen"), QStringLiteral("x"));
        const CurveStyles styles = loadCurveStyles();
        QCOMPARE(styles[VBUS].color, QColor(0, 170, 0));
        QCOMPARE(styles[PD].width, 2.5);
        QCOMPARE(styles[IBUS].width, 0.5);
        ranges.load();
        QCOMPARE(ranges.min[POWER], 3.3f);
        QCOMPARE(ranges.max[CPU_Temp], 45.0f);
        QVERIFY(ranges.on[CPU_Temp]);
        QVERIFY(!ranges.on[PM]);
        QCOMPARE(CustomRanges::boundText(CPU_Temp, 45.0f), QStringLiteral("45.0"));
        QCOMPARE(CustomRanges::boundText(VBUS, 3.3f), QStringLiteral("3.30"));
    }
};

QTEST_MAIN(TestChartLogic)
#include "tst_chartlogic.moc"
