#include "acquisition/streambackend.h"

#include <vector>

namespace acq {

ByteLink::~ByteLink() = default;
LinkOpener::~LinkOpener() = default;

StreamBackend::StreamBackend(std::unique_ptr<LinkOpener> opener, StreamOptions options)
    : opener_(std::move(opener)), options_(options), buffer_(options.bufferLimit)
{
}

StreamBackend::~StreamBackend()
{
    shutDown();
    // An open still under way ends within its probe wait; the link it brings is closed.
    if (opening_.valid())
        opening_.wait();
}

QString StreamBackend::description() const
{
    return opener_->description();
}

void StreamBackend::readerLoop(ByteLink* link)
{
    // Large enough for a burst of a fast board, small enough to hand bytes over promptly.
    std::vector<std::uint8_t> chunk(16384);
    QString why;
    while (!stop_.load(std::memory_order_relaxed)) {
        std::size_t got = 0;
        const ByteLink::Io io =
            link->receive(chunk.data(), chunk.size(), got, std::chrono::milliseconds(200), why);
        buffer_.push(chunk.data(), got);
        if (io == ByteLink::Io::Lost) {
            if (!stop_.load(std::memory_order_relaxed))
                buffer_.fail(why.toStdString());
            return;
        }
    }
}

bool StreamBackend::ensureOpen()
{
    if (link_)
        return true;
    // Never on the caller's thread: the caller is the window.
    if (!opening_.valid())
        opening_ = std::async(std::launch::async, [opener = opener_.get()] {
            Opened o;
            o.link = opener->open(o.why);
            return o;
        });
    if (opening_.wait_for(options_.openWait) != std::future_status::ready) {
        lastError_ = QStringLiteral("Плата ещё не ответила (%1): идёт поиск или проверка порта, "
                                    "повторите через секунду.")
                         .arg(opener_->description());
        return false;
    }
    Opened opened = opening_.get();
    auto link = std::move(opened.link);
    if (!link) {
        lastError_ = opened.why;
        return false;
    }
    lastError_.clear();
    // Bytes of an earlier link belong to commands nobody waits for any more.
    buffer_.reset();
    stop_ = false;
    link_ = std::move(link);
    reader_ = std::thread([this, l = link_.get()] { readerLoop(l); });
    return true;
}

void StreamBackend::shutDown()
{
    if (!link_)
        return;
    stop_ = true;
    link_->interrupt();
    if (reader_.joinable())
        reader_.join();
    link_.reset();
}

int StreamBackend::write(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written)
{
    written = 0;
    // A link the reader found dead is replaced before anything is sent: the board may be back.
    if (link_ && buffer_.failed())
        shutDown();
    if (!ensureOpen())
        return si::DeviceNotFound;
    // Whatever came before this command and was not read belongs to no reply the program will
    // read after it: a stream still arriving when a new run is started would otherwise be taken
    // for the register read-backs. On a quiet line this costs nothing.
    buffer_.discard(options_.settleQuiet, options_.settleLimit);
    QString why;
    if (link_->send(bytes, count, options_.sendTimeout, why) != ByteLink::Io::Ok) {
        lastError_ = why;
        shutDown();
        return si::WriteError;
    }
    written = count;
    return si::Success;
}

int StreamBackend::read(std::uint8_t* buffer, std::uint32_t max, std::uint32_t& got)
{
    return take(buffer, max, got, options_.firstByteWait);
}

int StreamBackend::readNow(std::uint8_t* buffer, std::uint32_t max, std::uint32_t& got)
{
    return take(buffer, max, got, std::chrono::milliseconds(0));
}

int StreamBackend::take(std::uint8_t* buffer, std::uint32_t max, std::uint32_t& got, std::chrono::milliseconds wait)
{
    got = 0;
    // Only a command opens the line: opening asks the board for its identity, which must not go
    // to a board recording on its own after a start to memory, whose polls read nothing.
    if (!link_) {
        lastError_ = QStringLiteral("связь с платой закрыта; её откроет следующая команда");
        return si::DeviceNotFound;
    }
    const ReceiveBuffer::Taken t = buffer_.take(buffer, max, wait, options_.replyGap);
    got = std::uint32_t(t.count);
    if (t.overflowed) {
        // Bytes were dropped: what follows no longer lines up with the frames before it.
        lastError_ = QStringLiteral("переполнен буфер приёма: программа не успевает забирать данные");
        return si::ReadError;
    }
    if (t.count == 0 && t.failed) {
        // Everything that arrived before the line went has been handed over; now say it is gone.
        lastError_ = QString::fromStdString(t.why);
        shutDown();
        return si::ReadError;
    }
    return si::Success;
}

int StreamBackend::close()
{
    shutDown();
    buffer_.reset();
    return si::Success;
}

} // namespace acq
