#include "analysis/ui/spectrogramwindow.h"

#include <QLocale>
#include <QVBoxLayout>

#include <algorithm>
#include <thread>

#include <qcustomplot.h>

#include "analysis/spectralanalysis.h"
#include "analysis/spectralreport.h"

namespace analysis {

SpectrogramWindow::SpectrogramWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("spectrogramWindow"));
    resize(900, 520);
    plot_ = new QCustomPlot(this);
    plot_->setObjectName(QStringLiteral("spectrogramPlot"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(plot_);

    plot_->yAxis->setLabel(QStringLiteral("Частота, Гц"));
    map_ = new QCPColorMap(plot_->xAxis, plot_->yAxis);
    map_->setInterpolate(false);
    scale_ = new QCPColorScale(plot_);
    plot_->plotLayout()->addElement(0, 1, scale_);
    // Times of long runs in microseconds reach millions: written out, not as "2.5e+06".
    QLocale numbers = QLocale::system();
    numbers.setNumberOptions(QLocale::OmitGroupSeparator);
    plot_->setLocale(numbers);
    plot_->xAxis->setNumberFormat(QStringLiteral("g"));
    plot_->xAxis->setNumberPrecision(10);
    map_->setColorScale(scale_);
    QCPColorGradient gradient;
    gradient.clearColorStops();
    for (const auto& [position, colour] : spectrogramColourStops())
        gradient.setColorStopAt(position, colour);
    map_->setGradient(gradient);
    // The legend sits level with the plot.
    auto* margins = new QCPMarginGroup(plot_);
    plot_->axisRect()->setMarginGroup(QCP::msBottom | QCP::msTop, margins);
    scale_->setMarginGroup(QCP::msBottom | QCP::msTop, margins);
    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
}

bool SpectrogramWindow::showSpectrogram(const SpectrogramSource& source, const WelchOptions& options)
{
    SpectrogramOptions o;
    o.welch = options;
    // A cell per pixel of the plot, as far as the stretch has segments and bins.
    const QRect area = plot_->axisRect()->rect();
    o.columns = std::clamp(area.width() > 50 ? area.width() : width() - 120, 1, 1600);
    o.rows = std::clamp(area.height() > 50 ? area.height() : height() - 60, 1, 600);
    o.threads = int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    Spectrogram s = computeSpectrogram(source.values, source.count, o, source.samplePeriodUs);
    if (s.columns == 0)
        return false;

    setWindowTitle(QStringLiteral("Спектрограмма, канал %1").arg(source.channel));
    const double unit = 1e6 / source.timeUnitDivisor; // time units per second
    const double t0 = source.firstTime + s.firstSecond * unit;
    const double t1 = t0 + (s.columns - 1) * s.columnSeconds * unit;
    map_->data()->setSize(s.columns, s.rows);
    map_->data()->setRange(QCPRange(t0, s.columns > 1 ? t1 : t0 + 1),
                           QCPRange(0, s.topHz * (s.rows - 1) / std::max(1, s.rows)));
    for (int c = 0; c < s.columns; ++c)
        for (int r = 0; r < s.rows; ++r) {
            const float v = s.at(r, c);
            map_->data()->setCell(c, r, std::isfinite(v) ? v : s.minDb);
        }
    const auto [low, high] = spectrogramRange(s);
    map_->setDataRange(QCPRange(low, high));
    plot_->xAxis->setLabel(source.timeTitle);
    // Decibels mean nothing without what 0 dB is.
    scale_->setLabel(QStringLiteral("СПМ, дБ отн. 1 ") + scaleUnit(SpectrumScale::Psd, source.valueUnit));
    plot_->rescaleAxes();
    plot_->replot(QCustomPlot::rpQueuedReplot);
    last_ = std::move(s);
    return true;
}

} // namespace analysis
