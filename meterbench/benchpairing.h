#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <deque>
#include <limits>
#include <vector>

// What goes in and what comes out: the records of a bench's `in` meter and
// of its `out` meter paired by time, and what follows from each pair.
//
// Two records pair when their times are within half the reporting period of
// each other; a record with no partner that close is a gap (every derived
// value NaN), never a value made up from records of other moments. The times
// are each meter's wall-clock time at its run's first record carried on by
// its run's steady timeline, so a wall clock set back during the bench does
// not pair records of different moments.
namespace Bench {

// Below this output current the resistance is not shown: the drop is mostly
// the meters' own error then.
inline constexpr double kResistanceFloorA = 0.05;

// One record of one meter, as the pairing reads it.
struct Point {
    qint64 t = 0;   // ms, see above
    float vbus = 0.0f;
    float ibus = 0.0f;
    float power = 0.0f;
};

// The values of one pair, or of a gap.
struct Derived {
    qint64 t = 0;                 // the out record's time (a gap: the lone record's)
    double efficiencyPct = qQNaN();   // 100 x P_out / P_in
    double lossW = qQNaN();           // P_in - P_out
    double dropV = qQNaN();           // V_in - V_out
    double resistanceOhm = qQNaN();   // drop / I_out, I_out at least kResistanceFloorA
    bool gap() const { return qIsNaN(lossW); }
};

Derived derive(const Point &in, const Point &out);

// A pair's values as one JSON object, without a line end:
// {"time":…,"bench":NAME,"efficiency_pct":…,"loss_w":…,"drop_v":…,"resistance_ohm":…}
// (a gap: the four values null), as the JSON lines and MQTT carry them.
QByteArray json(const QString &benchName, const Derived &d);

// Pairs records as they come: each meter's in the order of their times. A
// record waits for its partner until settle() is told that every record up
// to a time has been given. A pairing begun without its period (0) keeps
// every record waiting until setPeriod().
class Pairing
{
public:
    explicit Pairing(qint64 periodMs) : m_periodMs(qMax<qint64>(0, periodMs)) {}
    void setPeriod(qint64 periodMs) { m_periodMs = qMax<qint64>(1, periodMs); }

    void addIn(const Point &p);
    void addOut(const Point &p);
    // Every record of both meters up to `watermark` has been given: those
    // that cannot find a partner any more become gaps.
    void settle(qint64 watermark = std::numeric_limits<qint64>::max());
    // The values made since the last take, in the order of their times.
    std::vector<Derived> take();
    qint64 periodMs() const { return m_periodMs; }

private:
    void pairWaiting();
    void lone(const Point &p);

    qint64 m_periodMs;
    std::deque<Point> m_in, m_out;
    std::vector<Derived> m_made;
};

// Every pair and gap of an in and an out meter's records (each in the order
// of their times), in the order of their times.
std::vector<Derived> pairAll(const std::vector<Point> &ins, const std::vector<Point> &outs, qint64 periodMs);

// The bench's reporting period from one meter's record times: the median
// step between them (1 s for fewer than two records).
qint64 periodOf(const std::vector<qint64> &times);

// Figures over an interval, from both meters' own totals there and the
// pairs in it.
struct Figures {
    double energyInWh = 0.0;
    double energyOutWh = 0.0;
    double energyEfficiencyPct = qQNaN();   // 100 x Wh_out / Wh_in
    double lossMeanW = qQNaN();
    double lossMinW = qQNaN();
    double lossMaxW = qQNaN();
    int pairs = 0;
    int gaps = 0;
};
// `derived` the interval's values, pairs and gaps.
Figures figures(double energyInWh, double energyOutWh, const std::vector<Derived> &derived);
// One more value of an interval into its figures (not the energies).
void add(Figures &f, const Derived &d);

// The figures as a table shows them, a row each: its name, and its value
// with its unit ("-" where there is none).
enum FigureRow { EnergyIn, EnergyOut, EnergyEfficiency, LossMean, LossMin, LossMax, Pairs, Gaps, FigureRowCount };
QString figureName(int row);
QString figureText(const Figures &f, int row);

} // namespace Bench
