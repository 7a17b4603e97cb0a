#pragma once

#include <QChar>

#include <qcustomplot.h>

namespace display {

// An axis ticker that puts its ticks at round values (1, 2 or 5 × 10ⁿ apart) of what the axis
// shows, labelled with no more digits than the step needs. The shown value may be a multiple of
// the axis coordinate: a spectrum keeps its bins at whole coordinates and shows their frequencies
// (unitsPerCoordinate = the bin width). Ticks come some 70 pixels apart at the least.
class RoundTicker : public QCPAxisTicker {
  public:
    explicit RoundTicker(const QCPAxis* axis) : axis_(axis) {}

    void setUnitsPerCoordinate(double units) { unitsPerCoordinate_ = units; }
    double unitsPerCoordinate() const { return unitsPerCoordinate_; }
    void setDecimalSeparator(QChar separator) { separator_ = separator; }

    void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                  QVector<double>& ticks, QVector<double>* subTicks, QVector<QString>* tickLabels) override;

  private:
    const QCPAxis* axis_;
    double unitsPerCoordinate_ = 1.0;
    QChar separator_;
};

} // namespace display
