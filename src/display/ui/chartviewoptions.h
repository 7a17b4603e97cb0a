#pragma once

#include <QWidget>

class QCheckBox;

namespace display {

class SignalChart;

// Two choices of how the signal chart looks, for the "График" panel: the value axis fitted to
// the visible stretch while the time is zoomed and scrolled, and the pulse input in a strip of
// its own under the signals. Both are off by default; the chart follows them at once.
class ChartViewOptions : public QWidget {
    Q_OBJECT
  public:
    ChartViewOptions(SignalChart& chart, QWidget* parent = nullptr);

    QCheckBox* fitValuesBox() const { return fitValues_; }
    QCheckBox* pulseStripBox() const { return pulseStrip_; }

  private:
    QCheckBox* fitValues_;
    QCheckBox* pulseStrip_;
};

} // namespace display
