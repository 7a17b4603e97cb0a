#pragma once

// What the serial-line and the USB backends have in common: a board reached through a byte link
// that may vanish at any moment (a cable pulled, an adapter re-plugged). The link is opened by
// the first command, on a thread of its own, a reader thread drains it into a bounded buffer for
// as long as it is open, and a command after the link was lost opens it anew, so a board plugged
// back in works again without restarting the program.
//
// The program sends a command, pauses a fixed 4 ms and reads once. A real line answers later
// than that now and then (USB adapters take 1-20 ms), so a read that finds nothing waits a short,
// configurable time for the first byte instead of reporting an empty reply.

#include "acquisition/devicelibrary.h"
#include "acquisition/receivebuffer.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <thread>

namespace acq {

// One opened connection to a board. send() runs on the GUI thread, receive() on the reader
// thread, at the same time; interrupt() may be called from the GUI thread to end a receive().
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
    // Called on the backend's opening thread, never twice at once; description() may be called
    // from the GUI thread meanwhile.
    virtual std::unique_ptr<ByteLink> open(QString& why) = 0;
    // Which board this is, for the operator ("последовательный порт /dev/ttyUSB0").
    virtual QString description() const = 0;
};

struct StreamOptions {
    std::chrono::milliseconds firstByteWait{50};
    // After the first byte of a reply, the rest must follow within this gap to belong to it.
    std::chrono::milliseconds replyGap{5};
    // Before a command, the tail of a stream still arriving is waited out (a line this long quiet),
    // at most settleLimit: its bytes are no reply to the command.
    std::chrono::milliseconds settleQuiet{10};
    std::chrono::milliseconds settleLimit{50};
    std::chrono::milliseconds sendTimeout{500};
    // Opening a link may take long (a search probes ports, a named port must answer the probe):
    // it runs on a thread of its own, and a call waits this long for it before failing.
    std::chrono::milliseconds openWait{150};
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

    bool isOpen() const { return link_ != nullptr; }

  private:
    struct Opened {
        std::unique_ptr<ByteLink> link;
        QString why;
    };
    bool ensureOpen();
    int take(std::uint8_t* buffer, std::uint32_t max, std::uint32_t& got, std::chrono::milliseconds wait);
    void shutDown();
    void readerLoop(ByteLink* link);

    std::unique_ptr<LinkOpener> opener_;
    StreamOptions options_;
    ReceiveBuffer buffer_;
    std::unique_ptr<ByteLink> link_;
    // An open under way, started by a call that could not wait for it to end; the next call
    // takes its result.
    std::future<Opened> opening_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    QString lastError_;
};

} // namespace acq
