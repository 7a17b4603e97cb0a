#pragma once

// The run journal: every run and every read of the board's memory is written to disk as its bytes
// arrive, so that a crash, a kill or a power cut costs at most about a second of samples, and a
// run closed without saving can still be had.
//
// A journal is a measurement file being written: the ".axd" layout, whose dataLength holds
// kAxdOpenLength while the run goes on (the data block then runs to the end of the file), and is
// filled in with the comment appended when the run or read ends. Beside it a small JSON file
// holds what the measurement file keeps outside itself: the start time, the comment at the start,
// what the run asked for, and where the bytes came from.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "files/axdfile.h"

namespace files {

// Where a run's bytes came from.
enum class JournalSource { Stream, Memory };

// Why a journal was left unfinished, when it was not a crash: its ".json" keeps it, so that the
// operator is told what happened.
enum class JournalStop {
    None,     // a crash, a kill or a power cut: nothing could say so
    Exit,     // the program was asked to end (SIGTERM, a logout) in the middle of the run
    DiskFull, // the disk filled up (or a size limit was met) and the journal stopped
    Failed,   // the disk failed otherwise, or did not keep up
};

// What a journal needs to become a measurement file, fixed as the run starts.
struct JournalStart {
    AxdHeader header; // channelMask, samplePeriodUs, typeWord
    std::array<double, 3> axisK{};
    std::array<double, 3> axisC{};
    QString xAxisTitle;
    QString yAxisTitle;
    QDateTime startTime;
    QString comment;
    std::uint64_t expectedBytes = 0;
    JournalSource source = JournalSource::Stream;
    bool simulated = false; // from the built-in simulated board: no measurement, and saved as such
    // The order the journals were made in, for the keeping: one more than the folder's newest.
    std::uint64_t sequence = 0;
};

// How many journals are kept: the newest runs up to both limits (the run being written always).
struct JournalLimits {
    int keepRuns = 10;
    std::uint64_t keepBytes = std::uint64_t(2) << 30;
};

// One kept journal, as the list of unsaved measurements shows it.
struct JournalEntry {
    QString path; // the journal's ".axd"
    QDateTime startTime;
    QString comment;
    std::uint8_t channelMask = 0;
    double samplePeriodUs = 0;
    std::uint64_t dataBytes = 0;     // whole frames the file holds
    std::uint64_t expectedBytes = 0; // what the run asked for
    bool complete = false;           // the run or read ended and the journal was closed
    // The header claims more data than the file holds: the file is damaged, and its size is what
    // it holds, never what it claims.
    bool damaged = false;
    JournalSource source = JournalSource::Stream;
    bool simulated = false;
    bool open = false;  // still an open journal: a crash or an exit left it and it was not offered yet
    bool inUse = false; // another running copy of the program is writing it
    JournalStop stop = JournalStop::None;
    std::uint64_t sequence = 0; // 0 for a journal of an older version: the oldest

    std::int64_t frames() const;
};

// Appends a run's bytes to its journal on a writer thread of its own. append() only copies into a
// queue, so the receive path never waits for the disk; the writer syncs at least once a second
// while bytes arrive. Journal files are made new (never through a link) in a folder only this
// user may enter, and only regular files of this user are read or written as journals. A
// disk that fails (full, a size limit, gone) stops the journal, never the run: failure() says why
// once.
class RunJournal {
  public:
    struct Options {
        // Below a second, so that a sync that takes the disk a while still comes once a second.
        std::chrono::milliseconds syncInterval{900};
        // Bytes waiting for a disk that does not keep up; beyond this the journal gives up rather
        // than take the machine's memory.
        std::size_t queueLimit = std::size_t(64) << 20;
        // Called before each write of finish() with its number (0 … kFinishSteps - 1): where a
        // test kills the process, to see that every step leaves a journal that reads right.
        std::function<void(int)> beforeFinishStep;
    };
    static constexpr int kFinishSteps = 8;

