#pragma once

#include <QObject>
#include <QString>

#include "files/axdfile.h"
#include "files/savefile.h"
#include "files/textexport.h"

namespace app {
class TForm1;
}

namespace platform {
struct FileDialogSpec;
}

namespace files {

// The open dialog of measurement files, preselecting fileName.
platform::FileDialogSpec openDialogSpec(const QString& fileName);

// The main window's measurement files: save (".axd", ".txt", ".csv"), load through the open
// dialog, without a dialog for the folder navigation, and by dropping a file on the window.
class MeasurementFilesUi : public QObject {
    Q_OBJECT
  public:
    explicit MeasurementFilesUi(app::TForm1& form);

    void btSaveClick();
    // The senders btNextFile and btUSB load currentFileName without a dialog.
    void btLoadFileClick(QObject* sender);
    // A file dropped on the window: loaded without a dialog, its path kept as it is.
    void dropFile(const QString& path);

    // The text or CSV export of what the chart shows, as the save writes it.
    ExportSource chartExportSource() const;

    // The current measurement file; its folder is the one the navigation browses.
    QString currentFileName;
    QString lastSaveName;
    // Follows the type word of the last file loaded: such a file makes saves write 0x0003.
    bool plainTypeWord = false;
    // The header of the current record as the last load or save had it.
    AxdHeader header;
    // Where the comment search starts next; every load starts it from the top.
    int searchLine = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool writeMeasurementFile(const QString& path);
    bool writeTextExport(const QString& path, SaveFormat format);
    void closeSetupPanel();

    app::TForm1& form_;
    QString openDialogFileName_;
};

} // namespace files
