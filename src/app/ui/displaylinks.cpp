#include "app/ui/displaylinks.h"

#include <QBoxLayout>

#include "acquisition/ui/linkindicator.h"
#include "acquisition/ui/measurementrun.h"
#include "acquisition/ui/setuppanel.h"
#include "app/ui/mainwindow.h"
#include "display/ui/chartviewoptions.h"
#include "files/ui/measurementfilesui.h"

namespace app {

bool DisplayLink::channelChecked(int channel) const
{
    return f_.setupPanel->channelChecked(channel);
}

void DisplayLink::channelColourChanged(int channel, const QColor& colour)
{
    f_.setupPanel->setChannelColour(channel, colour);
}

void DisplayLink::hideRunProgress()
{
    if (f_.measurementRun)
        f_.measurementRun->hideProgress();
}

bool DisplayLink::zeroCapturePending() const
{
    return f_.zeroCapturePending();
}

void DisplayLink::zeroCapture()
{
    f_.ZeroCapture();
}

bool DisplayLink::windowReady() const
{
    return f_.formReady;
}

QString DisplayLink::shownFileName() const
{
    return f_.measurementFiles ? f_.measurementFiles->currentFileName : QString();
}

display::ChartSettings chartSettingsFrom(const files::MainSettings& s)
{
    display::ChartSettings c;
    c.timeUnits = s.timeUnits;
    c.view = s.xyMode;
    c.smoothWeight = s.smoothWeight;
    for (std::size_t i = 0; i < 3; ++i)
        c.channelColours[i] = colourFromBgr(s.channelColour[i]);
    c.modulusColour = colourFromBgr(s.modulusColour);
    c.pulseColour = colourFromBgr(s.pulseColour);
    c.modulusShown = s.modulusShown;
    c.markShown = s.markShown;
    c.pulseShown = s.pulseShown;
    c.degreeOrTime = s.degreeOrTime;
    c.fitValuesToVisible = s.fitValuesToVisible;
    c.pulseStrip = s.pulseStrip;
    c.markerTableShown = s.markerTableShown;
    c.markerTableGap = QPoint(s.markerTableRight, s.markerTableTop);
    return c;
}

void putChartSettings(const display::ChartSettings& c, files::MainSettings& s)
{
    s.timeUnits = c.timeUnits;
    s.xyMode = c.view;
    s.smoothWeight = c.smoothWeight;
    for (std::size_t i = 0; i < 3; ++i)
        s.channelColour[i] = bgrFromColour(c.channelColours[i]);
    s.modulusColour = bgrFromColour(c.modulusColour);
    s.pulseColour = bgrFromColour(c.pulseColour);
    s.modulusShown = c.modulusShown;
    s.markShown = c.markShown;
    s.pulseShown = c.pulseShown;
    s.degreeOrTime = c.degreeOrTime;
    s.fitValuesToVisible = c.fitValuesToVisible;
    s.pulseStrip = c.pulseStrip;
    s.markerTableShown = c.markerTableShown;
    s.markerTableRight = c.markerTableGap.x();
    s.markerTableTop = c.markerTableGap.y();
}

void TForm1::wireChart()
{
    displayLink_ = std::make_unique<DisplayLink>(*this);
    chartPart->start(*displayLink_, status);
    // The view choices go under the chart panel's second column, above its closing stretch.
    if (auto* column = gbChart->findChild<QBoxLayout*>(QStringLiteral("chartPanelMoreColumn"))) {
        column->insertWidget(column->count() - 1, chartPart->viewOptions());
        gbChart->adjustSize();
    }
    connect(chartPart, &display::ChartPart::chartShown, this, &TForm1::chartShown);
    connect(chartPart, &display::ChartPart::built, btOptions, [this] { btOptions->setEnabled(true); });
    // Each drawing restarts the link check.
    connect(chartPart, &display::ChartPart::drawn, this, [this] {
        if (linkIndicator)
            linkIndicator->restartChecks();
    });
    if (measurementRun)
        connect(measurementRun.get(), &acq::MeasurementRun::streamReceived, chartPart,
                &display::ChartPart::showReceived);
    // The help list rebuilds the chart as the time unit does (the export lists too: wireFiles).
    connect(cbHelp, &QComboBox::activated, chartPart, &display::ChartPart::rebuild);
}

} // namespace app