    RunJournal();
    explicit RunJournal(Options options);
    // Leaves an unfinished journal as it is on disk (a crash would too), after writing what was
    // queued.
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    // Starts a journal in `folder` (made when missing). False with the reason in `why` when the
    // journal cannot be made; the run goes on without it. The caller keeps the folder within its
    // limits (pruneJournals), so that it can tell the operator what went.
    bool begin(const QString& folder, const JournalStart& start, QString& why);
    void append(const void* bytes, std::size_t count);
    // The run or read ended: writes what is queued, fills in the length and the comment, syncs,
    // and dates the file with the start time. False when the journal had failed.
    bool finish();
    // The program is ending in the middle of the run: what was queued is written and synced, and
    // the journal is left open, marked as left at the exit, to be offered at the next start like
    // a crash's.
    void interrupt();
    // A journal that stopped (a full disk) says why in its ".json", once: it is offered later with
    // that reason, not as a crash. Nothing when it did not stop.
    void recordStop();

    bool active() const { return thread_.joinable(); }
    QString path() const { return path_; }
    // Why the journal stopped; empty while it works. Told once: a second call returns empty.
    QString takeFailure();
    // The longest time between two syncs of this journal (the first counted from its start): while
    // bytes keep arriving, what a power cut could cost at most.
    std::chrono::microseconds longestSyncGap();

  private:
    void writerLoop();
    void stopWriter();

    Options options_;
    QString path_;
    JournalStart start_;
    int fd_ = -1;
    std::uint64_t headerBytes_ = 0;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<char> queue_;
    bool stopping_ = false;
    bool failed_ = false;
    bool failureTold_ = false;
    QString failure_;
    int failureError_ = 0; // the system's error number of the failure; 0 when the disk fell behind
    bool stopRecorded_ = false;
    std::uint64_t written_ = 0; // data bytes on disk
    std::chrono::microseconds longestSyncGap_{0};
    std::thread thread_;
};

// The folder journals live in: $XDG_STATE_HOME/accel3/runs (~/.local/state/accel3/runs), or
// "runs" in `portableFolder` when the program keeps its files beside itself.
QString journalFolder(const QString& portableFolder);

// The kept journals, newest made first (never ordered by the start time a record claims: a
// memory read may carry any). Files that are not journals are left out.
std::vector<JournalEntry> listJournals(const QString& folder);
// The journals a crash or an exit left unfinished, not held by another copy. Those without a
// single whole frame hold nothing to offer and are removed here.
std::vector<JournalEntry> unfinishedJournals(const QString& folder);
// The sequence number a journal begun now in `folder` takes.
std::uint64_t nextJournalSequence(const QString& folder);
// Removes older journals beyond `limits` (the newest made first count) and those with no whole
// frame. Never removed: a journal another copy (or this one) is writing, one a crash or an exit
// left that was not offered yet, and those in `keep` (the record on screen). Returns the removed
// ones that held frames: the operator is to be told of them.
std::vector<JournalEntry> pruneJournals(const QString& folder, const JournalLimits& limits, const QStringList& keep);
// A journal is gone once its record was saved. One another copy of the program is writing, or
// shows as its record (a JournalHold), stays: false then.
bool removeJournal(const QString& journalPath);
// Held while a journal's record is on this copy's screen, so that another copy's keeping or save
// never removes it; the hold goes with the process, however it ends. Taken only once the journal
// is no longer being written here.
class JournalHold {
  public:
    JournalHold() = default;
    ~JournalHold();
    JournalHold(const JournalHold&) = delete;
    JournalHold& operator=(const JournalHold&) = delete;
    void hold(const QString& journalPath);
    void release();

  private:
    int fd_ = -1;
};
// Whether another running copy of the program is writing this journal (it holds it locked).
bool journalInUse(const QString& journalPath);
// One journal as the list shows it; nothing when it is no journal: a measurement file neither
// open nor with a ".json". An open one without its ".json" (missing, unreadable, malformed) is
// read from its measurement file alone, as the list reads it: the start time from its name, no
// comment.
std::optional<JournalEntry> readJournalEntry(const QString& journalPath);
// Marks an unfinished journal as seen, so it is offered only once; it stays in the list.
void closeUnfinishedJournal(const QString& journalPath);

QString journalOfferText(const JournalEntry& entry);
// One question for several journals a crash left: they are listed, and "Да" opens the list.
QString journalsOfferText(const std::vector<JournalEntry>& entries);
// Why an unfinished journal is not the whole run ("программа была прервана во время приёма",
// "прервано при завершении программы", "запись журнала остановлена: диск заполнен" …).
QString journalStopText(const JournalEntry& entry);
// What the operator is told after the keeping removed journals that were never saved.
QString prunedJournalsText(const std::vector<JournalEntry>& removed);

} // namespace files
