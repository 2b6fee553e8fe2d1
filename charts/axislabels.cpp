#include "charts/axislabels.h"

#include "device/channels.h"

#include <QtCharts/QCategoryAxis>

#include <cmath>
#include <utility>
#include <vector>

QT_CHARTS_USE_NAMESPACE

namespace {

using Labels = std::vector<std::pair<QString, float>>;

QString label(float value, int decimals, const QString &unit)
{
    return QString::number(double(value), 'f', decimals) + unit;
}

// count + 1 labels from `from` on, `step` apart.
Labels steps(float from, float step, int count, int decimals, const QString &unit)
{
    Labels labels;
    for (int i = 0; i <= count; ++i) {
        const float value = from + float(i) * step;
        labels.emplace_back(label(value, decimals, unit), value);
    }
    return labels;
}

// The range and labels, unless the axis shows these already: every label
// taken off or put on makes Qt Charts lay the whole chart out again, and a
// curve that rises a little each tick asks for the same axis each time.
void show(QCategoryAxis *axis, float min, float max, const Labels &labels)
{
    const QStringList shown = axis->categoriesLabels();
    bool same = axis->min() == double(min) && axis->max() == double(max) && axis->tickCount() == 10
                && shown.size() == int(labels.size());
    for (size_t i = 0; same && i < labels.size(); ++i)
        same = shown[int(i)] == labels[i].first && axis->endValue(labels[i].first) == double(labels[i].second);
    if (same)
        return;
    clearAxisLabels(axis);
    axis->setRange(double(min), double(max));
    axis->setTickCount(10);
    for (const auto &l : labels)
        axis->append(l.first, double(l.second));
}

} // namespace

void clearAxisLabels(QCategoryAxis *axis)
{
    const QStringList labels = axis->categoriesLabels();
    for (const QString &l : labels)
        axis->remove(l);
}

void autoRangeAxis(QCategoryAxis *axis, const QString &unit, int count, int decimals, float max)
{
    const float top = std::ceil(max + 1.0f);
    show(axis, 0.0f, top, steps(0.0f, top / float(count), count, decimals, unit));
}

void setFixedAxisRange(QCategoryAxis *axis, const QString &unit, int count, int decimals, float min, float max)
{
    if (!(max > min))
        return;
    show(axis, min, max, steps(min, (max - min) / float(count), count, decimals, unit));
}

void applyDefaultAxisRange(QCategoryAxis *axis, int channel)
{
    const ChannelInfo &c = kChannels[channel];
    const float top = float(c.defaultTop);
    show(axis, 0.0f, top, steps(0.0f, top / 10.0f, 10, c.decimals, channelUnit(channel)));
}
