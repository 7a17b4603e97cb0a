#pragma once

// The window's side of the board: the device library with its configured board and the command
// link; starting a run (registers, start command, poll interval, progress panel); the receive
// timer that takes the samples in or reads the board's memory block by block; and the memory
// chip's protection clear. It owns the run's controls: "ПУСК ИЗМЕРЕНИЯ" and "Считать" on the
// controller's tool bar, the progress panel pnlChart (made without a parent: the window puts it
// over the chart), the options panel's "Сброс защиты ИС памяти" (likewise) and the timers.

#include "acquisition/devicelibrary.h"
#include "acquisition/devicelink.h"
#include "app/ui/services.h"
#include "platform/ticks.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace acq {

class AcquisitionHost;
class SetupPanel;

class MeasurementRun : public QObject {
    Q_OBJECT
  public:
    // toolBar: the controller's tool bar; a double click on the strip it stands in asks the board
    // again for its memory's first block.
    MeasurementRun(MeasurementRecord& record, SetupPanel& setup, AcquisitionHost& host, app::Services services,
                   const QString& deviceFile, QFrame* toolBar);
    ~MeasurementRun() override;

    // ---- controls (object names as the window's design names them) ----
    QToolButton* btStartPlus;
    QToolButton* btRd;
    QFrame* pnlChart;
    QLabel *lbAll, *lbElapsedVal, *lbRestVal, *lbPercent, *lbRestPercent;
    QProgressBar* progressBar;
    QPushButton* btFM25ProtectClr;
    QTimer* timRx;
    QTimer* TimPrgssBar;

    // The receive timer is polling the board.
    bool polling() const { return timRx->isActive(); }
    // A chart build takes the progress panel down.
    void hideProgress();
    // The progress panel over the top of the chart, as wide as the chart.
    void fitProgressPanel(QPoint topLeft, int width);
    // At the window's close: no timer of the run's fires any more.
    void stopTimers();

    DeviceLibrary& device() { return *library_; }
    DeviceLink& link() { return *link_; }
    // Puts another board behind the library (tests, a changed configuration).
    void setBackend(std::unique_ptr<DeviceBackend> backend);
    platform::TickSource& ticks();
    // Tells which board the program talks to (boardShown), for the connection button's hint.
    void showBoard();

    // "ПУСК ИЗМЕРЕНИЯ": configures the chip, sends the start command and arms the receive timer.
    void btStartClick();
    // Start bookkeeping: start time, progress labels cleared, run start tick, "ИЗМЕРЕНИЕ".
    void Measure();
    // One tick of the receive timer; what the bytes mean depends on the last command sent.
    void timRxTimer();
    void TimPrgssBarTimer();
    // "Считать": reads back a recording from the board's memory.
    void btRdClick();
    void btFM25ProtectClrClick();
    // Asks the board again for memory block 0 (sent as it stands, past the link's pause) and
    // reads what comes as "Считать" does, from an emptied record.
    void ctlBarDblClick();
    // At the window's close: the device is closed; its status is kept, errors are ignored.
    void closeDevice();
    // The program was asked to end in the middle of a streamed run over a line: what has come
    // since the last take goes into the record and its journal before the journal is left.
    void takeArrivedAtExit();

    // The receive timer's interval between polls of the current run.
    std::uint32_t pollIntervalMs() const { return pollIntervalMs_; }
    // A start whose register read-backs are still being awaited through the message loop.
    bool starting() const { return pending_.has_value(); }
    // A start, run or read is waiting on the board: any other command now would take its reply.
    bool busy() const { return starting() || awaitTimer_->isActive() || lineWatch_->isActive(); }

    // Status bar panel 0 (what the program is doing), announced for observers as well.
    void showActivity(const QString& text);

    // A run to the computer or a read of the board's memory is taking samples into the record.
    bool isReceiving() const;
    // The last run recorded into the board's memory, and nothing has asked for it since.
    bool recordingAwaitsRead() const;

  signals:
    void activityShown(const QString& text);
    // The description of the board behind the library.
    void boardShown(const QString& description);
    // The connection check must not ask the board now: a run or read takes its replies.
    void linkCheckPaused();
    // The board records on its own after a start to memory: the link is closed.
    void linkClosed();
    // "Считать" begins from a link that counts as lost until the board answers again.
    void linkReset();
    // A poll of a run to the computer brought samples and more are to come.
    void streamReceived();
    // A run or memory read has ended: charted, reported, or given up.
    void transferEnded();
    // A start did not get its run going (its message has been shown); the record is as it was.
    void startFailed();
    // A run or a memory read has begun to replace the record: what the window showed of the
    // previous one (a file's name) no longer describes it.
    void transferBegun();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // What a start will make of the record, applied only once its start command has gone out:
    // a start that fails leaves the measurement shown as it was.
    struct PendingStart {
        StartParams params;
        std::array<RegisterStep, 6> steps{};
        std::size_t step = 0;
        int rangeIndex = 0;
        double rateHz = 0;
        QString letters;
    };

