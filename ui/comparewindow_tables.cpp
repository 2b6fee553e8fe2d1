// The comparison's tables: each run's figures with their difference from the
// first run's, each run's figures between cursors A and B, and a bench's
// figures over the whole bench or between the cursors.
#include "ui/comparewindow.h"

#include "base/timetext.h"
#include "charts/measurecursors.h"

#include <QTableWidget>

#include <cmath>
#include <limits>

namespace {

QTableWidgetItem *cell(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

void CompareWindow::fillTable()
{
    QStringList names;
    for (int i = 0; i < m_model.count(); ++i)
        names << m_model.runName(i);
    for (QTableWidget *t : {m_table, m_intervals}) {
        t->setHorizontalHeaderLabels(names);
        for (int i = 0; i < m_model.count(); ++i)
            t->horizontalHeaderItem(i)->setForeground(RunComparison::colour(i));
    }
    QStringList rows;
    for (int f = 0; f < RunComparison::FigureCount; ++f) {
        rows << RunComparison::figureName(f);
        for (int i = 0; i < m_model.count(); ++i) {
            const QString diff = m_model.differenceText(f, i);
            m_table->setItem(f, i, cell(m_model.figureText(f, i)
                                        + (diff.isEmpty() ? QString() : QStringLiteral("  Δ ") + diff)));
        }
    }
    m_table->setVerticalHeaderLabels(rows);
    updateBenchFigures();
}

void CompareWindow::updateBenchFigures()
{
    if (!m_benchTable)
        return;
    const bool set = m_cursors->isSet();
    qint64 a = std::numeric_limits<qint64>::min() / 4, b = std::numeric_limits<qint64>::max() / 4;
    if (set) {
        a = m_cursors->a() - axisBase();
        b = m_cursors->b() - axisBase();
        if (a > b)
            std::swap(a, b);
    }
    const Bench::Figures f = m_model.benchFigures(a, b);
    m_benchTable->setHorizontalHeaderLabels(
        {set ? tr("A–B %1 – %2").arg(TimeText::signedDuration(a), TimeText::signedDuration(b)) : tr("整个工作台")});
    QStringList rows;
    for (int row = 0; row < Bench::FigureRowCount; ++row) {
        rows << Bench::figureName(row);
        m_benchTable->setItem(row, 0, cell(Bench::figureText(f, row)));
    }
    m_benchTable->setVerticalHeaderLabels(rows);
}

void CompareWindow::updateIntervals()
{
    const bool set = m_cursors->isSet();
    if (set != m_intervals->isVisibleTo(this)) {
        m_intervals->setVisible(set);
        fitTables();
    }
    updateBenchFigures();
    if (!set)
        return;
    const qint64 base = axisBase();
    qint64 a = m_cursors->a() - base, b = m_cursors->b() - base;
    if (a > b)
        std::swap(a, b);
    for (int i = 0; i < m_model.count(); ++i) {
        const IntervalStats s = m_model.interval(i, a, b);
        const bool none = s.records == 0;
        auto mean = [none](const ChannelStats &c) {
            return none ? QStringLiteral("-") : QString::number(c.mean, 'f', 4) + QStringLiteral(" / ")
                                                    + QString::number(double(c.max), 'f', 4);
        };
        m_intervals->setItem(FromTo, i, cell(TimeText::signedDuration(a) + QStringLiteral(" – ") + TimeText::signedDuration(b)));
        m_intervals->setItem(IntervalDuration, i, cell(none ? QStringLiteral("-") : QString::number(s.duration_s, 'f', 3)));
        m_intervals->setItem(IntervalRecords, i, cell(QString::number(s.records)));
        m_intervals->setItem(IntervalCharge, i, cell(none ? QStringLiteral("-") : QString::number(s.charge_ah, 'f', 6)));
        m_intervals->setItem(IntervalEnergy, i, cell(none ? QStringLiteral("-") : QString::number(s.energy_wh, 'f', 6)));
        m_intervals->setItem(IntervalVbus, i, cell(mean(s.vbus)));
        m_intervals->setItem(IntervalIbus, i, cell(mean(s.ibus)));
        m_intervals->setItem(IntervalPower, i, cell(mean(s.power)));
    }
}
