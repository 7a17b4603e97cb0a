#include "app/ui/partlinks.h"

#include "acquisition/ui/measurementrun.h"
#include "acquisition/ui/setuppanel.h"
#include "analysis/ui/mainanalysis.h"
#include "app/ui/mainwindow.h"
#include "display/ui/chartpart.h"
#include "files/ui/measurementfilesui.h"

namespace app {

void ZeroRunLink::applyZeroRunSettings()
{
    const acq::SetupValues setup = f_.setupPanel->values();
    kept_.channels = setup.channels;
    kept_.samples = setup.samples;
    // Kept as shown: worked out again from the samples, it would not always come back as the
    // operator left it.
    kept_.timeMs = f_.setupPanel->seTime->value();
    kept_.view = f_.chartPart->viewIndex();
    kept_.smoothWeight = f_.chartPart->smoothWeight();
    kept_.smooth = f_.chartPart->smoothOn();
    kept_.frequency = setup.frequency;
    kept_.range = setup.range;
    kept_.target = setup.target;
    // A run into the computer clears the external start; the operator's comes back with the target.
    kept_.externalStart = setup.externalStart;

    // The board at rest, all channels, 2500 samples at the first rate and range into the
    // computer, shown in ADC units against samples and smoothed hard.
    for (int i = 0; i < 3; ++i)
        f_.setupPanel->setChannelChecked(i, true);
    f_.setupPanel->setSamples(2500);
    f_.setupPanel->setRangeIndex(0);
    f_.setupPanel->setTarget(0);
    f_.setupPanel->setFrequencyIndex(0);
    f_.chartPart->setViewIndex(1);
    f_.chartPart->setSmoothWeight(500);
}

void ZeroRunLink::switchSmoothingOn()
{
    f_.chartPart->setSmoothOn(true);
}

bool ZeroRunLink::startRun()
{
    f_.btStartClick();
    // Over a line the start awaits the board's read-backs through the message loop: the run is
    // going then, and a failure later comes as the run's startFailed.
    return f_.measurementRun->polling() || f_.measurementRun->starting();
}

void ZeroRunLink::restoreSettings()
{
    for (int i = 0; i < 3; ++i)
        f_.setupPanel->setChannelChecked(i, kept_.channels[std::size_t(i)]);
    f_.setupPanel->setSamples(kept_.samples);
    f_.setupPanel->setTime(kept_.timeMs);
    f_.chartPart->setViewIndex(kept_.view);
    f_.chartPart->setSmoothWeight(kept_.smoothWeight);
    f_.chartPart->setSmoothOn(kept_.smooth);
    f_.setupPanel->setFrequencyIndex(kept_.frequency);
    f_.setupPanel->setRangeIndex(kept_.range);
    f_.setupPanel->setTarget(kept_.target);
    f_.setupPanel->setExternalStart(kept_.externalStart);
}

void ZeroRunLink::keepRestoredChannels()
{
    // The chart was just built from the balancing run, all three channels. Framed by fewer boxes
    // the same stream would be read with another width: charted wrongly, and saved under a
    // channel byte its data do not match. The run keeps the operator's channels instead.
    const acq::ChannelSet built = acq::ChannelSet::fromMask(f_.chartPart->values().channelMask);
    if (f_.setupPanel->checkedChannels() == built ||
        !f_.record.keepChannels(built, f_.setupPanel->checkedChannels()))
        return;
    // Called from within the build: this one follows it.
    f_.chartPart->ShowChart(f_.scales);
}

std::array<const double*, 3> ZeroRunLink::channelValues() const
{
    std::array<const double*, 3> values{};
    for (int a = 0; a < 3; ++a)
        values[a] = f_.chartPart->chart().yValues(f_.chartPart->channelSeries[a]);
    return values;
}

std::array<long long, 3> ZeroRunLink::channelCounts() const
{
    std::array<long long, 3> counts{};
    for (int a = 0; a < 3; ++a)
        counts[a] = f_.chartPart->chart().pointCount(f_.chartPart->channelSeries[a]);
    return counts;
}

void TForm1::wireScales()
{
    zeroRunLink_ = std::make_unique<ZeroRunLink>(*this);
    scales->setZeroRunHost(zeroRunLink_.get());
    connect(scales, &files::ScalesUi::yTitleRead, this,
            [this](const QString& title) { chartPart->setScalesYTitle(title); });
    connect(scales, &files::ScalesUi::rangeItemsRead, setupPanel.get(), &acq::SetupPanel::setRangeItemTexts);
    // A balancing whose run fails to start, or ends without a chart to capture from, must not
    // leave its settings in place or its capture waiting for the next chart.
    connect(measurementRun.get(), &acq::MeasurementRun::startFailed, scales,
            [this] { scales->zeroRunEnded(false); });
    connect(measurementRun.get(), &acq::MeasurementRun::transferEnded, scales,
            [this] { scales->zeroRunEnded(true); });
}

analysis::MainChartView TForm1::mainChartView() const
{
    const display::ChartValues& chart = chartPart->values();
    analysis::MainChartView v;
    v.chart = &chartPart->chart();
    v.channelSeries = chartPart->channelSeries;
    for (int c = 0; c < 3; ++c)
        v.channelCaptions[c] = setupPanel->channelCaption(c);
    v.firstVisibleIndex = chart.firstVisibleIndex;
    v.lastVisibleIndex = chart.lastVisibleIndex;
    v.samplePeriodUs = record.samplePeriodUs;
    v.timeUnitDivisor = chart.timeUnitDivisor;
    v.timeTitle = chart.xAxisTitle;
    // The file whose record is shown: the open dialog's last name would stay behind when the
    // folder is browsed with the arrows.
    if (measurementFiles)
        v.fileName = measurementFiles->currentFileName;
    v.smoothing = chartPart->smoothing();
    v.nyquistHz = chart.nyquistHz;
    return v;
}

} // namespace app
