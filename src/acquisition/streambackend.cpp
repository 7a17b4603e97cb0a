#include "acquisition/streambackend.h"

#include <algorithm>
#include <utility>

namespace acq {

ByteLink::~ByteLink() = default;
LinkOpener::~LinkOpener() = default;

StreamBackend::StreamBackend(std::unique_ptr<LinkOpener> opener, StreamOptions options)
    : opener_(std::move(opener)), options_(options), buffer_(options.bufferLimit)
{
    line_ = std::thread([this] { lineThread(); });
}

StreamBackend::~StreamBackend()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    // A send still under way ends within sendTimeout, an open within its probe wait; the link is
    // closed after them.
    line_.join();
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

void StreamBackend::lineThread()
{
    for (;;) {
        std::shared_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return quit_ || !jobs_.empty(); });
            if (jobs_.empty())
                break;
            job = jobs_.front();
        }
        // A backend failing inside (a port that vanishes and throws) reports a status, as the
        // library's calls do; it must not end the program from this thread.
        try {
            perform(*job);
        } catch (...) {
            job->status = job->kind == Job::Kind::Send ? si::WriteError : si::Success;
            shutDown();
        }
        {
            std::lock_guard lock(mutex_);
            job->phase = Job::Phase::Done;
            jobs_.pop_front();
        }
        ended_.notify_all();
    }
    shutDown();
}

void StreamBackend::setPhase(Job& job, Job::Phase phase)
{
    std::lock_guard lock(mutex_);
    job.phase = phase;
}

bool StreamBackend::givenUp(Job& job)
{
    std::lock_guard lock(mutex_);
    return job.givenUp;
}

void StreamBackend::perform(Job& job)
{
    if (job.kind != Job::Kind::Send) {
        shutDown();
        if (job.kind == Job::Kind::Close)
            buffer_.reset();
        return;
    }
    // A link the reader found dead is replaced before anything is sent: the board may be back.
    if (link_ && buffer_.failed())
        shutDown();
    if (!link_) {
        setPhase(job, Job::Phase::Opening);
        if (!ensureOpen(job.why)) {
            job.status = si::DeviceNotFound;
            std::lock_guard lock(mutex_);
            if (job.givenUp)
                lateOpenFailure_ = job.why;
            return;
        }
        // The caller was told that its command did not go: sent now, it would reach the board at a
        // moment nobody expects. The line stays open for the next command.
        if (givenUp(job)) {
            job.status = si::DeviceNotFound;
            return;
        }
    }
    setPhase(job, Job::Phase::Sending);
    // Whatever came before this command and was not read belongs to no reply the program will
    // read after it: a stream still arriving when a new run is started would otherwise be taken
    // for the register read-backs. On a quiet line this costs nothing.
    buffer_.discard(options_.settleQuiet, options_.settleLimit);
    QString why;
    const bool sent = link_->send(job.bytes.data(), job.bytes.size(), options_.sendTimeout, why) == ByteLink::Io::Ok;
    {
        std::lock_guard lock(mutex_);
        sendRefused_ = !sent;
    }
    if (!sent) {
        job.why = why;
        job.status = si::WriteError;
        shutDown();
        return;
    }
    job.status = si::Success;
}

bool StreamBackend::ensureOpen(QString& why)
{
    auto link = opener_->open(why);
    if (!link)
        return false;
    // Bytes of an earlier link belong to commands nobody waits for any more.
    buffer_.reset();
    stop_ = false;
    link_ = std::move(link);
    reader_ = std::thread([this, l = link_.get()] { readerLoop(l); });
    open_ = true;
    return true;
}

void StreamBackend::shutDown()
{
    open_ = false;
    if (!link_)
        return;
    stop_ = true;
    link_->interrupt();
    if (reader_.joinable())
        reader_.join();
    link_.reset();
}

