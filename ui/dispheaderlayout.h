#pragma once

#include <QRect>

// Placement of the live readings page's chart area and header widgets, which
// that page lays out by hand from the size of the page stack.
class DispHeaderLayout
{
public:
    struct Placement {
        bool placeChart = false;
        QRect chart;               // chart area
        bool moveHeader = false;   // the positions below changed
        int titleX = 0, sysSetX = 0, tip3X = 0, upgradeX = 0, tip2X = 0;
    };

    // The stack now has width w and height h.
    Placement resized(int w, int h);

    int titleX = 310;
    int sysSetX = 854;
    int tip3X = 850;
    int upgradeX = 920;
    int tip2X = 916;

private:
    int m_lastWidth = 0;
    int m_widthChange = 0;
    int m_changes = 0;   // counts up to 10
};
