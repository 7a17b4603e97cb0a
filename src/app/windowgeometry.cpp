#include "app/windowgeometry.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace app {

namespace {

// One axis: the size between the minimum and the room there is, the start moved so that the
// whole length lies in [roomStart, roomStart + room).
void fitAxis(int& start, int& length, int roomStart, int room, int minimum)
{
    length = std::clamp(length, minimum, std::max(room, minimum));
    const int lastStart = roomStart + std::max(0, room - length);
    start = std::clamp(start, roomStart, lastStart);
}

} // namespace

QRect fitWindowGeometry(const QRect& stored, const QRect& available, const QSize& minimum)
{
    int left = stored.x(), width = stored.width();
    int top = stored.y(), height = stored.height();
    fitAxis(left, width, available.x(), available.width(), minimum.width());
    fitAxis(top, height, available.y(), available.height(), minimum.height());
    return QRect(left, top, width, height);
}

QRect fitWindowGeometryToScreen(const QRect& stored, const QSize& minimum)
{
    QScreen* scr = QGuiApplication::screenAt(stored.center());
    if (!scr)
        scr = QGuiApplication::screenAt(stored.topLeft());
    if (!scr)
        scr = QGuiApplication::primaryScreen();
    return scr ? fitWindowGeometry(stored, scr->availableGeometry(), minimum) : stored;
}

} // namespace app
