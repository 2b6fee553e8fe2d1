#include "ui/benchstrip.h"

#include "meterbench/benchrecording.h"
#include "recording/liverun.h"
#include "recording/readinglog.h"

#include <QBoxLayout>
#include <QLabel>

BenchStrip::BenchStrip(Qt::Orientation orientation, bool withSerial, QWidget *parent)
    : QWidget(parent), m_withSerial(withSerial)
{
    auto *layout = new QBoxLayout(orientation == Qt::Horizontal ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(orientation == Qt::Horizontal ? 24 : 4);
    hide();
}

void BenchStrip::attach(BenchRecording *bench)
{
    for (QLabel *label : m_labels)
        delete label;
    m_labels.clear();
    m_bench = bench;
    setVisible(bench != nullptr);
    if (!bench)
        return;
    auto *layout = static_cast<QBoxLayout *>(this->layout());
    for (int i = 0; i < bench->size(); ++i) {
        auto *label = new QLabel(this);
        layout->addWidget(label);
        m_labels.push_back(label);
        // The label is the connection's context: gone with it.
        connect(&bench->run(i).run(), &LiveRun::recorded, label, [this, i] { showMember(i); });
        showMember(i);
    }
    if (layout->direction() == QBoxLayout::LeftToRight)
        layout->addStretch();
}

QLabel *BenchStrip::meterLabel(int member) const
{
    return member >= 0 && member < int(m_labels.size()) ? m_labels[size_t(member)] : nullptr;
}

void BenchStrip::showMember(int member)
{
    if (!m_bench || !meterLabel(member))
        return;
    const ReadingLog &log = m_bench->run(member).run().log();
    QString values = QStringLiteral("-");
    if (log.size() > 0) {
        const int last = log.size() - 1;
        values = QStringLiteral("%1 V   %2 A   %3 W")
                     .arg(double(log.value(ReadingLog::Vbus, last)), 0, 'f', 3)
                     .arg(double(log.value(ReadingLog::Ibus, last)), 0, 'f', 3)
                     .arg(double(log.value(ReadingLog::Power, last)), 0, 'f', 3);
    }
    const auto &m = m_bench->member(member);
    meterLabel(member)->setText(m_withSerial ? QStringLiteral("%1  %2   %3").arg(m.role, m.serial, values)
                                             : QStringLiteral("%1   %2").arg(m.role, values));
}
