// The window's side of the acquisition parts: what they ask of the chart and the status bar,
// and the window's own start of a run. The one place that knows both sides.

#include "acquisition/ui/measurementrun.h"
#include "acquisition/ui/setuppanel.h"
#include "app/ui/mainwindow.h"
#include "display/ui/chartpart.h"

namespace app {

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
