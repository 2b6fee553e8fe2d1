#pragma once

#include <QString>

namespace QtCharts {
class QCategoryAxis;
}
using QtCharts::QCategoryAxis;

// Category labels of the chart's value axes: each label sits on its value and
// reads that value with a unit ("2.00V"). An axis that shows the range and
// labels asked for already is left as it is.

// Removes every label of the axis.
void clearAxisLabels(QCategoryAxis *axis);

// Range 0 to top = ceil(max + 1) with count + 1 labels at 0, top/count, ... top.
void autoRangeAxis(QCategoryAxis *axis, const QString &unit, int count, int decimals, float max);

// Range min to max with count + 1 labels; does nothing unless max > min.
void setFixedAxisRange(QCategoryAxis *axis, const QString &unit, int count, int decimals, float min, float max);

// The channel's default range: 0 to its default top.
void applyDefaultAxisRange(QCategoryAxis *axis, int channel);
