#pragma once

#include <QtGlobal>

// Arithmetic of the chart's time axis, in whole seconds since the epoch.
namespace TimeZoom {

struct Range {
    qint64 min;
    qint64 max;
};

// One wheel step around the time under the cursor, which sits at the
// fraction r of the chart's width: zooming in divides both sides by 1.5
// (to two seconds around the cursor when it is within a second of an end),
// zooming out multiplies them by 1.5. Results truncated to whole seconds.
Range wheel(qint64 min, qint64 max, double r, bool zoomIn);

} // namespace TimeZoom