bool StreamBackend::run(std::unique_lock<std::mutex>& lock, const std::shared_ptr<Job>& job,
                        std::chrono::milliseconds wait)
{
    jobs_.push_back(job);
    wake_.notify_all();
    if (ended_.wait_for(lock, wait, [&] { return job->phase == Job::Phase::Done; }))
        return true;
    job->givenUp = true;
    return false;
}

QString StreamBackend::stillBusyText(Job::Phase phase) const
{
    if (phase == Job::Phase::Sending)
        return QStringLiteral("Плата не принимает команды (%1): передача не завершилась за %2 мс. "
                              "Проверьте подключение и питание платы.")
            .arg(opener_->description())
            .arg(options_.callWait.count());
    // The line is opened anew after a command the board did not take: a board that takes none does
    // not answer the opening check either, and waiting a second will not change that.
    if (sendRefused_)
        return QStringLiteral("Плата не принимает команды (%1): после команды, которую она не приняла, порт "
                              "открывается заново, и проверка платы не завершилась за %2 мс. "
                              "Проверьте подключение и питание платы.")
            .arg(opener_->description())
            .arg(std::max(options_.openWait, options_.callWait).count());
    return QStringLiteral("Плата ещё не ответила (%1): идёт поиск или проверка порта, повторите через секунду.")
        .arg(opener_->description());
}

int StreamBackend::write(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written)
{
    written = 0;
    auto job = std::make_shared<Job>();
    if (count > 0)
        job->bytes.assign(bytes, bytes + count);
    std::unique_lock lock(mutex_);
    const bool mustOpen = !open_ || buffer_.failed();
    const auto deadline = std::chrono::steady_clock::now() +
                          (mustOpen ? std::max(options_.openWait, options_.callWait) : options_.callWait);
    // An earlier command still going out, or the line still opening, is waited for within the same
    // time; after that this one is not queued behind it, where it would reach the board at a moment
    // nobody expects.
    if (!ended_.wait_until(lock, deadline, [&] { return jobs_.empty(); })) {
        const Job::Phase phase = jobs_.front()->phase;
        lastError_ = stillBusyText(phase);
        return phase == Job::Phase::Sending ? si::WriteError : si::DeviceNotFound;
    }
    // An open this call's predecessor gave up on has failed since: that is the news, not a new open.
    if (!lateOpenFailure_.isEmpty()) {
        lastError_ = std::exchange(lateOpenFailure_, {});
        return si::DeviceNotFound;
    }
    jobs_.push_back(job);
    wake_.notify_all();
    if (!ended_.wait_until(lock, deadline, [&] { return job->phase == Job::Phase::Done; })) {
        job->givenUp = true;
        if (job->phase == Job::Phase::Sending)
            sendRefused_ = true;
        lastError_ = stillBusyText(job->phase);
        return job->phase == Job::Phase::Sending ? si::WriteError : si::DeviceNotFound;
    }
    lastError_ = job->why;
    if (job->status == si::Success)
        written = count;
    return job->status;
}

int StreamBackend::read(std::uint8_t* buffer, std::uint32_t max, std::uint32_t& got)
{
    return take(buffer, max, got, std::min(options_.firstByteWait, options_.callWait));
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
    if (!open_) {
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
        // Everything that arrived before the line went has been handed over; now say it is gone,
        // and let the line's thread release it (unless it is busy: the next command does it).
        lastError_ = QString::fromStdString(t.why);
        auto job = std::make_shared<Job>();
        job->kind = Job::Kind::ShutDown;
        std::unique_lock lock(mutex_);
        if (jobs_.empty())
            run(lock, job, options_.callWait);
        return si::ReadError;
    }
    return si::Success;
}

int StreamBackend::close()
{
    // Queued behind a command still going out, if there is one; the caller does not wait for it.
    auto job = std::make_shared<Job>();
    job->kind = Job::Kind::Close;
    std::unique_lock lock(mutex_);
    run(lock, job, options_.callWait);
    return si::Success;
}

} // namespace acq
