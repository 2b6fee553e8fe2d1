#include "charts/timezoom.h"

namespace TimeZoom {

Range wheel(qint64 min, qint64 max, double r, bool zoomIn)
{
    const double lo = double(min);
    const double hi = double(max);
    const double c = lo + (hi - lo) * r;
    double newMin;
    double newMax;
    if (zoomIn) {
        if (c - lo <= 1 || hi - c <= 1) {
            newMin = c - 1;
            newMax = c + 1;
        } else {
            newMin = c - (c - lo) / 1.5;
            newMax = c + (hi - c) / 1.5;
        }
    } else {
        newMin = c - 1.5 * (c - lo);
        newMax = c + 1.5 * (hi - c);
    }
    // Truncation towards zero, as the conversion does.
    return {qint64(newMin), qint64(newMax)};
}

} // namespace TimeZoom