    std::optional<DeviceBackend::LineTiming> line() const { return library_->backend().lineTiming(); }
    void drainOwedReplies();
    void nextStartStep();
    void readBackLine(const RegisterStep& r);
    void checkReadBack(const RegisterStep& r, std::optional<std::uint8_t> value);
    void startTimedOut(const RegisterStep* r);
    void sendStartCommand();
    // The record takes the started run's range, channels and rate.
    void adoptStartedRun(const PendingStart& p);
    // The record awaits the run's bytes; gives the receive timer's poll interval.
    std::uint32_t prepareTransfer(const StartParams& params);
    // Arms the receive timer (not for a run the contact starts); gives how long the run takes.
    std::uint32_t armReceive(const StartParams& params, std::uint32_t interval);
    // Waits through the message loop until at least count bytes wait on the line and no more
    // are coming, or the line's reply time is up, or the line drops; then calls done.
    void awaitBytes(std::size_t count, std::chrono::milliseconds limit, std::function<void(bool)> done);
    void awaitTick();
    void watchLine();
    // A streamed run over a line: what has come since the last take goes into the record.
    void takeBetweenPolls();
    // What has come on the line, up to what the run asked for, into the record.
    void takePending();
    // Every received byte that belongs to the record comes in here: into the record, and copied
    // to the run's journal on the way.
    void takeIn(const char* bytes, std::uint64_t count);
    // The transfer's journal, if one is written, is closed (the transfer ended or gave way).
    void endJournal();
    void pollToComputer(const QByteArray& got);
    void pollMemory(QByteArray got);
    void pollMemoryLine();
    // How many bytes make the memory block being collected whole.
    qint64 blockCompleteBytes(std::uint8_t readBlock) const;
    void memoryLineLost(std::uint8_t readBlock);
    bool applyMemoryHeader(const QByteArray& got);
    void requestBlock(std::uint8_t block, bool announce = true);
    // The record emptied and the block-0 request's bookkeeping set, for a read of the memory.
    void beginMemoryRead();
    // Block 0 did not come or is no recording: asked again a few times, then given up.
    void blockZeroMissing();
    // How long a memory block may take on this line before it counts as not coming.
    std::chrono::milliseconds blockWaitLimit() const;
    // Ends a transfer; why, when not empty, says why it ended before everything came.
    // lineWhy: what the line itself reported (a port gone), when anything.
    void finishTransfer(const QString& why = {}, const QString& lineWhy = {});
    void buildAfterTransfer(const QString& why, const QString& lineWhy);
    // The status text and the message that tell how a transfer fell short or overran.
    void reportTransferEnd(const QString& why, const QString& lineWhy, bool nothing);
    void correctExternalStart(const QByteArray& reply);
    // What the line reported about the last read's failure, as a bracketed remark; empty when
    // the read went through.
    QString lineError() const;
    void message(const QString& text);
    // A command that did not go out: the program's own message, and below it what the board's
    // line knows about the cause (a missing port, no permission), when it knows anything.
    void sendFailed(const QString& text);

    void buildProgressPanel();
    // The progress panel counts down a run that takes longer than a glance.
    void showProgress(std::uint32_t waitMs);
    void connectControls(QWidget* strip);

    MeasurementRecord& record_;
    SetupPanel& setup_;
    AcquisitionHost& host_;
    app::Services services_;
    QWidget* window_;
    std::unique_ptr<platform::SystemTicks> ownTicks_; // when the window was given no tick counter
    std::unique_ptr<DeviceLibrary> library_;
    std::unique_ptr<DeviceLink> link_;
    std::uint32_t pollIntervalMs_ = 0;
    std::uint32_t progressWaitMs_ = 0; // the progress bar's maximum
    // When Measure last ran, normally the moment the last start command went out (invalid
    // before the first run). The contact's delay that the board reports counts from it, however
    // often the recording is read back.
    QDateTime startCommandTime_;
    // When this program's last run to the board's memory began: a read of the memory fetches
    // that recording, whatever file or request the record held meanwhile.
    QDateTime memoryRunStart_;
    QWidget* ctlBar_ = nullptr; // the tool strip, whose double click asks for block 0 again

    std::optional<PendingStart> pending_;
    // Read-backs a line board has not answered yet. Their bytes are no samples: a start waits
    // for them before its start command. Forgotten after kOwedReplyExpiry.
    std::size_t owedReplies_ = 0;
    QElapsedTimer owedSince_;
    QTimer* awaitTimer_ = nullptr;
    QElapsedTimer awaitClock_;
    std::chrono::milliseconds awaitLimit_{0};
    std::size_t awaitCount_ = 0;
    std::size_t awaitLastSeen_ = 0;
    std::function<void(bool)> awaitDone_;
    // During a run or read over a line: notices a line that dropped between polls.
    QTimer* lineWatch_ = nullptr;
    // Bytes of a streamed run taken in since its last poll, and the time since the last take or poll.
    std::uint32_t takenSincePoll_ = 0;
    QElapsedTimer sinceTake_;
    // The memory block being collected over a line, since when it is awaited, and when it last grew.
    QByteArray block_;
    QElapsedTimer blockClock_;
    QElapsedTimer blockQuiet_;
    int blockZeroTries_ = 0;
    std::uint32_t extraBytes_ = 0; // sent beyond the run's samples
    bool memoryRead_ = false;
};

} // namespace acq
