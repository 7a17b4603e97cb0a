#include "acquisition/boardsearch.h"

namespace acq {

QStringList knownBridgeIds()
{
    // The FTDI serial bridge the board ships with.
    return {QStringLiteral("0403:6001")};
}

namespace {

// The backend opens its link on a thread of its own and lets a command wait only briefly for it:
// the board found is opened here, off the window's thread, so that the first command finds it open.
std::unique_ptr<DeviceBackend> opened(std::unique_ptr<StreamBackend> backend)
{
    for (int attempt = 0; attempt < 20 && !backend->isOpen(); ++attempt) {
        std::uint8_t none = 0;
        std::uint32_t got = 0;
        backend->read(&none, 0, got);
    }
    return backend;
}

} // namespace

std::unique_ptr<DeviceBackend> findRealBoard(const SerialSettings& serial, const UsbSettings& usb,
                                             const StreamOptions& stream)
{
    SerialSettings s = serial;
    s.port.clear();
    if (s.usbIds.isEmpty())
        s.usbIds = knownBridgeIds();
    auto serialOpener = std::make_unique<AutoSerialOpener>(s);
    QString why;
    // The port that answered is kept by the opener and opened first when the backend needs it.
    if (serialOpener->open(why))
        return opened(std::make_unique<StreamBackend>(std::move(serialOpener), stream));
    if (usb.vendorId == 0 && usb.productId == 0)
        return nullptr;
    auto usbOpener = std::make_unique<UsbOpener>(usb);
    auto link = usbOpener->open(why);
    if (!link || !probeBoard(*link, s.probeWait))
        return nullptr;
    link.reset();
    return opened(std::make_unique<StreamBackend>(std::move(usbOpener), stream));
}

BoardSearch::BoardSearch(Search search, Fallback fallback)
    : search_(std::async(std::launch::async, std::move(search))), fallback_(std::move(fallback))
{
}

BoardSearch::~BoardSearch()
{
    // A search still running finishes first: it owns ports it may have open.
    if (search_.valid())
        search_.wait();
}

DeviceBackend* BoardSearch::board(std::chrono::milliseconds wait) const
{
    if (!board_) {
        if (search_.valid() && search_.wait_for(wait) != std::future_status::ready)
            return nullptr;
        try {
            if (search_.valid())
                board_ = search_.get();
        } catch (...) {
            board_.reset();
        }
        if (!board_)
            board_ = fallback_();
        if (!board_)
            board_ = std::make_unique<NoBoard>(QStringLiteral("плата не найдена"));
    }
    return board_.get();
}

bool BoardSearch::finished() const
{
    return board_ || !search_.valid() ||
           search_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

namespace {
const QString kSearching = QStringLiteral("Идёт поиск платы: повторите через секунду.");
}

int BoardSearch::write(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t& written)
{
    written = 0;
    DeviceBackend* b = board(kCallWait);
    return b ? b->write(bytes, count, written) : si::DeviceNotFound;
}

int BoardSearch::read(std::uint8_t* buffer, std::uint32_t max, std::uint32_t& got)
{
    got = 0;
    DeviceBackend* b = board(kCallWait);
    return b ? b->read(buffer, max, got) : si::DeviceNotFound;
}

int BoardSearch::close()
{
    // Nothing is open while the search runs.
    DeviceBackend* b = board(std::chrono::milliseconds(0));
    return b ? b->close() : si::Success;
}

QString BoardSearch::description() const
{
    const DeviceBackend* b = board(std::chrono::milliseconds(0));
    return b ? b->description() : QStringLiteral("поиск платы…");
}

QString BoardSearch::lastError() const
{
    const DeviceBackend* b = board(std::chrono::milliseconds(0));
    return b ? b->lastError() : kSearching;
}

bool BoardSearch::simulated() const
{
    const DeviceBackend* b = board(std::chrono::milliseconds(0));
    return b && b->simulated();
}

std::optional<DeviceBackend::LineTiming> BoardSearch::lineTiming() const
{
    const DeviceBackend* b = board(std::chrono::milliseconds(0));
    return b ? b->lineTiming() : std::nullopt;
}

std::size_t BoardSearch::pendingBytes() const
{
    const DeviceBackend* b = board(std::chrono::milliseconds(0));
    return b ? b->pendingBytes() : 0;
}

bool BoardSearch::lineLost() const
{
    const DeviceBackend* b = board(std::chrono::milliseconds(0));
    return b && b->lineLost();
}

int BoardSearch::readNow(std::uint8_t* buffer, std::uint32_t max, std::uint32_t& got)
{
    got = 0;
    DeviceBackend* b = board(std::chrono::milliseconds(0));
    return b ? b->readNow(buffer, max, got) : si::DeviceNotFound;
}

} // namespace acq
