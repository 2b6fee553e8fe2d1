#pragma once

#include <QPointer>
#include <QWidget>

#include <vector>

class BenchRecording;
class QLabel;

// Every meter of a bench being recorded, a label each with its role, its
// V, A and W as they come (and its serial where there is room): a line each
// in the Bench dialog, one compact row on the dashboard. Hidden while no
// bench is recorded.
class BenchStrip : public QWidget
{
    Q_OBJECT
public:
    BenchStrip(Qt::Orientation orientation, bool withSerial, QWidget *parent);

    // The bench whose meters are shown; null: none (hidden). A bench must
    // be detached before it is destroyed.
    void attach(BenchRecording *bench);
    QLabel *meterLabel(int member) const;

private:
    void showMember(int member);

    bool m_withSerial;
    QPointer<BenchRecording> m_bench;
    std::vector<QLabel *> m_labels;
};
