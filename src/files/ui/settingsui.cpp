#include "files/ui/settingsui.h"

#include <QCheckBox>
#include <QTimer>

#include "app/ui/mainwindow.h"
#include "display/ui/chartinteraction.h"
#include "files/ui/measurementfilesui.h"
#include "display/ui/chartviewoptions.h"
#include "display/ui/cursortable.h"
#include "platform/inifile.h"
#include "platform/ui/dialogs.h"

namespace files {

MainSettings collectMainSettings(const app::TForm1& f)
{
    MainSettings s;
    s.height = f.height();
    s.width = f.width();
    s.left = f.x();
    s.top = f.y();

    s.timeUnits = f.cbTimeunits->currentIndex();
    s.xyMode = f.cbShowK->currentIndex();
    s.smoothWeight = f.seSmooth->value();
    s.timeStep = f.seTimeStep->value();
    s.samplesStep = f.seSamplesStep->value();
    s.divider = f.measurementFiles->cbDivider->currentIndex();
    s.loadHelpOnStart = f.cbHelp->currentIndex();

    for (int i = 0; i < 3; ++i) {
        s.channelColour[i] = app::bgrFromColour(f.channelColourPanels[i]->colour());
        s.channelSelected[i] = f.channelBoxes[i]->isChecked();
    }
    s.modulusColour = app::bgrFromColour(f.pIaICl->colour());
    s.pulseColour = app::bgrFromColour(f.pPlsCl->colour());

    s.sensitivity = f.cbRange->currentIndex();
    s.frequency = f.cbF->currentIndex();
    s.samples = f.seSamples->value();
    s.pcOrMem = f.rgMem->itemIndex();
    s.externalStart = f.cbExternalStart->isChecked();
    s.delay = f.seDelayStart->value();

    s.modulusShown = f.Chart1->isSeriesShown(display::Series::IaI);
    s.markShown = f.Chart1->isSeriesShown(display::Series::Mark);
    s.pulseShown = f.Chart1->isSeriesShown(display::Series::Pls);
    s.degreeOrTime = f.rgTimGrad->itemIndex();

    const display::ChartViewOptions* view = f.chartInteraction->viewOptions();
    s.fitValuesToVisible = view->fitValuesBox()->isChecked();
    s.pulseStrip = view->pulseStripBox()->isChecked();
    s.markerTableShown = view->markerTableBox()->isChecked();
    const QPoint gap = f.chartInteraction->cursorTable()->cornerGap();
    s.markerTableRight = gap.x();
    s.markerTableTop = gap.y();
    return s;
}

void noteUnreadSettings(app::TForm1& form)
{
    if (!platform::IniFile(form.paths.settingsFile).tooLarge())
        return;
    form.unreadSettingsState = collectMainSettings(form);
    // Shown once the event loop runs, over the window rather than before it.
    if (platform::Dialogs* dialogs = form.services().dialogs) {
        QTimer::singleShot(0, &form, [dialogs, f = &form, text = platform::iniTooLargeMessage(form.paths.settingsFile)] {
            dialogs->message(f, text);
        });
    }
}

void writeSettingsAtClose(app::TForm1& form)
{
    if (form.unreadSettingsState) {
        // Where the window manager put the window is no change of the operator's.
        MainSettings now = collectMainSettings(form);
        now.left = form.unreadSettingsState->left;
        now.top = form.unreadSettingsState->top;
        if (now == *form.unreadSettingsState)
            return;
    }
    try {
        writeMainSettingsFile(form.paths.settingsFile, collectMainSettings(form));
    } catch (const platform::IniWriteError& e) {
        if (form.services().dialogs)
            form.services().dialogs->error(&form, QString::fromUtf8(e.what()));
    }
}

} // namespace files
