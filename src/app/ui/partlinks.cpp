#include "app/ui/partlinks.h"

#include "analysis/ui/mainanalysis.h"
#include "app/ui/mainwindow.h"
#include "files/ui/measurementfilesui.h"

namespace app {

void ZeroRunLink::applyZeroRunSettings()
{
    for (int i = 0; i < 3; ++i)
        kept_.channels[i] = f_.channelBoxes[i]->isChecked();
    kept_.samples = f_.seSamples->value();
    kept_.view = f_.cbShowK->currentIndex();
    kept_.smoothWeight = f_.seSmooth->value();
    kept_.smooth = f_.cbSmooth->isChecked();
    kept_.frequency = f_.cbF->currentIndex();
    kept_.range = f_.cbRange->currentIndex();
    kept_.target = f_.rgMem->itemIndex();

    // The board at rest, all channels, 2500 samples at the first rate and range into the
    // computer, shown in ADC units against samples and smoothed hard.
    for (QCheckBox* box : f_.channelBoxes)
        box->setChecked(true);
    f_.seSamples->setValue(2500);
    f_.cbRange->setCurrentIndex(0);
    f_.rgMem->setItemIndex(0);
    f_.cbF->setCurrentIndex(0);
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
        f_.channelBoxes[i]->setChecked(kept_.channels[i]);
    f_.seSamples->setValue(kept_.samples);
    f_.cbShowK->setCurrentIndex(kept_.view);
    f_.seSmooth->setValue(kept_.smoothWeight);
    f_.cbSmooth->setChecked(kept_.smooth);
    f_.cbF->setCurrentIndex(kept_.frequency);
    f_.cbRange->setCurrentIndex(kept_.range);
    f_.rgMem->setItemIndex(kept_.target);
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
    connect(scales, &files::ScalesUi::rangeItemsRead, this, [this](const QStringList& items) {
        // Renamed in place: the selected item and the list's handlers stay as they were.
        for (int i = 0; i < items.size() && i < cbRange->count(); ++i)
            cbRange->setItemText(i, items.at(i));
    });
}

analysis::MainChartView TForm1::mainChartView() const
{
    analysis::MainChartView v;
    v.chart = Chart1;
    v.channelSeries = channelSeries;
    for (int c = 0; c < 3; ++c)
        v.channelCaptions[c] = channelBoxes[c]->text();
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
