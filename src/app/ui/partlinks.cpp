#include "app/ui/partlinks.h"

#include "acquisition/ui/setuppanel.h"
#include "analysis/ui/mainanalysis.h"
#include "app/ui/mainwindow.h"
#include "files/ui/measurementfilesui.h"

namespace app {

void ZeroRunLink::applyZeroRunSettings()
{
    const acq::SetupValues setup = f_.setupPanel->values();
    kept_.channels = setup.channels;
    kept_.samples = setup.samples;
    kept_.view = f_.cbShowK->currentIndex();
    kept_.smoothWeight = f_.seSmooth->value();
    kept_.smooth = f_.cbSmooth->isChecked();
    kept_.frequency = setup.frequency;
    kept_.range = setup.range;
    kept_.target = setup.target;

    // The board at rest, all channels, 2500 samples at the first rate and range into the
    // computer, shown in ADC units against samples and smoothed hard.
    for (int i = 0; i < 3; ++i)
        f_.setupPanel->setChannelChecked(i, true);
    f_.setupPanel->setSamples(2500);
    f_.setupPanel->setRangeIndex(0);
    f_.setupPanel->setTarget(0);
    f_.setupPanel->setFrequencyIndex(0);
    f_.cbShowK->setCurrentIndex(1);
    f_.seSmooth->setValue(500);
}

void ZeroRunLink::switchSmoothingOn()
{
    f_.cbSmooth->setChecked(true);
}

bool ZeroRunLink::startRun()
{
    f_.btStartClick();
    return f_.timRx->isActive();
}

void ZeroRunLink::restoreSettings()
{
    for (int i = 0; i < 3; ++i)
        f_.setupPanel->setChannelChecked(i, kept_.channels[std::size_t(i)]);
    f_.setupPanel->setSamples(kept_.samples);
    f_.cbShowK->setCurrentIndex(kept_.view);
    f_.seSmooth->setValue(kept_.smoothWeight);
    f_.cbSmooth->setChecked(kept_.smooth);
    f_.setupPanel->setFrequencyIndex(kept_.frequency);
    f_.setupPanel->setRangeIndex(kept_.range);
    f_.setupPanel->setTarget(kept_.target);
}

std::array<const double*, 3> ZeroRunLink::channelValues() const
{
    std::array<const double*, 3> values{};
    for (int a = 0; a < 3; ++a)
        values[a] = f_.Chart1->yValues(f_.channelSeries[a]);
    return values;
}

std::array<long long, 3> ZeroRunLink::channelCounts() const
{
    std::array<long long, 3> counts{};
    for (int a = 0; a < 3; ++a)
        counts[a] = f_.Chart1->pointCount(f_.channelSeries[a]);
    return counts;
}

void TForm1::wireScales()
{
    zeroRunLink_ = std::make_unique<ZeroRunLink>(*this);
    scales->setZeroRunHost(zeroRunLink_.get());
    connect(scales, &files::ScalesUi::yTitleRead, this,
            [this](const QString& title) { scalesYTitle = title; });
    connect(scales, &files::ScalesUi::rangeItemsRead, setupPanel.get(), &acq::SetupPanel::setRangeItemTexts);
}

analysis::MainChartView TForm1::mainChartView() const
{
    analysis::MainChartView v;
    v.chart = Chart1;
    v.channelSeries = channelSeries;
    for (int c = 0; c < 3; ++c)
        v.channelCaptions[c] = setupPanel->channelCaption(c);
    v.firstVisibleIndex = firstVisibleIndex;
    v.lastVisibleIndex = lastVisibleIndex;
    v.samplePeriodUs = record.samplePeriodUs;
    v.timeUnitDivisor = timeUnitDivisor;
    v.timeTitle = xAxisTitle;
    // The file whose record is shown: the open dialog's last name would stay behind when the
    // folder is browsed with the arrows.
    if (measurementFiles)
        v.fileName = measurementFiles->currentFileName;
    if (cbSmooth->isChecked())
        v.smoothing = seSmooth->value();
    v.nyquistHz = nyquistHz;
    return v;
}

} // namespace app
