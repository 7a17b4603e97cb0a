#pragma once

// What the serial-line and the USB backends have in common: a board reached through a byte link
// that may vanish at any moment (a cable pulled, an adapter re-plugged). The link is opened by
// the first command, a reader thread drains it into a bounded buffer for as long as it is open,
// and a command after the link was lost opens it anew, so a board plugged back in works again
// without restarting the program.
//
// The caller is the window, and a board may hold the line for as long as it likes (a bridge that
// does not take a bulk OUT, a port nobody reads, a search probing silent ports). So everything that
// can block (opening, sending, closing) runs on the line's own thread, and a call waits for it
// only briefly (callWait, openWait): what does not end by then is reported as a failure in the
// operator's words while it goes on there. A read never waits longer than callWait either; bytes
// that come after a read gave up wait in the buffer for the next one.

#include "acquisition/devicelibrary.h"
#include "acquisition/receivebuffer.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <condition_variable>
#include <mutex>
#include <memory>
#include <thread>
#include <vector>

namespace acq {

// One opened connection to a board. send() runs on the line's thread, receive() on the reader
// thread, at the same time; interrupt() may be called from the line's thread to end a receive().
class ByteLink {
  public:
    virtual ~ByteLink();
    enum class Io { Ok, TimedOut, Lost };
    // Waits up to timeout for bytes and stores how many came (the link may have delivered some
    // even when the wait ended otherwise). Lost: the link is gone for good; why says how.
    virtual Io receive(std::uint8_t* buffer, std::size_t max, std::size_t& got,
                       std::chrono::milliseconds timeout, QString& why) = 0;
    // Sends all bytes within timeout, or reports why not.
    virtual Io send(const std::uint8_t* bytes, std::size_t count, std::chrono::milliseconds timeout,
                    QString& why) = 0;
    // Makes a receive() in progress return soon.
    virtual void interrupt() {}
};

// Knows how to reach one board: opens a link to it, or says in the operator's words why not.
class LinkOpener {
  public:
    virtual ~LinkOpener();
    // Called on the backend's line thread, never twice at once; description() may be called
    // from the GUI thread meanwhile.
    virtual std::unique_ptr<ByteLink> open(QString& why) = 0;
    // Which board this is, for the operator ("последовательный порт /dev/ttyUSB0").
    virtual QString description() const = 0;
};

struct StreamOptions {
    // How long the board has to answer a command (device.ini's ReadTimeoutMs): the window awaits a
    // reply this long through its message loop; a read by itself waits at most callWait of it.
    std::chrono::milliseconds firstByteWait{50};
    // After the first byte of a reply, the rest must follow within this gap to belong to it.
    std::chrono::milliseconds replyGap{5};
    // Before a command, the tail of a stream still arriving is waited out (a line this long quiet),
    // at most settleLimit: its bytes are no reply to the command.
    std::chrono::milliseconds settleQuiet{10};
    std::chrono::milliseconds settleLimit{50};
    // How long the line's thread tries to get a command out before the link counts as broken.
    std::chrono::milliseconds sendTimeout{500};
    // The longest a call waits on the line: for its command to go out (on a line already open),
    // for a first byte. Well under what the operator feels as a frozen window.
    std::chrono::milliseconds callWait{120};
    // Opening a link may take long (a search probes ports, a named port must answer the probe):
    // a command that has to open the line first waits this long for it and its own send.
    std::chrono::milliseconds openWait{120};
    // What the line carries at most (a serial line's rate); 0 when not known.
    std::uint32_t bytesPerSecond = 0;
    std::size_t bufferLimit = ReceiveBuffer::kDefaultLimit;
};

class StreamBackend : public DeviceBackend {
  public:
    StreamBackend(std::unique_ptr<LinkOpener> opener, StreamOptions options = {});
    ~StreamBackend() override;

    int write(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written) override;
    int read(std::uint8_t* buffer, std::uint32_t max, std::uint32_t& got) override;
    // Releases the line; the next call opens it again, so commands after a close still work.
    int close() override;
    QString description() const override;
    QString lastError() const override { return lastError_; }
    std::optional<LineTiming> lineTiming() const override
    {
        return LineTiming{options_.firstByteWait, options_.bytesPerSecond};
    }
    std::size_t pendingBytes() const override { return buffer_.size(); }
    bool lineLost() const override { return buffer_.failed(); }
    int readNow(std::uint8_t* buffer, std::uint32_t max, std::uint32_t& got) override;

    bool isOpen() const { return open_.load(); }

  private:
    // One piece of work for the line's thread. Fields after kind are guarded by mutex_.
    struct Job {
        enum class Kind { Send, ShutDown, Close } kind = Kind::Send;
        std::vector<std::uint8_t> bytes;
        enum class Phase { Queued, Opening, Sending, Done } phase = Phase::Queued;
        bool givenUp = false; // the caller stopped waiting
        int status = si::Success;
        QString why;
    };
    // Hands job to the line's thread (with mutex_ held by lock) and waits up to wait for it; false
    // when it has not ended, and the job is marked given up.
    bool run(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Job>& job, std::chrono::milliseconds wait);
    void lineThread();
    void perform(Job& job);
    void setPhase(Job& job, Job::Phase phase);
    bool givenUp(Job& job);
    // The line's thread only.
    bool ensureOpen(QString& why);
    void shutDown();
    int take(std::uint8_t* buffer, std::uint32_t max, std::uint32_t& got, std::chrono::milliseconds wait);
    void readerLoop(ByteLink* link);
    // What a command that could not wait for the line's thread is told.
    QString stillBusyText(Job::Phase phase) const;

    std::unique_ptr<LinkOpener> opener_;
    StreamOptions options_;
    ReceiveBuffer buffer_;
    // Owned by the line's thread.
    std::unique_ptr<ByteLink> link_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> open_{false};

    std::mutex mutex_;
    std::condition_variable wake_;  // the line's thread: a job or the end
    std::condition_variable ended_; // callers: a job has ended
    std::deque<std::shared_ptr<Job>> jobs_; // the first is under way
    bool quit_ = false;
    // Why an open that its command stopped waiting for failed; told to the next command.
    QString lateOpenFailure_;
    // The last command did not go out (refused or given up): the board takes no command.
    bool sendRefused_ = false;
    std::thread line_;
    // The caller's thread only.
    QString lastError_;
};

} // namespace acq
