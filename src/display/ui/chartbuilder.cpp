#include "display/ui/chartbuilder.h"

#include <QCoreApplication>
#include <QPointer>

#include <new>

#include "acquisition/measurementrecord.h"
#include "display/livetrace.h"
#include "display/ui/chartpart.h"
#include "platform/ticks.h"
#include "platform/ui/dialogs.h"

namespace display {

ChartBuilder::ChartBuilder(ChartPart& part) : p_(part)
{
    connect(p_.Chart1, &SignalChart::afterDraw, this, &ChartBuilder::Chart1AfterDraw);
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
            p_.Chart1->clearAllSeries();
            if (current != p_.rgTimGrad && p_.services().dialogs)
                p_.services().dialogs->error(p_.window(),
                                             QStringLiteral("Недостаточно памяти для построения графика"));
        } catch (const std::exception& e) {
            if (current != p_.rgTimGrad && p_.services().dialogs)
                p_.services().dialogs->error(p_.window(), QString::fromLocal8Bit(e.what()));
        }
        current = pendingSender_;
    } while (pending_);
    building_ = false;
}

void ChartBuilder::showReceived()
{
    if (building_)
        return;
    SignalChart* chart = p_.Chart1;
    std::array<bool, 4> shown{};
    for (int k = 0; k < 4; ++k)
        shown[std::size_t(k)] = chart->isSeriesShown(Series(k));
    auto picture = buildLivePicture(ChartInput::fromRecord(p_.record()), p_.record().expectedBytes,
                                    p_.optionsFromControls(), shown);
    if (!picture)
        return;
    chart->clearAllSeries();
    for (int a = 0; a < 3; ++a)
        chart->setLine(p_.channelSeries[std::size_t(a)], std::move(picture->signal.channels[std::size_t(a)]));
    chart->setLine(Series::IaI, std::move(picture->signal.modulus));
    if (!picture->pulse.isEmpty())
        chart->setPulse(std::move(picture->pulse));
    chart->showLive(picture->bottom);
}

void ChartBuilder::build()
{
    SignalChart* chart = p_.Chart1;
    // The picture of a run being received gives way to the measurement's own chart.
    chart->endLive();
    // 1. The chart and the analysis buttons become usable with the first build.
    chart->setEnabled(true);
    emit p_.chartShown();
    // 2.
    if (p_.record().sampleStream.isEmpty())
        return;
    const ChartOptions options = p_.optionsFromControls();
    const ChartInput input = ChartInput::fromRecord(p_.record());
    const ChartScales scales = chartScales(input, options);
    const ValueRange painted = followZoom(scales);
    takeScales(scales);
    if (options.channels.count() == 0)
        return;
    // 9.
    chart->setLeftTitle(options.valueTitle);
    if (!drawSeries(input, options, painted))
        return;
    // 16.
    if (p_.host().zeroCapturePending())
        p_.host().zeroCapture();
    finish(options, scales);
}

ValueRange ChartBuilder::followZoom(const ChartScales& scales)
{
    SignalChart* chart = p_.Chart1;
    // A zoom belongs to its record: a new one opens whole, with no step back into the old one's
    // views (whose stretch a save would otherwise keep). The same record rebuilt in another time
    // unit or view keeps showing the same stretch.
    if (p_.record().generation != builtGeneration_) {
        chart->resetZoom();
        builtGeneration_ = p_.record().generation;
    } else if (p_.values_.sampleStepX > 0) {
        chart->rescaleKeys(scales.sampleStepX / p_.values_.sampleStepX);
    }
    // The pulse levels follow the left axis as the user fixed it by zooming; with automatic axes
    // the last picture's range would carry the previous record's (or view's) scale into this one,
    // so the new series' own automatic range is taken instead.
    return chart->isZoomed() ? chart->lastPaintedLeftRange() : ValueRange{0.0, 0.0};
}

void ChartBuilder::takeScales(const ChartScales& scales)
{
    // 3. The stretch the last paint took belongs to the series now cleared.
    p_.Chart1->clearAllSeries();
    ChartValues& v = p_.values_;
    v.firstVisibleIndex = -1;
    v.lastVisibleIndex = -1;
    // 5. (4: the smoothing weight is among the options)
    p_.host().hideRunProgress();
    v.timeUnitDivisor = scales.timeUnitDivisor;
    v.xAxisTitle = scales.xAxisTitle;
    p_.Chart1->setTimeTitle(scales.xAxisTitle);
    v.timeUnitText = scales.timeUnitText;
    // 6.
    v.nyquistHz = scales.nyquistHz;
    v.sampleStepX = scales.sampleStepX;
    // 7.
    v.channelMask = scales.channelMask;
}

bool ChartBuilder::drawSeries(const ChartInput& input, const ChartOptions& options, ValueRange painted)
{
    // 11-12. The message loop runs during a large build; should the stream be replaced meanwhile
    // (a new run, a file load), the build stops: its bytes are gone.
    const std::uint64_t generation = p_.record().generation;
    QPointer<ChartPart> alive(&p_);
    SignalSeries signal = buildSignalSeries(input, options, [&](std::int64_t n, std::int64_t lastFrame) {
        QCoreApplication::processEvents();
        if (!alive || p_.record().generation != generation)
            return false;
        p_.status()->setPanelText(1, progressText(n, lastFrame));
        return true;
    });
    if (!alive || !signal.complete)
        return false;
    SignalChart* chart = p_.Chart1;
    for (int a = 0; a < 3; ++a)
        chart->setLine(p_.channelSeries[std::size_t(a)], std::move(signal.channels[std::size_t(a)]));
    chart->setLine(Series::IaI, std::move(signal.modulus));
    // 13.
    const auto levels = pulseLevels(painted, chart->autoLeftRange());
    if (!levels)
        return false;
    // 14-15. The degree labels are worked out from the pulse edges when asked for.
    chart->setPulse(buildPulseTrace(input, options, *levels));
    return true;
}

void ChartBuilder::finish(const ChartOptions& options, const ChartScales& scales)
{
    // 17-18.
    const AxisTitles titles = axisTitles(options, scales.timeUnitText);
    if (titles.left)
        p_.Chart1->setLeftTitle(*titles.left);
    if (titles.bottom)
        p_.Chart1->setBottomTitle(*titles.bottom);
    // 19.
    if (p_.services().ticks)
        p_.values_.runStartTick = p_.services().ticks->now();
    p_.status()->setPanelText(0, QStringLiteral("ПОСТРОЕНИЕ ГРАФИКА"));
    emit p_.built();
    p_.status()->setPanelText(1,
                              (p_.record().simulatedBoard ? QStringLiteral("Имитатор платы: ") : QString()) +
                                  startTimeText(p_.record().startTime, QLocale::system()));
}

void ChartBuilder::Chart1AfterDraw()
{
    emit p_.drawn();
    for (Series s : p_.channelSeries) {
        if (p_.Chart1->isSeriesShown(s)) {
            p_.values_.firstVisibleIndex = qint32(p_.Chart1->firstVisibleIndex(s));
            p_.values_.lastVisibleIndex = qint32(p_.Chart1->lastVisibleIndex(s));
            return;
        }
    }
    // No channel series shown: no stretch to take, and none left from before may stand for it.
    p_.values_.firstVisibleIndex = -1;
    p_.values_.lastVisibleIndex = -1;
}

} // namespace display
