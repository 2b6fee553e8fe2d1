#include "ui/frameless.h"

namespace Frameless {

Region regionAt(const QPoint &tl, const QPoint &br, const QPoint &c)
{
    const bool left = c.x() >= tl.x() && c.x() <= tl.x() + 1;
    const bool right = c.x() >= br.x() - 1 && c.x() <= br.x();
    const bool top = c.y() >= tl.y() && c.y() <= tl.y() + 1;
    const bool bottom = c.y() >= br.y() - 1 && c.y() <= br.y();
    if (left)
        return top ? TopLeft : bottom ? BottomLeft : Left;
    if (right)
        return bottom ? BottomRight : top ? TopRight : Right;
    return top ? Top : bottom ? Bottom : None;
}

Qt::CursorShape cursorFor(Region region)
{
    switch (region) {
    case TopLeft:
    case BottomRight:
        return Qt::SizeFDiagCursor;
    case TopRight:
    case BottomLeft:
        return Qt::SizeBDiagCursor;
    case Left:
    case Right:
        return Qt::SizeHorCursor;
    case Top:
    case Bottom:
        return Qt::SizeVerCursor;
    case None:
        break;
    }
    return Qt::ArrowCursor;
}

Qt::Edges edgesOf(Region region)
{
    switch (region) {
    case Top: return Qt::TopEdge;
    case Bottom: return Qt::BottomEdge;
    case Left: return Qt::LeftEdge;
    case Right: return Qt::RightEdge;
    case TopLeft: return Qt::TopEdge | Qt::LeftEdge;
    case BottomLeft: return Qt::BottomEdge | Qt::LeftEdge;
    case BottomRight: return Qt::BottomEdge | Qt::RightEdge;
    case TopRight: return Qt::TopEdge | Qt::RightEdge;
    case None: break;
    }
    return Qt::Edges();
}

QRect resized(const QPoint &tl, const QPoint &br, const QPoint &c, Region region, const QSize &minimum)
{
    QRect r(tl, br);
    auto moveTop = [&] {
        if (br.y() - c.y() > minimum.height())
            r.setTop(c.y());
    };
    auto moveLeft = [&] {
        if (br.x() - c.x() > minimum.width())
            r.setLeft(c.x());
    };
    switch (region) {
    case Top: moveTop(); break;
    case Bottom: r.setHeight(c.y() - tl.y()); break;
    case Left: moveLeft(); break;
    case Right: r.setWidth(c.x() - tl.x()); break;
    case TopLeft: moveLeft(); moveTop(); break;
    case BottomLeft: moveLeft(); r.setHeight(c.y() - tl.y()); break;
    case BottomRight: r.setWidth(c.x() - tl.x()); r.setHeight(c.y() - tl.y()); break;
    case TopRight: r.setWidth(c.x() - tl.x()); moveTop(); break;
    case None: break;
    }
    return r;
}

} // namespace Frameless
