#include "app/ui/fileslinks.h"

#include "acquisition/ui/measurementrun.h"
#include "app/ui/mainwindow.h"
#include "files/ui/measurementfilesui.h"

namespace app {

void FilesLink::hideSetupPanel()
{
    f_.gbFT->hide();
}

void FilesLink::layOutWindow()
{
    f_.FormResize();
}

StatusPanels& FilesLink::status()
{
    return *f_.status;
}

files::MeasurementFilesUi& FilesLink::measurementFiles()
{
    return *f_.measurementFiles;
}

QString FilesLink::timeTitle() const
{
    return f_.xAxisTitle;
}

QString FilesLink::valueTitle() const
{
    return f_.scalesYTitle;
}

QString FilesLink::comment() const
{
    return f_.mComment->comment();
}

bool FilesLink::simulatedBoard() const
{
    return f_.measurementRun && f_.measurementRun->device().backend().simulated();
}

bool FilesLink::receiving() const
{
    return f_.measurementRun && f_.measurementRun->isReceiving();
}

bool FilesLink::openJournal(const files::JournalEntry& entry, const QString& incompleteWhy)
{
    return f_.measurementFiles->openJournal(entry, incompleteWhy);
}

void TForm1::wireFiles()
{
    connect(measurementFiles.get(), &files::MeasurementFilesUi::fileLoaded, folderBrowser,
            &files::FolderBrowserUi::enableNavigation);
}

} // namespace app
