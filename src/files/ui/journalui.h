#pragma once

// The window's side of the run journal: the run's bytes go to disk as they are taken into the
// record, a journal that stopped (a full disk) is told once, a journal a crash left is offered at
// start, and "Несохранённые измерения…" lists the kept ones and opens one as the record.

#include <QObject>
#include <QString>

#include <cstdint>
#include <vector>

#include "acquisition/measurementrecord.h"
#include "files/runjournal.h"

class QDialog;
class QDialogButtonBox;
class QTimer;
class QToolButton;
class QTreeWidget;
class QWidget;

namespace app {
class StatusPanels;
}
namespace platform {
class Dialogs;
}

namespace files {

// The one message of a journal that could not be made or stopped; the run goes on.
QString journalStoppedMessage(QString why);
// What the list of unsaved measurements shows of a journal, one text per column.
QStringList journalListRow(const JournalEntry& entry);

class MeasurementFilesUi;

// What the journal needs of the run and the chart.
class JournalHost {
  public:
    virtual ~JournalHost() = default;
    // Written into a journal as it starts: the chart's time and value titles, and whether the
    // simulated board gave the run.
    virtual QString timeTitle() const = 0;
    virtual QString valueTitle() const = 0;
    virtual bool simulatedBoard() const = 0;
    // A run or memory read is taking bytes: no journal may replace the record meanwhile.
    virtual bool receiving() const = 0;
    virtual app::StatusPanels& status() = 0;
};

// The journal's place in the window is its button "Несохранённые измерения…" (btJournals), made
// beside the chart's save button by the window's layout.
class JournalUi : public QObject {
    Q_OBJECT
  public:
    // `window` holds the button and is the parent of the journal's dialogs; `settingsFile` may
    // name how many runs are kept; `files` give the comment and open a journal as the record.
    JournalUi(JournalHost& host, MeasurementFilesUi& files, const acq::MeasurementRecord& record,
              QString folder, const QString& settingsFile, platform::Dialogs* dialogs, QWidget* window);
    ~JournalUi() override;

    // A run or memory read begins to take bytes laid out for `channels` into the record: its
    // journal starts, described by the record as it stands (period, calibration, start time,
    // expected bytes) and the comment box.
    void begin(JournalSource source, acq::ChannelSet channels);
    // Bytes just taken into the record. Only copied: the receive path never waits on the disk.
    void append(const char* bytes, std::uint64_t count)
    {
        if (writer_.active())
            writer_.append(bytes, std::size_t(count));
    }
    // The transfer ended, whole or not; its journal becomes an ordinary measurement file.
    void finish();
    // The program is ending in the middle of the transfer: its journal is left unfinished, marked
    // so, and offered at the next start.
    void interrupt();
    // The record was written whole to the measurement file `savedPath`: its journal is no longer
    // needed (unless it was saved onto the journal itself).
    void recordSaved(const QString& savedPath);

    // At start: journals a crash or an exit left unfinished are offered, one alone as itself,
    // several in one question that opens the list. Each one offered is closed, so it is offered
    // only once; it stays in the list.
    void offerUnfinished();
    // "Несохранённые измерения…": the kept journals; the chosen one is opened. Not modal.
    void showList();
    // Opens a kept journal as the record after a run; a partial one is marked so.
    bool open(const JournalEntry& entry);

    // The list of unsaved measurements while it is open (tests drive it).
    QDialog* listDialog() const { return list_; }
    QString folder() const { return folder_; }
    QToolButton* button() const { return btJournals; }
    // The journal being written now; empty when none is.
    QString activePath() const { return writer_.active() ? writer_.path() : QString(); }

  private:
    void watch();
    // Removes older journals beyond `limits`, never the record's on screen; the watch tells what
    // went.
    void keepWithinLimits(const JournalLimits& limits);
    // "Открыть" and a double click open the chosen journal.
    void connectListChoice(QTreeWidget* tree, QDialogButtonBox* buttons, std::vector<JournalEntry> entries);

    JournalHost& host_;
    MeasurementFilesUi& files_;
    const acq::MeasurementRecord& record_;
    platform::Dialogs* dialogs_;
    QWidget* window_;
    QString folder_;
    JournalLimits limits_;
    RunJournal writer_;
    // Looks at the writer once a second while a journal is written; says once why it stopped.
    QTimer* watch_;
    QString beginFailure_;
    QString prunedNotice_;
    // The journal of the record shown and the record it belongs to.
    QString recordJournal_;
    // Another copy keeps its hands off the journal of the record on screen here.
    JournalHold recordHold_;
    std::uint64_t recordGeneration_ = 0;
    QDialog* list_ = nullptr;
    QToolButton* btJournals;
};

} // namespace files
