#pragma once

#include <QObject>
#include <QString>

#include <optional>
#include <utility>

#include "files/axdfile.h"
#include "files/runjournal.h"
#include "files/savefile.h"
#include "files/textexport.h"

namespace app {
class TForm1;
}

namespace display {
enum class Series;
}

namespace platform {
struct FileDialogSpec;
}

namespace files {

class ExportProgressPanel;

// The notice for a measurement file whose sampling period is zero, negative or not a number.
QString badSamplePeriodMessage(const QString& path, double periodUs);
// A file whose sampling period or calibration gives no finite times or values.
QString notFiniteFileMessage(const QString& path);

// The status bar's text while a measurement file is read.
extern const QString kReadingFileText;
// The comment box's title while the record is not a file's.
extern const QString kCommentTitle;

// The open dialog of measurement files, preselecting fileName.
platform::FileDialogSpec openDialogSpec(const QString& fileName);

// The main window's measurement files: save (".axd", ".txt", ".csv"), load through the open
// dialog, without a dialog for the folder navigation, and by dropping a file on the window.
class MeasurementFilesUi : public QObject {
    Q_OBJECT
  public:
    explicit MeasurementFilesUi(app::TForm1& form);

    void btSaveClick();
    // The comment, the file's name and its time to the clipboard.
    void btCopyClick();
    // The senders btNextFile and btUSB load currentFileName without a dialog.
    void btLoadFileClick(QObject* sender);
    // A file dropped on the window: loaded without a dialog, its path kept as it is.
    void dropFile(const QString& path);
    // Loads path as the folder navigation does; it becomes currentFileName only when it loads.
    bool loadWithoutDialog(const QString& path);
    // A run's journal as the record a run leaves: no file's, with the run's start time and
    // comment, marked partial with incompleteWhy when that is not empty.
    bool openJournal(const JournalEntry& entry, const QString& incompleteWhy);

    // The text or CSV export of what the chart shows, as the save writes it.
    ExportSource chartExportSource() const;
    // The progress of a long export, over the chart.
    ExportProgressPanel* exportProgress() const { return exportProgress_; }

    // The current measurement file; its folder is the one the navigation browses.
    QString currentFileName;
    QString lastSaveName;
    // Follows the type word of the last file loaded: such a file makes saves write 0x0003.
    bool plainTypeWord = false;
    // The header of the current record as the last load or save had it.
    AxdHeader header;
    // Where the comment search starts next; every load starts it from the top.
    int searchLine = 0;

  signals:
    // A measurement file was loaded and is the current file.
    void fileLoaded();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool loadFile(const QString& path);
    // Reads a measurement file whole and checks it; a refused one is told and gives nullopt.
    std::optional<AxdContents> readChecked(const QString& path);
    // The file's frames, period, calibration, titles and comment become the record's.
    void takeContents(AxdContents& contents);
    int firstSelectedChannel() const;
    // The stretch of points the chart showed at its last paint, when it belongs to the record
    // shown now; nullopt stands for the whole record.
    std::optional<std::pair<qint64, qint64>> visibleStretch(display::Series series) const;
    // What decides whether a save may go ahead (see saveRefusal).
    SaveState saveState() const;
    // stretchNote: the status text when only the visible stretch was written.
    bool writeMeasurementFile(const QString& path, QString& stretchNote);
    bool writeTextExport(const QString& path, SaveFormat format, QString& stretchNote);
    void closeSetupPanel();

    app::TForm1& form_;
    QString openDialogFileName_;
    ExportProgressPanel* exportProgress_;
    // Counts the loads begun: a load whose read sees a newer one begun gives way to it.
    std::uint64_t loadsBegun_ = 0;
    // Reads under way, one inside another's message loop, and the status text from before the
    // first of them, put back when a read ends.
    int readsUnderway_ = 0;
    QString statusBeforeRead_;
};

} // namespace files
