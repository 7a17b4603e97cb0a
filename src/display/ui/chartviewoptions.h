#pragma once

#include <QWidget>

class QCheckBox;

namespace display {

class SignalChart;

// Choices of how the signal chart looks, for the "График" panel: the value axis fitted to the
// visible stretch while the time is zoomed and scrolled, and the pulse input in a strip of its
// own under the signals (both off by default; the chart follows them at once); and whether the
// table of values at the markers is shown (on by default).
class ChartViewOptions : public QWidget {
    Q_OBJECT
  public:
    ChartViewOptions(SignalChart& chart, QWidget* parent = nullptr);

    QCheckBox* fitValuesBox() const { return fitValues_; }
    QCheckBox* pulseStripBox() const { return pulseStrip_; }
    QCheckBox* markerTableBox() const { return markerTable_; }

  private:
    QCheckBox* fitValues_;
    QCheckBox* pulseStrip_;
    QCheckBox* markerTable_;
};

} // namespace display
