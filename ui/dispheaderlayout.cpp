#include "ui/dispheaderlayout.h"

DispHeaderLayout::Placement DispHeaderLayout::resized(int w, int h)
{
    Placement p;
    if (w != m_lastWidth) {
        if (w <= 100)
            return p;
        m_widthChange = w - m_lastWidth;
        m_lastWidth = w;
        if (m_changes < 10)
            ++m_changes;
    } else if (w <= 100) {
        return p;
    }
    if (h <= 30)
        return p;

    p.placeChart = true;
    p.chart = QRect(QPoint(10, 130), QPoint(w - 11, h + 9));

    // The first two width changes are the window settling: they move nothing.
    if (m_changes > 2) {
        sysSetX += m_widthChange;
        tip3X += m_widthChange;
        upgradeX += m_widthChange;
        tip2X += m_widthChange;
        titleX += m_widthChange / 2;
        m_widthChange = 0;
        p.moveHeader = true;
    }
    p.titleX = titleX;
    p.sysSetX = sysSetX;
    p.tip3X = tip3X;
    p.upgradeX = upgradeX;
    p.tip2X = tip2X;
    return p;
}
