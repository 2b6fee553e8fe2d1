#include "meterbench/benchpairing.h"

#include "recording/jsonlines.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace Bench {

Derived derive(const Point &in, const Point &out)
{
    Derived d;
    d.t = out.t;
    const double pIn = double(in.power), pOut = double(out.power);
    d.lossW = pIn - pOut;
    d.dropV = double(in.vbus) - double(out.vbus);
    if (pIn > 0.0)
        d.efficiencyPct = 100.0 * pOut / pIn;
    if (double(out.ibus) >= kResistanceFloorA)
        d.resistanceOhm = d.dropV / double(out.ibus);
    return d;
}

QByteArray json(const QString &benchName, const Derived &d)
{
    QByteArray out = "{\"time\":\"" + JsonLines::isoTime(d.t) + "\",\"bench\":";
    JsonLines::appendString(out, benchName);
    const std::pair<const char *, double> fields[] = {
        {"efficiency_pct", d.efficiencyPct}, {"loss_w", d.lossW}, {"drop_v", d.dropV}, {"resistance_ohm", d.resistanceOhm}};
    for (const auto &f : fields) {
        out += ",\"";
        out += f.first;
        out += "\":";
        JsonLines::appendNumber(out, f.second);
    }
    out += '}';
    return out;
}

void Pairing::addIn(const Point &p)
{
    m_in.push_back(p);
    pairWaiting();
}

void Pairing::addOut(const Point &p)
{
    m_out.push_back(p);
    pairWaiting();
}

void Pairing::lone(const Point &p)
{
    Derived gap;
    gap.t = p.t;
    m_made.push_back(gap);
}

void Pairing::pairWaiting()
{
    while (m_periodMs > 0 && !m_in.empty() && !m_out.empty()) {
        const Point &in = m_in.front(), &out = m_out.front();
        const qint64 d = out.t - in.t;
        if (2 * std::llabs(d) <= m_periodMs) {
            m_made.push_back(derive(in, out));
            m_in.pop_front();
            m_out.pop_front();
        } else if (d > 0) {
            // Every later out record is later still: this in record has none.
            lone(in);
            m_in.pop_front();
        } else {
            lone(out);
            m_out.pop_front();
        }
    }
}

void Pairing::settle(qint64 watermark)
{
    if (m_periodMs == 0)
        return;
    pairWaiting();
    // What is left waits on one side only; a partner may still come for a
    // record within half a period of the watermark.
    for (std::deque<Point> *side : {&m_in, &m_out}) {
        while (!side->empty() && (watermark == std::numeric_limits<qint64>::max()
                                  || 2 * (watermark - side->front().t) > m_periodMs)) {
            lone(side->front());
            side->pop_front();
        }
    }
    std::stable_sort(m_made.begin(), m_made.end(), [](const Derived &a, const Derived &b) { return a.t < b.t; });
}

std::vector<Derived> Pairing::take()
{
    std::vector<Derived> made;
    made.swap(m_made);
    return made;
}

qint64 periodOf(const std::vector<qint64> &times)
{
    if (times.size() < 2)
        return 1000;
    std::vector<qint64> steps;
    steps.reserve(times.size() - 1);
    for (size_t i = 1; i < times.size(); ++i)
        steps.push_back(times[i] - times[i - 1]);
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    return qMax<qint64>(1, steps[steps.size() / 2]);
}

std::vector<Derived> pairAll(const std::vector<Point> &ins, const std::vector<Point> &outs, qint64 periodMs)
{
    Pairing pairing(periodMs);
    // Both in the order of their times: each added as the other catches up,
    // so neither waits in memory for long.
    size_t i = 0, o = 0;
    while (i < ins.size() || o < outs.size()) {
        if (o == outs.size() || (i < ins.size() && ins[i].t <= outs[o].t))
            pairing.addIn(ins[i++]);
        else
            pairing.addOut(outs[o++]);
    }
    pairing.settle();
    return pairing.take();
}

Figures figures(double energyInWh, double energyOutWh, const std::vector<Derived> &derived)
{
    Figures f;
    f.energyInWh = energyInWh;
    f.energyOutWh = energyOutWh;
    if (energyInWh > 0.0)
        f.energyEfficiencyPct = 100.0 * energyOutWh / energyInWh;
    for (const Derived &d : derived)
        add(f, d);
    return f;
}

QString figureName(int row)
{
    switch (FigureRow(row)) {
    case EnergyIn: return QCoreApplication::translate("Bench", "输入能量(Wh)");
    case EnergyOut: return QCoreApplication::translate("Bench", "输出能量(Wh)");
    case EnergyEfficiency: return QCoreApplication::translate("Bench", "能量效率");
    case LossMean: return QCoreApplication::translate("Bench", "平均损耗");
    case LossMin: return QCoreApplication::translate("Bench", "最小损耗");
    case LossMax: return QCoreApplication::translate("Bench", "最大损耗");
    case Pairs: return QCoreApplication::translate("Bench", "配对记录");
    case Gaps: return QCoreApplication::translate("Bench", "空缺");
    case FigureRowCount: break;
    }
    return QString();
}

QString figureText(const Figures &f, int row)
{
    const auto value = [](double v, int decimals, const char *unit) {
        return std::isfinite(v) ? QString::number(v, 'f', decimals) + QLatin1String(unit) : QStringLiteral("-");
    };
    switch (FigureRow(row)) {
    case EnergyIn: return value(f.energyInWh, 6, " Wh");
    case EnergyOut: return value(f.energyOutWh, 6, " Wh");
    case EnergyEfficiency: return value(f.energyEfficiencyPct, 2, " %");
    case LossMean: return value(f.lossMeanW, 6, " W");
    case LossMin: return value(f.lossMinW, 6, " W");
    case LossMax: return value(f.lossMaxW, 6, " W");
    case Pairs: return QString::number(f.pairs);
    case Gaps: return QString::number(f.gaps);
    case FigureRowCount: break;
    }
    return QString();
}

void add(Figures &f, const Derived &d)
{
    if (d.gap()) {
        ++f.gaps;
        return;
    }
    // The mean kept as a mean: its sum is not kept apart.
    f.lossMeanW = f.pairs ? f.lossMeanW + (d.lossW - f.lossMeanW) / (f.pairs + 1) : d.lossW;
    f.lossMinW = f.pairs ? std::min(f.lossMinW, d.lossW) : d.lossW;
    f.lossMaxW = f.pairs ? std::max(f.lossMaxW, d.lossW) : d.lossW;
    ++f.pairs;
}

} // namespace Bench
