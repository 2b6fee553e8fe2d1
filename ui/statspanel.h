#pragma once

#include "recording/runstats.h"

#include <QFrame>
#include <QtGlobal>

class QLabel;
class QPushButton;

// The figures of the interval between the measurement cursors: its start,
// end and duration; for VBUS, IBUS and POWER the value at each cursor, the
// minimum, maximum and time-weighted mean; the charge and energy the run's
// records give, and beside them what the meter's own CAP and ELE counted.
// "Copy" puts them on the clipboard as tab-separated text.
class StatsPanel : public QFrame
{
    Q_OBJECT
public:
    explicit StatsPanel(QWidget *parent = nullptr);

    // The interval between two times of the run's timeline, in either order.
    void showInterval(const RunStats &stats, qint64 a, qint64 b);
    // The same with figures computed elsewhere (a stored run's, by the journal).
    void showInterval(const IntervalStats &interval, qint64 a, qint64 b);
    const IntervalStats &interval() const { return m_interval; }
    // The figures as tab-separated lines, numbers without units.
    QString copyText() const;
    // The texts again, in the language now installed.
    void retranslate();

    QPushButton *copyButton() const { return m_copy; }
    // Every text whole in its cell: the figures' cells as wide as the widest
    // figure they can show, in the panel's font, and the panel as big as its
    // contents.
    void fitContents();

private:
    enum Row { Vbus, Ibus, Power, RowCount };
    enum Column { AtA, AtB, Min, Max, Mean, ColumnCount };
    QLabel *value(const QString &name);
    // Each figure's text without its unit.
    QString number(int row, int column) const;

    qint64 m_from = 0;
    qint64 m_to = 0;
    IntervalStats m_interval;
    QLabel *m_title = nullptr;
    QLabel *m_names[3] = {};             // start, end, duration
    QLabel *m_times[3] = {};
    QLabel *m_headers[ColumnCount] = {};
    QLabel *m_cells[RowCount][ColumnCount] = {};
    QLabel *m_totalNames[4] = {};        // charge, energy, meter CAP, meter ELE
    QLabel *m_totals[4] = {};
    QPushButton *m_copy = nullptr;
};
