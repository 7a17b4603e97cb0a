#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <optional>
#include <utility>

#include "files/axdfile.h"
#include "files/ui/commentbox.h"
#include "files/runjournal.h"
#include "files/savefile.h"
#include "files/textexport.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QPlainTextEdit;
class QToolButton;
class QWidget;

namespace acq {
struct MeasurementRecord;
}
namespace app {
class StatusPanels;
}
namespace display {
enum class Series;
class SignalChart;
} // namespace display
namespace platform {
struct FileDialogSpec;
class Dialogs;
class TickSource;
} // namespace platform

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

// What the measurement files need of the set-up panel, the run and the chart.
class MeasurementFilesHost {
  public:
    virtual ~MeasurementFilesHost() = default;
    virtual app::StatusPanels& status() = 0;
    // Closed as its own button closes it, when open.
    virtual void closeSetupPanel() = 0;
    // The set-up panel's channel boxes X, Y, Z; a box set from here runs its handlers.
    virtual bool channelChecked(int channel) const = 0;
    virtual QString channelCaption(int channel) const = 0;
    virtual void setChannelChecked(int channel, bool checked) = 0;
    // A run or a memory read is taking bytes; a recording waits in the board's memory.
    virtual bool receiving() const = 0;
    virtual bool recordingAwaitsRead() const = 0;
    // The chart as saves and exports take it: its series, the channels of its last build, the
    // points its last paint showed (-1 before any), its smoothing weight when on, its time title.
    virtual const display::SignalChart& chart() const = 0;
    virtual quint8 channelMask() const = 0;
    virtual std::pair<qint64, qint64> visibleIndices() const = 0;
    virtual std::optional<int> smoothing() const = 0;
    virtual QString timeTitle() const = 0;
    // The axis titles of a file loaded or saved, which its chart shows.
    virtual void setAxisTitles(const QString& timeTitle, const QString& valueTitle) = 0;
    // Builds the chart of the record.
    virtual void showChart() = 0;
};

// The main window's measurement files: save (".axd", ".txt", ".csv"), load through the open
// dialog, without a dialog for the folder navigation, and by dropping a file on the window. It
// owns the file tool bar's btSave, btLoadFile and btCopy, the comment group gbFile (mComment and
// the hidden mClipBoard) and the export options gbCSV_TXT (cbStoreX, cbDivider); the window
// places the groups.
class MeasurementFilesUi : public QObject {
    Q_OBJECT
  public:
    // The buttons go onto fileBar; `window` takes the dropped files and the keys Ctrl+O, Ctrl+S
    // and is the parent of the dialogs.
    MeasurementFilesUi(MeasurementFilesHost& host, acq::MeasurementRecord& record, platform::Dialogs* dialogs,
                       platform::TickSource* ticks, QFrame* fileBar, QWidget* window);
    ~MeasurementFilesUi() override;

    // The comment box inside gbFile, whose place the window sets.
    void setCommentArea(const QRect& area);
    // The export progress shows over the chart: made once the chart is.
    void setChartWidget(QWidget* chart);
    // A run or a memory read replaces the record: it is no longer the file's, nor named after it.
    void recordTakenByRun();
    QString comment() const;
    // The decimal separator of the text exports: the index of "запятая", "точка"; an index
    // outside the list takes "точка".
    int exportDivider() const;
    void setExportDivider(int index);

    void btSaveClick();
    // The comment, the file's name and its time to the clipboard.
    void btCopyClick();
    void btLoadFileClick();
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

    QToolButton *btSave, *btLoadFile, *btCopy;
    QGroupBox* gbFile;
    CommentBox* mComment;
    QPlainTextEdit* mClipBoard;
    QGroupBox* gbCSV_TXT;
    QComboBox* cbStoreX;
    QComboBox* cbDivider;

  signals:
    // A measurement file was loaded and is the current file.
    void fileLoaded();
    // The record was written whole to the measurement file `path`.
    void recordSavedWhole(const QString& path);
    // The operator picked an item of cbStoreX or cbDivider.
    void exportChoicePicked();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool loadFile(const QString& path);
    // Reads a measurement file whole and checks it; a refused one is told and gives nullopt.
    std::optional<AxdContents> readChecked(const QString& path);
    // The read itself, giving way to a newer load or a run; nullopt when it gave way or the
    // window went meanwhile.
    std::optional<AxdReadResult> readGivingWay(const QString& path);
    // A file read whole that may become the record; a refused one is told.
    bool fitForRecord(const AxdReadResult& r, const QString& path) const;
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
    AxdHeader saveHeader() const;
    // The frames a save writes: what the chart shows of the record, or all of it.
    Stretch stretchToSave(int frameChannels) const;
    AxdWriteSource measurementSource(const AxdHeader& h, const Stretch& stretch) const;
    bool writeTextExport(const QString& path, SaveFormat format, QString& stretchNote);
    // Gives the writer's error; replaced tells that the chart was rebuilt during the write.
    QString writeExportShowingProgress(const QString& path, const ExportSource& src, const ExportFormat& fmt,
                                       bool& replaced);
    // The export's lines above the values: where the data come from, calibration, titles, comment.
    ExportSource exportHeading() const;
    // The selected channels' columns, then IaI's when shown; gives the first channel, or -1.
    int addExportColumns(ExportSource& s) const;
    void buildToolButtons(QFrame* fileBar);
    void buildCommentGroup();
    void buildExportOptions();

    MeasurementFilesHost& host_;
    acq::MeasurementRecord& record_;
    platform::Dialogs* dialogs_;
    platform::TickSource* ticks_;
    QWidget* window_;
    QString openDialogFileName_;
    ExportProgressPanel* exportProgress_ = nullptr;
    // Counts the loads begun: a load whose read sees a newer one begun gives way to it.
    std::uint64_t loadsBegun_ = 0;
    // Reads under way, one inside another's message loop, and the status text from before the
    // first of them, put back when a read ends.
    int readsUnderway_ = 0;
    QString statusBeforeRead_;
};

} // namespace files
