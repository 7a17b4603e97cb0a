#include "tools/axdtool/source.h"

#include <QBuffer>

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/fileaccess.h"
#include "platform/memory.h"
#include "tools/axdtool/command.h"

#include <algorithm>
#include <new>

namespace axdtool {

std::optional<QString> Source::open(const QString& path)
{
    path_ = path;
    const QString name = displayName(path);
    // "Cannot open file" names the file itself; the other messages get the name in front.
    auto failure = [&name, this] {
        const QString message = read_.message(name);
        return read_.status == files::AxdStatus::CannotOpen ? message : name + QStringLiteral(": ") + message;
    };
    if (path == kStdStream) {
        input_ = readStandardInput();
        QBuffer buffer(&input_);
        buffer.open(QIODevice::ReadOnly);
        read_ = files::readAxd(buffer, files::DataBlock::Skip);
        if (!read_.ok())
            return failure();
        data_ = reinterpret_cast<const std::uint8_t*>(input_.constData()) + read_.contents.dataOffset;
        return std::nullopt;
    }
    read_ = files::readAxdFile(path, files::DataBlock::Skip);
    if (!read_.ok())
        return failure();
    const std::uint32_t length = read_.contents.header.dataLength;
    if (length == 0)
        return std::nullopt;
    // Opened as the read was: a regular file only, never waiting on what was put in its place.
    file_ = std::make_unique<QFile>();
    uchar* map = nullptr;
    int error = 0;
    const int fd = platform::openRegularFile(path, O_RDONLY, true, false, error);
    if (fd >= 0 && file_->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        map = file_->map(read_.contents.dataOffset, length);
    else if (fd >= 0)
        ::close(fd);
    if (!map) {
        read_.status = files::AxdStatus::CannotOpen;
        read_.reason = platform::fileErrorText(error ? error : EIO);
        return failure();
    }
    data_ = map;
    return std::nullopt;
}

display::ChartInput Source::chartInput() const
{
    display::ChartInput in;
    in.bytes = data_;
    in.size = data_ ? read_.contents.header.dataLength : 0;
    in.samplePeriodUs = read_.contents.header.samplePeriodUs;
    in.axisK = read_.contents.axisK;
    in.axisC = read_.contents.axisC;
    return in;
}

std::optional<QString> Source::decode(const display::ChartOptions& options, const std::array<bool, 4>& wanted,
                                      std::array<std::vector<double>, 4>& out)
{
    const display::ChartInput in = chartInput();
    display::SignalPass pass(in, options);
    const std::int64_t points = pass.points();
    constexpr std::int64_t kBlock = 1 << 16;
    const std::uint64_t needed =
        std::uint64_t(points) * sizeof(double) * std::uint64_t(std::count(wanted.begin(), wanted.end(), true));
    const auto available = platform::availableMemoryBytes();
    const QString name = displayName(path_);
    if (available && needed > *available)
        return name + QStringLiteral(": ") + files::axdStatusMessage(files::AxdStatus::OutOfMemory, name, needed);
    std::array<std::vector<double>, 4> scratch;
    try {
        for (std::size_t s = 0; s < 4; ++s) {
            if (wanted[s])
                out[s].resize(std::size_t(points));
            else
                scratch[s].resize(std::size_t(std::min(points, kBlock)));
        }
    } catch (const std::bad_alloc&) {
        return name + QStringLiteral(": ") + files::axdStatusMessage(files::AxdStatus::OutOfMemory, name, needed);
    }
    const std::int64_t frameBytes = 2 * std::int64_t(options.channels.count());
    const long page = ::sysconf(_SC_PAGESIZE);
    const auto base = reinterpret_cast<std::uintptr_t>(in.bytes);
    std::uintptr_t released = base - base % std::uintptr_t(page);
    for (std::int64_t done = 0; done < points; done += kBlock) {
        const std::int64_t count = std::min(kBlock, points - done);
        auto at = [&](std::size_t s) { return wanted[s] ? out[s].data() + done : scratch[s].data(); };
        pass.next(count, {at(0), at(1), at(2)}, at(3));
        // Point k is frame k + 1: the frames up to the next point's are behind. A mapped file's
        // pages read again from the file if ever needed; standard input's bytes are not mapped.
        if (file_) {
            const std::uintptr_t end = base + std::uintptr_t((done + count + 1) * frameBytes);
            const std::uintptr_t upto = end - end % std::uintptr_t(page);
            if (upto > released) {
                ::madvise(reinterpret_cast<void*>(released), upto - released, MADV_DONTNEED);
                released = upto;
            }
        }
    }
    return std::nullopt;
}

analysis::PointReader Source::reader(const display::ChartOptions& options, int series) const
{
    // The reads share a stretch of decoded values: averaged segments overlap, and the trend's
    // look back a step, so most reads are served from what the last decoding left. For a mapped
    // file the pages behind the decoding go back as it moves on (they read again from the file if
    // asked for later): an analysis reads its series in one or more passes, each mostly in order.
    // `kept` is the first page a decoding may have brought in since the last release.
    static constexpr qint64 kCache = 1 << 18;
    struct State {
        std::array<std::unique_ptr<double[]>, 4> lanes;
        qint64 first = 0;
        qint64 count = 0;
        std::uintptr_t kept = 0;
        std::uintptr_t pageSize = 0;
    };
    auto state = std::make_shared<State>();
    for (auto& lane : state->lanes)
        lane.reset(new double[kCache]);
    const display::ChartInput in = chartInput();
    const auto base = reinterpret_cast<std::uintptr_t>(in.bytes);
    if (file_ && in.bytes) {
        state->pageSize = std::uintptr_t(::sysconf(_SC_PAGESIZE));
        state->kept = base - base % state->pageSize;
    }
    const std::int64_t frameBytes = 2 * std::int64_t(options.channels.count());
    const display::SignalPass pass(in, options);
    auto decode = [pass, state, base, frameBytes, series](qint64 first) {
        State& st = *state;
        if (st.pageSize) {
            const std::uintptr_t at = base + std::uintptr_t((first + 1) * frameBytes); // point k is frame k + 1
            const std::uintptr_t upto = at - at % st.pageSize;
            if (upto > st.kept)
                ::madvise(reinterpret_cast<void*>(st.kept), upto - st.kept, MADV_DONTNEED);
            st.kept = upto; // also when a new pass starts further back
        }
        display::SignalPass p = pass.startingAt(first);
        st.first = first;
        st.count = std::min(kCache, p.points() - first);
        if (series < 3)
            p.nextAxis(st.count, series, st.lanes[std::size_t(series)].get());
        else
            p.next(st.count, {st.lanes[0].get(), st.lanes[1].get(), st.lanes[2].get()}, st.lanes[3].get());
    };
    return [state, series, decode](qint64 first, qint64 n, int step, double* out) {
        State& st = *state;
        qint64 taken = 0;
        while (taken < n) {
            const qint64 at = first + taken * step;
            if (at < st.first || at >= st.first + st.count)
                decode(at);
            const double* lane = st.lanes[std::size_t(series)].get() - st.first;
            for (qint64 i = at; taken < n && i < st.first + st.count; i += step)
                out[taken++] = lane[i];
        }
    };
}

} // namespace axdtool
