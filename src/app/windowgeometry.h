#pragma once

#include <QRect>
#include <QSize>

namespace app {

// The window rectangle stored in the settings, made usable on this screen: at least the
// window's minimum size, no larger than the available area (unless the minimum is), and moved
// onto that area. A height of 0 would leave the window unmapped and a position off the screen
// would open it where nobody sees it; the rectangle applied is the one written back at close.
QRect fitWindowGeometry(const QRect& stored, const QRect& available, const QSize& minimum);
// The same on the screen the stored rectangle lay on, if it is still there, else the primary
// one; without any screen the stored rectangle as it is.
QRect fitWindowGeometryToScreen(const QRect& stored, const QSize& minimum);

} // namespace app
