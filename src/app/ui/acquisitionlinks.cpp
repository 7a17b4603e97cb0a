// The window's side of the acquisition parts: what they ask of the status bar, the chart and the
// run journal, and the signals between them and the chart. The one place that knows both sides.

#include "app/ui/acquisitionlinks.h"

#include "acquisition/ui/boardchooser.h"
#include "acquisition/ui/linkindicator.h"
#include "acquisition/ui/measurementrun.h"
#include "acquisition/ui/setuppanel.h"
#include "app/ui/mainwindow.h"
#include "display/ui/chartpart.h"
#include "files/ui/journalui.h"

namespace app {

void AcquisitionLink::setStatusText(int panel, const QString& text)
{
    f_.status->setPanelText(panel, text);
}

QString AcquisitionLink::statusText(int panel) const
{
    return f_.status->panelText(panel);
}

void AcquisitionLink::showChart()
{
    f_.chartPart->ShowChart(f_.measurementRun->timRx);
}

void AcquisitionLink::clearChart()
{
    f_.chartPart->clearChart();
}

void AcquisitionLink::beginJournal(bool fromMemory, acq::ChannelSet channels)
{
    if (f_.journal)
        f_.journal->begin(fromMemory ? files::JournalSource::Memory : files::JournalSource::Stream, channels);
}

void AcquisitionLink::appendJournal(const char* bytes, std::uint64_t count)
{
    if (f_.journal)
        f_.journal->append(bytes, count);
}

void AcquisitionLink::finishJournal()
{
    if (f_.journal)
        f_.journal->finish();
}

void AcquisitionLink::setRunStartTick(std::uint32_t tick)
{
    f_.chartPart->setRunStartTick(tick);
}

std::uint32_t AcquisitionLink::runStartTick() const
{
    return f_.chartPart->values().runStartTick;
}

void TForm1::buildAcquisitionParts()
{
    acquisitionLink_ = std::make_unique<AcquisitionLink>(*this);
    setupPanel = std::make_unique<acq::SetupPanel>(record, tbMCctl, this);
    measurementRun = std::make_unique<acq::MeasurementRun>(record, *setupPanel, *acquisitionLink_, services_,
                                                           paths.deviceFile, tbMCctl);
}

void TForm1::wireAcquisition()
{
    connect(setupPanel.get(), &acq::SetupPanel::channelToggled, this, [this](int axis, bool shown) {
        chartPart->setChannelShown(axis, shown);
    });
}

void TForm1::btStartClick()
{
    measurementRun->btStartClick();
}

} // namespace app
