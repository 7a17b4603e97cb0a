#pragma once

#include "files/ui/folderbrowserui.h"
#include "files/ui/journalui.h"
#include "files/ui/measurementfilesui.h"

namespace app {

class TForm1;

// What the files parts ask of the set-up panel, the run and the chart, answered from the window
// that composes them.
class FilesLink : public files::FolderBrowserHost,
                  public files::JournalHost,
                  public files::MeasurementFilesHost {
  public:
    explicit FilesLink(TForm1& form) : f_(form) {}

    // The folder browser.
    void hideSetupPanel() override;
    void layOutWindow() override;
    StatusPanels& status() override;

    // The journal.
    QString timeTitle() const override;
    QString valueTitle() const override;
    bool simulatedBoard() const override;
    bool receiving() const override;

    // The measurement files (status, receiving and timeTitle above).
    void closeSetupPanel() override;
    bool channelChecked(int channel) const override;
    QString channelCaption(int channel) const override;
    void setChannelChecked(int channel, bool checked) override;
    bool recordingAwaitsRead() const override;
    const display::SignalChart& chart() const override;
    quint8 channelMask() const override;
    std::pair<qint64, qint64> visibleIndices() const override;
    std::optional<int> smoothing() const override;
    void setAxisTitles(const QString& timeTitle, const QString& valueTitle) override;
    void showChart() override;

  private:
    TForm1& f_;
};

} // namespace app
