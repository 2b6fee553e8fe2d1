#include "charts/axislabels.h"

#include "device/channels.h"

#include <QtCharts/QCategoryAxis>

#include <cmath>

QT_CHARTS_USE_NAMESPACE

namespace {

QString label(float value, int decimals, const QString &unit)
{
    return QString::number(double(value), 'f', decimals) + unit;
}

} // namespace

void clearAxisLabels(QCategoryAxis *axis)
{
    const QStringList labels = axis->categoriesLabels();
    for (const QString &l : labels)
        axis->remove(l);
}

void fillAxisLabels(QCategoryAxis *axis, const QString &unit, int count, int decimals, float top)
{
    const float step = top / float(count);
    for (int i = 0; i <= count; ++i) {
        const float value = float(i) * step;
        axis->append(label(value, decimals, unit), double(value));
    }
}

void autoRangeAxis(QCategoryAxis *axis, const QString &unit, int count, int decimals, float max)
{
    clearAxisLabels(axis);
    const float top = std::ceil(max + 1.0f);
    axis->setRange(0, double(top));
    axis->setTickCount(10);
    fillAxisLabels(axis, unit, count, decimals, top);
}

void setFixedAxisRange(QCategoryAxis *axis, const QString &unit, int count, int decimals, float min, float max)
{
    if (!(max > min))
        return;
    clearAxisLabels(axis);
    axis->setRange(double(min), double(max));
    axis->setTickCount(10);
    const float step = (max - min) / float(count);
    for (int i = 0; i <= count; ++i) {
        const float value = min + float(i) * step;
        axis->append(label(value, decimals, unit), double(value));
    }
}

void applyDefaultAxisRange(QCategoryAxis *axis, int channel)
{
    const ChannelInfo &c = kChannels[channel];
    clearAxisLabels(axis);
    axis->setRange(0, c.defaultTop);
    axis->setTickCount(10);
    fillAxisLabels(axis, channelUnit(channel), 10, c.decimals, float(c.defaultTop));
}
