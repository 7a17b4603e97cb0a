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

    // Starts a journal in `folder` (made when missing) and prunes older ones to `limits`. False
    // with the reason in `why` when the journal cannot be made; the run goes on without it.
    bool begin(const QString& folder, const JournalStart& start, const JournalLimits& limits, QString& why);
    void append(const void* bytes, std::size_t count);
    // The run or read ended: writes what is queued, fills in the length and the comment, syncs,
    // and dates the file with the start time. False when the journal had failed.
    bool finish();

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
    JournalLimits limits_;
    int fd_ = -1;
    std::uint64_t headerBytes_ = 0;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<char> queue_;
    bool stopping_ = false;
    bool failed_ = false;
    bool failureTold_ = false;
    QString failure_;
    std::uint64_t written_ = 0; // data bytes on disk
    std::chrono::microseconds longestSyncGap_{0};
    std::thread thread_;
};

// The folder journals live in: $XDG_STATE_HOME/accel3/runs (~/.local/state/accel3/runs), or
// "runs" in `portableFolder` when the program keeps its files beside itself.
QString journalFolder(const QString& portableFolder);

// The kept journals, newest first. Files that are not journals are left out.
std::vector<JournalEntry> listJournals(const QString& folder);
// The journals a crash left unfinished.
std::vector<JournalEntry> unfinishedJournals(const QString& folder);
// A journal is gone once its record was saved.
void removeJournal(const QString& journalPath);
// One journal as the list shows it; nothing when it is no journal. Without its ".json" (missing,
// unreadable, malformed) it is read from its measurement file alone: the start time from its name,
// no comment.
std::optional<JournalEntry> readJournalEntry(const QString& journalPath);
// Marks an unfinished journal as seen, so it is offered only once; it stays in the list.
void closeUnfinishedJournal(const QString& journalPath);

QString journalOfferText(const JournalEntry& entry);

} // namespace files
