#include "ui/statspanel.h"

#include "base/timetext.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {

const char *const kRowNames[] = {"VBUS", "IBUS", "POWER"};
const char *const kRowUnits[] = {"V", "A", "W"};
const char *const kRowKeys[] = {"vbus", "ibus", "power"};
const char *const kColumnKeys[] = {"a", "b", "min", "max", "mean"};
const char *const kTotalKeys[] = {"charge", "energy", "cap", "ele"};
const char *const kTotalUnits[] = {"Ah", "Wh", "Ah", "Wh"};

QString timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

QString durationText(qint64 ms)
{
    return TimeText::durationMs(ms);
}

} // namespace

StatsPanel::StatsPanel(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("stats_panel"));
    setStyleSheet(QStringLiteral("QFrame#stats_panel{background: rgba(40, 40, 40, 225); border: 1px solid gray; "
                                 "border-radius: 6px;} QLabel{color: white; background: transparent;}"));
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(2);
    m_title = new QLabel;
    m_title->setStyleSheet(QStringLiteral("color: rgb(255, 255, 0);"));
    grid->addWidget(m_title, 0, 0, 1, 6);
    const char *const timeKeys[] = {"start", "end", "duration"};
    for (int i = 0; i < 3; ++i) {
        m_names[i] = new QLabel;
        m_times[i] = value(QStringLiteral("stats_%1").arg(QLatin1String(timeKeys[i])));
        grid->addWidget(m_names[i], 1 + i, 0);
        grid->addWidget(m_times[i], 1 + i, 1, 1, 5);
    }
    for (int c = 0; c < ColumnCount; ++c) {
        m_headers[c] = new QLabel;
        grid->addWidget(m_headers[c], 4, 1 + c, Qt::AlignRight);
    }
    for (int r = 0; r < RowCount; ++r) {
        grid->addWidget(new QLabel(QStringLiteral("%1 (%2)").arg(QLatin1String(kRowNames[r]),
                                                                 QLatin1String(kRowUnits[r]))),
                        5 + r, 0);
        for (int c = 0; c < ColumnCount; ++c) {
            m_cells[r][c] = value(QStringLiteral("stats_%1_%2").arg(QLatin1String(kRowKeys[r]),
                                                                    QLatin1String(kColumnKeys[c])));
            m_cells[r][c]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid->addWidget(m_cells[r][c], 5 + r, 1 + c);
        }
    }
    for (int i = 0; i < 4; ++i) {
        m_totalNames[i] = new QLabel;
        m_totals[i] = value(QStringLiteral("stats_%1").arg(QLatin1String(kTotalKeys[i])));
        m_totals[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // Charge and energy on the left, the meter's own counts beside them.
        grid->addWidget(m_totalNames[i], 8 + i % 2, i < 2 ? 0 : 3, 1, i < 2 ? 1 : 2);
        grid->addWidget(m_totals[i], 8 + i % 2, i < 2 ? 1 : 5, 1, i < 2 ? 2 : 1);
    }
    m_copy = new QPushButton;
    m_copy->setObjectName(QStringLiteral("stats_copy"));
    m_copy->setFocusPolicy(Qt::NoFocus);
    m_copy->setStyleSheet(QStringLiteral(
        "QPushButton{background-color: rgb(62, 62, 62); color: white; border: 2px groove gray; border-radius: 8px; "
        "padding: 2px 8px;} QPushButton:hover{color: rgb(255, 255, 0); border: 2px groove green;}"));
    grid->addWidget(m_copy, 10, 5, Qt::AlignRight);
    connect(m_copy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(copyText()); });
    retranslate();
}

void StatsPanel::fitContents()
{
    ensurePolished();
    // The widest figures: a negative value in the hundreds, a duration of
    // days, a total with its unit.
    for (int r = 0; r < RowCount; ++r) {
        for (int c = 0; c < ColumnCount; ++c) {
            QLabel *cell = m_cells[r][c];
            cell->ensurePolished();
            cell->setMinimumWidth(cell->fontMetrics().horizontalAdvance(QStringLiteral("-000.0000")));
        }
    }
    for (QLabel *total : m_totals) {
        total->ensurePolished();
        total->setMinimumWidth(total->fontMetrics().horizontalAdvance(QStringLiteral("-0000.0000 Wh")));
    }
    m_times[2]->ensurePolished();
    m_times[2]->setMinimumWidth(m_times[2]->fontMetrics().horizontalAdvance(QStringLiteral("0000:00:00.000")));
    adjustSize();
}

