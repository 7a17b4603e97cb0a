#pragma once

class QCustomPlot;
class QCPAxis;

namespace display {

// The grid of every chart: thin solid light grey lines, seen at a glance on the white plot yet
// fainter than any trace; the zero line a little darker.
void applyGridStyle(QCPAxis* axis);
void applyGridStyle(QCustomPlot& chart);

} // namespace display
