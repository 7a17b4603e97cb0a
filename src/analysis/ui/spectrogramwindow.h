#pragma once

#include <QString>
#include <QWidget>

#include "analysis/spectralanalysis.h"

class QCustomPlot;
class QCPColorMap;
class QCPColorScale;

namespace analysis {

// What a spectrogram is made of: the values of the visible stretch and where
// that stretch lies on the main chart's time axis.
struct SpectrogramSource {
    const double* values = nullptr;
    qint64 count = 0;
    double samplePeriodUs = 0;
    double firstTime = 0;        // the stretch's first point in the chart's time unit
    double timeUnitDivisor = 1;  // microseconds per unit of the chart's time axis
    QString timeTitle;           // the main chart's bottom-axis title
    QString channel;             // "X", "Y", "Z" or "|a|"
    QString valueUnit;           // the unit of the values ("см/с/с"); empty when unknown
};

// A window with the time-frequency picture of the visible stretch: PSD in dB
// as colour, the legend of the colours beside it, time along the bottom in the
// main chart's unit, frequency up the side.
class SpectrogramWindow : public QWidget {
    Q_OBJECT
  public:
    explicit SpectrogramWindow(QWidget* parent = nullptr);

    // Computes at the size of the plot (at most 1600 x 600 cells) and shows it.
    // False when the stretch holds fewer points than the step.
    bool showSpectrogram(const SpectrogramSource& source, const WelchOptions& options);

    QCustomPlot* plot() const { return plot_; }
    const Spectrogram& last() const { return last_; }

  private:
    QCustomPlot* plot_;
    QCPColorMap* map_;
    QCPColorScale* scale_;
    Spectrogram last_;
};

} // namespace analysis