QLabel *StatsPanel::value(const QString &name)
{
    auto *label = new QLabel;
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

void StatsPanel::retranslate()
{
    m_title->setText(tr("区间统计 A–B"));
    m_names[0]->setText(tr("起点"));
    m_names[1]->setText(tr("终点"));
    m_names[2]->setText(tr("时长"));
    const QString headers[ColumnCount] = {QStringLiteral("A"), QStringLiteral("B"), tr("最小"), tr("最大"),
                                          tr("平均")};
    for (int c = 0; c < ColumnCount; ++c)
        m_headers[c]->setText(headers[c]);
    m_totalNames[0]->setText(tr("电量"));
    m_totalNames[1]->setText(tr("能量"));
    m_totalNames[2]->setText(tr("仪表 CAP 变化"));
    m_totalNames[3]->setText(tr("仪表 ELE 变化"));
    m_copy->setText(tr("复制"));
    m_copy->setToolTip(tr("把这些数值以制表符分隔的文本复制到剪贴板"));
    fitContents();
}

QString StatsPanel::number(int row, int column) const
{
    const ChannelStats *channels[RowCount] = {&m_interval.vbus, &m_interval.ibus, &m_interval.power};
    if (m_interval.records == 0)
        return QStringLiteral("-");
    const ChannelStats &ch = *channels[row];
    const double v[ColumnCount] = {ch.first, ch.last, ch.min, ch.max, ch.mean};
    return QString::number(v[column], 'f', 4);
}

void StatsPanel::showInterval(const RunStats &stats, qint64 a, qint64 b)
{
    showInterval(stats.between(qMin(a, b), qMax(a, b)), a, b);
}

void StatsPanel::showInterval(const IntervalStats &interval, qint64 a, qint64 b)
{
    m_from = qMin(a, b);
    m_to = qMax(a, b);
    m_interval = interval;
    m_times[0]->setText(timeText(m_from));
    m_times[1]->setText(timeText(m_to));
    m_times[2]->setText(durationText(m_to - m_from));
    for (int r = 0; r < RowCount; ++r) {
        for (int c = 0; c < ColumnCount; ++c)
            m_cells[r][c]->setText(number(r, c));
    }
    const double totals[4] = {m_interval.charge_ah, m_interval.energy_wh, m_interval.meter_cap_ah,
                              m_interval.meter_ele_wh};
    for (int i = 0; i < 4; ++i)
        m_totals[i]->setText(QStringLiteral("%1 %2").arg(QString::number(totals[i], 'f', 4),
                                                         QLatin1String(kTotalUnits[i])));
    fitContents();
}

QString StatsPanel::copyText() const
{
    QStringList lines;
    lines << m_names[0]->text() + QLatin1Char('\t') + timeText(m_from)
          << m_names[1]->text() + QLatin1Char('\t') + timeText(m_to)
          << m_names[2]->text() + QLatin1Char('\t') + QString::number(double(m_to - m_from) / 1000.0, 'f', 3);
    QStringList head{QString()};
    for (QLabel *h : m_headers)
        head << h->text();
    lines << head.join(QLatin1Char('\t'));
    for (int r = 0; r < RowCount; ++r) {
        QStringList cells{QStringLiteral("%1 (%2)").arg(QLatin1String(kRowNames[r]), QLatin1String(kRowUnits[r]))};
        for (int c = 0; c < ColumnCount; ++c)
            cells << number(r, c);
        lines << cells.join(QLatin1Char('\t'));
    }
    const double totals[4] = {m_interval.charge_ah, m_interval.energy_wh, m_interval.meter_cap_ah,
                              m_interval.meter_ele_wh};
    for (int i = 0; i < 4; ++i)
        lines << QStringLiteral("%1 (%2)\t%3").arg(m_totalNames[i]->text(), QLatin1String(kTotalUnits[i]),
                                                    QString::number(totals[i], 'f', 6));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
