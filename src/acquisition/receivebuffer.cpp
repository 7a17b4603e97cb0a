#include "acquisition/receivebuffer.h"

#include <algorithm>

namespace acq {

void ReceiveBuffer::push(const std::uint8_t* bytes, std::size_t count)
{
    if (count == 0)
        return;
    {
        std::lock_guard lock(mutex_);
        const std::size_t room = limit_ > bytes_.size() ? limit_ - bytes_.size() : 0;
        const std::size_t kept = std::min(room, count);
        bytes_.insert(bytes_.end(), bytes, bytes + kept);
        lastArrival_ = std::chrono::steady_clock::now();
        if (kept < count)
            overflowed_ = true;
    }
    arrived_.notify_all();
}

void ReceiveBuffer::fail(std::string why)
{
    {
        std::lock_guard lock(mutex_);
        failed_ = true;
        why_ = std::move(why);
    }
    arrived_.notify_all();
}

std::size_t ReceiveBuffer::copyOut(std::uint8_t* out, std::size_t max)
{
    const std::size_t n = std::min(max, bytes_.size());
    std::copy_n(bytes_.begin(), n, out);
    bytes_.erase(bytes_.begin(), bytes_.begin() + std::ptrdiff_t(n));
    return n;
}

ReceiveBuffer::Taken ReceiveBuffer::take(std::uint8_t* out, std::size_t max,
                                         std::chrono::milliseconds firstByteWait,
                                         std::chrono::milliseconds quietGap)
{
    Taken t;
    std::unique_lock lock(mutex_);
    if (max > 0) {
        const bool wasEmpty = bytes_.empty();
        if (wasEmpty && !failed_)
            arrived_.wait_for(lock, firstByteWait, [&] { return !bytes_.empty() || failed_; });
        t.count = copyOut(out, max);
        // A reply that started arriving during the wait may still be on its way.
        if (wasEmpty && t.count > 0 && quietGap.count() > 0) {
            const auto deadline = std::chrono::steady_clock::now() + firstByteWait;
            while (t.count < max && !failed_ && std::chrono::steady_clock::now() < deadline) {
                if (!arrived_.wait_for(lock, quietGap, [&] { return !bytes_.empty() || failed_; }))
                    break;
                t.count += copyOut(out + t.count, max - t.count);
            }
        }
    }
    t.overflowed = overflowed_;
    overflowed_ = false;
    t.failed = failed_ && bytes_.empty();
    t.why = why_;
    return t;
}

void ReceiveBuffer::reset()
{
    std::lock_guard lock(mutex_);
    bytes_.clear();
    overflowed_ = false;
    failed_ = false;
    why_.clear();
}

void ReceiveBuffer::discard(std::chrono::milliseconds quiet, std::chrono::milliseconds limit)
{
    std::unique_lock lock(mutex_);
    // Nothing left unread: the last reply was taken whole, and the line is the command's.
    if (bytes_.empty())
        return;
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        bytes_.clear();
        const auto now = std::chrono::steady_clock::now();
        const auto quietUntil = lastArrival_ + quiet;
        if (failed_ || quietUntil <= now || until <= now)
            return;
        arrived_.wait_until(lock, std::min(quietUntil, until));
    }
}

bool ReceiveBuffer::failed() const
{
    std::lock_guard lock(mutex_);
    return failed_;
}

std::size_t ReceiveBuffer::size() const
{
    std::lock_guard lock(mutex_);
    return bytes_.size();
}

} // namespace acq
