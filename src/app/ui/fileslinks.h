#pragma once

#include "files/ui/folderbrowserui.h"
#include "files/ui/journalui.h"

namespace app {

class TForm1;

// What the files parts ask of the set-up panel, the run and the chart, answered from the window
// that composes them.
class FilesLink : public files::FolderBrowserHost, public files::JournalHost {
  public:
    explicit FilesLink(TForm1& form) : f_(form) {}

    // The folder browser.
    void hideSetupPanel() override;
    void layOutWindow() override;
    StatusPanels& status() override;
    files::MeasurementFilesUi& measurementFiles() override;

    // The journal.
    QString timeTitle() const override;
    QString valueTitle() const override;
    QString comment() const override;
    bool simulatedBoard() const override;
    bool receiving() const override;
    bool openJournal(const files::JournalEntry& entry, const QString& incompleteWhy) override;

  private:
    TForm1& f_;
};

} // namespace app
