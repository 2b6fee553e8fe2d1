#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <Qt>

// Moving and resizing a window without a system frame: which border band the
// cursor is in, the cursor that shows it, and the window rectangle while an
// edge or corner is dragged.
namespace Frameless {

enum Region { Top, Bottom, Left, Right, TopLeft, BottomLeft, BottomRight, TopRight, None };

// The region under the cursor for a window whose top-left and bottom-right
// pixels are at topLeft and bottomRight: bands two pixels wide inside the
// window, corners first.
// A frameless window's drag or resize in progress and its maximise toggle.
struct DragState {
    bool pressed = false;
    bool dragging = false;   // past the drag distance since the press
    QPoint pressPos;
    QPoint dragOffset;
    Region region = None;
    bool maximised = false;
    bool haveSavedGeometry = false;
    QRect savedGeometry;
};

Region regionAt(const QPoint &topLeft, const QPoint &bottomRight, const QPoint &cursor);

Qt::CursorShape cursorFor(Region region);

// The edges a region drags, for the window system's own resize.
Qt::Edges edgesOf(Region region);

// The window rectangle while `region` is dragged to `cursor`. An edge that
// would leave less than the minimum size stays where it is.
QRect resized(const QPoint &topLeft, const QPoint &bottomRight, const QPoint &cursor, Region region,
              const QSize &minimum);

} // namespace Frameless
