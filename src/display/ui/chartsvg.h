#pragma once

#include <QByteArray>

class QCustomPlot;

namespace display {

// The whole chart as an SVG picture of its own size. The plot itself (series, marks and
// everything else of the chart's main layer) is clipped to the axis rectangle, as on screen: a
// zoomed chart's curves end at the axes instead of running over the tick labels, the titles and
// the legend.
QByteArray chartSvg(QCustomPlot& chart);

} // namespace display
