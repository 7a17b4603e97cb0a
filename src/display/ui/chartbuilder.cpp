#include "display/ui/chartbuilder.h"

#include <QCoreApplication>
#include <QPointer>

#include <new>

#include "acquisition/ui/measurementrun.h"
#include "acquisition/ui/setuppanel.h"
#include "app/ui/mainwindow.h"
#include "display/livetrace.h"
#include "platform/ticks.h"
#include "platform/ui/dialogs.h"

namespace display {

ChartBuilder::ChartBuilder(app::TForm1& form) : f_(form)
{
    connect(f_.Chart1, &SignalChart::afterDraw, this, &ChartBuilder::Chart1AfterDraw);
    if (f_.measurementRun)
        connect(f_.measurementRun.get(), &acq::MeasurementRun::streamReceived, this, &ChartBuilder::showReceived);
}

ChartOptions ChartBuilder::optionsFromControls() const
{
    ChartOptions o;
    o.view = std::max(0, f_.cbShowK->currentIndex());
    o.timeUnit = std::max(0, f_.cbTimeunits->currentIndex());
    o.smooth = f_.cbSmooth->isChecked();
    o.smoothWeight = f_.seSmooth->value();
    o.channels = f_.setupPanel->checkedChannels();
    for (int i = 0; i < 3; ++i)
        o.modulus[std::size_t(i)] = f_.modulusBoxes[std::size_t(i)]->isChecked();
    o.degrees = f_.rgTimGrad->itemIndex() == 1;
    o.valueTitle = f_.record.loadedFromFile ? f_.yAxisTitle : f_.scalesYTitle;
    return o;
}

void ChartBuilder::ShowChart(QObject* sender)
{
    if (building_) {
        pending_ = true;
        pendingSender_ = sender;
        return;
    }
    building_ = true;
    QObject* current = sender;
    do {
        pending_ = false;
        try {
            build();
        } catch (const std::bad_alloc&) {
            // A record too large for the memory left: the chart stays empty rather than the
            // program ending. A build from the pulse display switch fails silently.
            f_.Chart1->clearAllSeries();
            if (current != f_.rgTimGrad && f_.services().dialogs)
                f_.services().dialogs->error(&f_,
                                             QStringLiteral("Недостаточно памяти для построения графика"));
        } catch (const std::exception& e) {
            if (current != f_.rgTimGrad && f_.services().dialogs)
                f_.services().dialogs->error(&f_, QString::fromLocal8Bit(e.what()));
        }
        current = pendingSender_;
    } while (pending_);
    building_ = false;
}

void ChartBuilder::showReceived()
{
    if (building_)
        return;
    SignalChart* chart = f_.Chart1;
    std::array<bool, 4> shown{};
    for (int k = 0; k < 4; ++k)
        shown[std::size_t(k)] = chart->isSeriesShown(Series(k));
    auto picture = buildLivePicture(ChartInput::fromRecord(f_.record), f_.record.expectedBytes,
                                    optionsFromControls(), shown);
    if (!picture)
        return;
    chart->clearAllSeries();
    for (int a = 0; a < 3; ++a)
        chart->setLine(f_.channelSeries[std::size_t(a)], std::move(picture->signal.channels[std::size_t(a)]));
    chart->setLine(Series::IaI, std::move(picture->signal.modulus));
    if (!picture->pulse.isEmpty())
        chart->setPulse(std::move(picture->pulse));
    chart->showLive(picture->bottom);
}

void ChartBuilder::build()
{
    SignalChart* chart = f_.Chart1;
    // The picture of a run being received gives way to the measurement's own chart.
    chart->endLive();
    // 1. The chart and the analysis buttons become usable with the first build.
    chart->setEnabled(true);
    emit f_.chartShown();
    // 2.
    acq::SampleStream& stream = f_.record.sampleStream;
    if (stream.isEmpty())
        return;
    const ChartOptions options = optionsFromControls();
    const ChartInput input = ChartInput::fromRecord(f_.record);
    const ChartScales scales = chartScales(input, options);
    // A zoom belongs to its record: a new one opens whole, with no step back into the old one's
    // views (whose stretch a save would otherwise keep). The same record rebuilt in another time
    // unit or view keeps showing the same stretch.
    if (f_.record.generation != builtGeneration_) {
        chart->resetZoom();
        builtGeneration_ = f_.record.generation;
    } else if (f_.sampleStepX > 0) {
        chart->rescaleKeys(scales.sampleStepX / f_.sampleStepX);
    }
    // The pulse levels follow the left axis as the user fixed it by zooming; with automatic axes
    // the last picture's range would carry the previous record's (or view's) scale into this one,
    // so the new series' own automatic range is taken instead.
    const ValueRange painted = chart->isZoomed() ? chart->lastPaintedLeftRange() : ValueRange{0.0, 0.0};
    // 3. The stretch the last paint took belongs to the series now cleared.
    chart->clearAllSeries();
    f_.firstVisibleIndex = -1;
    f_.lastVisibleIndex = -1;
    // 5. (4: the smoothing weight is among the options)
    f_.pnlChart->hide();
    f_.timeUnitDivisor = scales.timeUnitDivisor;
    f_.xAxisTitle = scales.xAxisTitle;
    chart->setTimeTitle(scales.xAxisTitle);
    f_.timeUnitText = scales.timeUnitText;
    f_.lbPercent->clear();
    f_.lbRestPercent->clear();
    // 6.
    f_.nyquistHz = scales.nyquistHz;
    f_.sampleStepX = scales.sampleStepX;
    // 7.
    f_.channelMask = scales.channelMask;
    if (options.channels.count() == 0)
        return;
    // 9.
    chart->setLeftTitle(options.valueTitle);
    // 11-12. The message loop runs during a large build; should the stream be replaced meanwhile
    // (a new run, a file load), the build stops: its bytes are gone.
    const std::uint64_t generation = f_.record.generation;
    QPointer<app::TForm1> alive(&f_);
    SignalSeries signal = buildSignalSeries(input, options, [&](std::int64_t n, std::int64_t lastFrame) {
        QCoreApplication::processEvents();
        if (!alive || f_.record.generation != generation)
            return false;
        f_.status->setPanelText(1, progressText(n, lastFrame));
        return true;
    });
    if (!alive || !signal.complete)
        return;
    for (int a = 0; a < 3; ++a)
        chart->setLine(f_.channelSeries[std::size_t(a)], std::move(signal.channels[std::size_t(a)]));
    chart->setLine(Series::IaI, std::move(signal.modulus));
    // 13.
    const auto levels = pulseLevels(painted, chart->autoLeftRange());
    if (!levels)
        return;
    // 14-15. The degree labels are worked out from the pulse edges when asked for.
    chart->setPulse(buildPulseTrace(input, options, *levels));
    // 16.
    if (f_.zeroCapturePending())
        f_.ZeroCapture();
    // 17-18.
    const AxisTitles titles = axisTitles(options, scales.timeUnitText);
    if (titles.left)
        chart->setLeftTitle(*titles.left);
    if (titles.bottom)
        chart->setBottomTitle(*titles.bottom);
    // 19.
    if (f_.services().ticks)
        f_.runStartTick = f_.services().ticks->now();
    f_.status->setPanelText(0, QStringLiteral("ПОСТРОЕНИЕ ГРАФИКА"));
    f_.btOptions->setEnabled(true);
    f_.status->setPanelText(1, (f_.record.simulatedBoard ? QStringLiteral("Имитатор платы: ") : QString()) +
                                   startTimeText(f_.record.startTime, QLocale::system()));
}

void ChartBuilder::Chart1AfterDraw()
{
    f_.timCheckUSB->start();
    for (Series s : f_.channelSeries) {
        if (f_.Chart1->isSeriesShown(s)) {
            f_.firstVisibleIndex = qint32(f_.Chart1->firstVisibleIndex(s));
            f_.lastVisibleIndex = qint32(f_.Chart1->lastVisibleIndex(s));
            return;
        }
    }
    // No channel series shown: no stretch to take, and none left from before may stand for it.
    f_.firstVisibleIndex = -1;
    f_.lastVisibleIndex = -1;
}

} // namespace display
