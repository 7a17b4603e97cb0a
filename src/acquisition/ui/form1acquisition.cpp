// The main window's acquisition methods that other parts of the program call; the work is done
// by the set-up panel and the run the window owns.

#include "acquisition/ui/measurementrun.h"
#include "acquisition/ui/setuppanel.h"
#include "app/ui/mainwindow.h"

namespace app {

void TForm1::btStartClick()
{
    measurementRun->btStartClick();
}

void TForm1::CalcFTSamples(QObject* origin)
{
    setupPanel->CalcFTSamples(origin);
}

void TForm1::CalcUseChnl()
{
    setupPanel->CalcUseChnl();
}

} // namespace app
