#include "app/ui/fileslinks.h"

#include "acquisition/ui/measurementrun.h"
#include "acquisition/ui/setuppanel.h"
#include "app/ui/displaylinks.h"
#include "app/ui/mainwindow.h"
#include "display/ui/chartpart.h"

namespace app {

void FilesLink::hideSetupPanel()
{
    f_.setupPanel->closePanel(); // as its own button closes it
}

void FilesLink::layOutWindow()
{
    f_.FormResize();
}

StatusPanels& FilesLink::status()
{
    return *f_.status;
}

QString FilesLink::timeTitle() const
{
    return f_.chartPart->values().xAxisTitle;
}

QString FilesLink::valueTitle() const
{
    return f_.chartPart->values().scalesYTitle;
}

bool FilesLink::simulatedBoard() const
{
    return f_.measurementRun && f_.measurementRun->device().backend().simulated();
}

bool FilesLink::receiving() const
{
    return f_.measurementRun && f_.measurementRun->isReceiving();
}

void FilesLink::closeSetupPanel()
{
    // Closed as its own button closes it.
    f_.setupPanel->closePanel();
}

bool FilesLink::channelChecked(int channel) const
{
    return f_.setupPanel->channelChecked(channel);
}

QString FilesLink::channelCaption(int channel) const
{
    return f_.setupPanel->channelCaption(channel);
}

void FilesLink::setChannelChecked(int channel, bool checked)
{
    f_.setupPanel->setChannelChecked(channel, checked);
}

bool FilesLink::recordingAwaitsRead() const
{
    return f_.measurementRun && f_.measurementRun->recordingAwaitsRead();
}

const display::SignalChart& FilesLink::chart() const
{
    return f_.chartPart->chart();
}

quint8 FilesLink::channelMask() const
{
    return f_.chartPart->values().channelMask;
}

std::pair<qint64, qint64> FilesLink::visibleIndices() const
{
    return {f_.chartPart->values().firstVisibleIndex, f_.chartPart->values().lastVisibleIndex};
}

std::optional<int> FilesLink::smoothing() const
{
    return f_.chartPart->smoothing();
}

void FilesLink::setAxisTitles(const QString& timeTitle, const QString& valueTitle)
{
    f_.chartPart->setFileTitles(timeTitle, valueTitle);
}

void FilesLink::showChart()
{
    f_.chartPart->ShowChart(nullptr);
}

files::MainSettings TForm1::collectSettings() const
{
    files::MainSettings s;
    s.height = height();
    s.width = width();
    s.left = x();
    s.top = y();

    putChartSettings(chartPart->settings(), s);
    s.divider = measurementFiles->exportDivider();
    s.loadHelpOnStart = cbHelp->currentIndex();

    const acq::SetupValues setup = setupPanel->values();
    s.timeStep = setup.timeStep;
    s.samplesStep = setup.samplesStep;
    for (std::size_t i = 0; i < 3; ++i)
        s.channelSelected[i] = setup.channels[i];
    s.sensitivity = setup.range;
    s.frequency = setup.frequency;
    s.samples = setup.samples;
    s.pcOrMem = setup.target;
    s.externalStart = setup.externalStart;
    s.delay = setup.delayS;
    return s;
}

void TForm1::wireFiles()
{
    files::MeasurementFilesUi* mf = measurementFiles.get();
    connect(mf, &files::MeasurementFilesUi::fileLoaded, folderBrowser,
            &files::FolderBrowserUi::enableNavigation);
    connect(mf, &files::MeasurementFilesUi::recordSavedWhole, journal.get(), &files::JournalUi::recordSaved);
    // The export choices redraw the chart as the time unit does.
    connect(mf, &files::MeasurementFilesUi::exportChoicePicked, chartPart, [this] { chartPart->rebuild(); });
    if (measurementRun) {
        connect(measurementRun.get(), &acq::MeasurementRun::transferBegun, mf,
                &files::MeasurementFilesUi::recordTakenByRun);
        connect(measurementRun.get(), &acq::MeasurementRun::memoryReadBegun, mf,
                &files::MeasurementFilesUi::dropReadUnderway);
    }
}

} // namespace app
