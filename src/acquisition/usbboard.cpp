#include "acquisition/usbboard.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <atomic>

namespace acq {

UsbTransport::~UsbTransport() = default;

QString usbIdText(std::uint16_t vendorId, std::uint16_t productId)
{
    return QStringLiteral("%1:%2")
        .arg(vendorId, 4, 16, QLatin1Char('0'))
        .arg(productId, 4, 16, QLatin1Char('0'));
}

std::optional<std::vector<UsbControlRequest>> parseControlRequests(const QString& text)
{
    std::vector<UsbControlRequest> requests;
    for (const QString& item : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList parts =
            item.simplified().split(QRegularExpression(QStringLiteral("[ ,]+")), Qt::SkipEmptyParts);
        if (parts.isEmpty())
            continue;
        if (parts.size() != 4)
            return std::nullopt;
        unsigned v[4];
        const unsigned limits[4] = {0xFF, 0xFF, 0xFFFF, 0xFFFF};
        for (int i = 0; i < 4; ++i) {
            bool ok = false;
            v[i] = parts[i].toUInt(&ok, 0);
            if (!ok || v[i] > limits[i])
                return std::nullopt;
        }
        requests.push_back(
            {std::uint8_t(v[0]), std::uint8_t(v[1]), std::uint16_t(v[2]), std::uint16_t(v[3])});
    }
    return requests;
}

std::optional<UsbEndpoints> chooseEndpoints(const std::vector<UsbInterfaceInfo>& interfaces,
                                            const UsbSettings& settings, QString& why)
{
    for (const UsbInterfaceInfo& itf : interfaces) {
        if (settings.interfaceNumber >= 0 && itf.number != settings.interfaceNumber)
            continue;
        std::optional<std::uint8_t> in, out;
        int inPacket = 0;
        for (const UsbEndpointInfo& ep : itf.endpoints) {
            const bool isIn = ep.address & 0x80;
            // A configured endpoint is taken as it stands; the device knows what it is.
            if (isIn && !in && (settings.endpointIn >= 0 ? ep.address == settings.endpointIn : ep.bulk)) {
                in = ep.address;
                inPacket = ep.maxPacketSize;
            }
            if (!isIn && !out && (settings.endpointOut >= 0 ? ep.address == settings.endpointOut : ep.bulk))
                out = ep.address;
        }
        if (in && out)
            return UsbEndpoints{itf.number, *in, *out, inPacket};
        if (settings.interfaceNumber >= 0)
            break;
    }
    why = settings.interfaceNumber >= 0
              ? QStringLiteral("У интерфейса %1 USB-устройства %2 нет нужной пары конечных точек "
                               "(EndpointIn, EndpointOut).")
                    .arg(settings.interfaceNumber)
                    .arg(usbIdText(settings.vendorId, settings.productId))
              : QStringLiteral("У USB-устройства %1 нет интерфейса с парой конечных точек bulk IN и OUT.")
                    .arg(usbIdText(settings.vendorId, settings.productId));
    return std::nullopt;
}

struct UsbOpener::Device {
    std::unique_ptr<UsbTransport> transport;
    UsbEndpoints ep;
    // Set by the link that saw the device go; the next open starts afresh.
    std::atomic<bool> lost{false};
};

namespace {

class UsbLink : public ByteLink {
  public:
    UsbLink(std::shared_ptr<UsbOpener::Device> d, QString name, int headerBytes)
        : d_(std::move(d)), name_(std::move(name)), header_(std::size_t(std::max(0, headerBytes)))
    {
    }

    Io receive(std::uint8_t* buffer, std::size_t max, std::size_t& got, std::chrono::milliseconds timeout,
               QString& why) override
    {
        got = 0;
        if (!pending_.empty()) {
            got = std::min(max, pending_.size());
            std::copy_n(pending_.begin(), got, buffer);
            pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(got));
            return Io::Ok;
        }
        const unsigned ms = unsigned(std::clamp<long long>(timeout.count(), 1, UsbOpener::kInTransferMs));
        const std::size_t cap = std::min<std::size_t>(max, 1 << 20);
        if (header_ == 0) {
            int n = 0;
            const auto s = d_->transport->bulkIn(d_->ep.in, buffer, int(cap), n, ms);
            got = std::size_t(std::max(0, n));
            return outcome(s, why);
        }
        // Whole packets only, so that every packet of the transfer starts where its header is.
        const std::size_t packet = std::size_t(d_->ep.inMaxPacket);
        raw_.resize(std::max<std::size_t>(1, cap / packet) * packet);
        int n = 0;
        const auto s = d_->transport->bulkIn(d_->ep.in, raw_.data(), int(raw_.size()), n, ms);
        const std::size_t total = std::size_t(std::max(0, n));
        // A packet of the header alone (an idle bridge sends them every few milliseconds) adds nothing.
        for (std::size_t at = 0; at < total; at += packet) {
            const std::size_t end = std::min(total, at + packet);
            for (std::size_t i = at + header_; i < end; ++i) {
                if (got < max)
                    buffer[got++] = raw_[i];
                else
                    pending_.push_back(raw_[i]);
            }
        }
        return outcome(s, why);
    }

    Io send(const std::uint8_t* bytes, std::size_t count, std::chrono::milliseconds timeout,
            QString& why) override
    {
        QElapsedTimer clock;
        clock.start();
        std::size_t done = 0;
        // A transfer may move only part of the bytes; the rest follows until the time is up.
        while (done < count) {
            const qint64 left = timeout.count() - clock.elapsed();
            if (left <= 0) {
                why = QStringLiteral("USB-устройство %1 не принимает данные.").arg(name_);
                return Io::TimedOut;
            }
            int n = 0;
            const auto s = d_->transport->bulkOut(d_->ep.out, bytes + done, int(count - done), n, unsigned(left));
            done += std::size_t(std::max(0, n));
            if (s != UsbTransport::Status::Ok && s != UsbTransport::Status::TimedOut)
                return lost(s, why);
        }
        return Io::Ok;
    }

  private:
    Io outcome(UsbTransport::Status s, QString& why)
    {
        switch (s) {
        case UsbTransport::Status::Ok:
            return Io::Ok;
        case UsbTransport::Status::TimedOut:
            return Io::TimedOut;
        default:
            return lost(s, why);
        }
    }

    Io lost(UsbTransport::Status s, QString& why)
    {
        d_->lost = true;
        switch (s) {
        case UsbTransport::Status::NoDevice:
            why = QStringLiteral("USB-устройство %1 отключено: плата отсоединена или выключена.").arg(name_);
            break;
        case UsbTransport::Status::Overflow:
            why = QStringLiteral("USB-устройство %1 передало больше, чем вмещал приём: часть данных потеряна.")
                      .arg(name_);
            break;
        default:
            why = QStringLiteral("Ошибка обмена с USB-устройством %1.").arg(name_);
        }
        return Io::Lost;
    }

    std::shared_ptr<UsbOpener::Device> d_;
    QString name_;
    std::size_t header_;
    std::vector<std::uint8_t> raw_;
    std::vector<std::uint8_t> pending_; // data of a packet beyond what the last receive could take
};

} // namespace

UsbOpener::~UsbOpener() = default;

std::unique_ptr<ByteLink> UsbOpener::open(QString& why)
{
    const QString name = usbIdText(settings_.vendorId, settings_.productId);
    if (device_ && !device_->lost)
        return std::make_unique<UsbLink>(device_, name, settings_.packetHeaderBytes);
    device_.reset();
    if (settings_.vendorId == 0 && settings_.productId == 0) {
        why = QStringLiteral("Не указаны VendorId и ProductId USB-устройства платы "
                             "(device.ini или ACCEL3_DEVICE=usb:VVVV:PPPP).");
        return nullptr;
    }
    auto transport = factory_();
    if (!transport || transport->open(settings_, why) != UsbTransport::Status::Ok)
        return nullptr;
    const auto ep = chooseEndpoints(transport->interfaces(), settings_, why);
    if (!ep)
        return nullptr;
    if (settings_.packetHeaderBytes > 0 && ep->inMaxPacket <= settings_.packetHeaderBytes) {
        why = QStringLiteral("Пакеты USB-устройства %1 (%2 байт) не длиннее заголовка PacketHeader=%3.")
                  .arg(name)
                  .arg(ep->inMaxPacket)
                  .arg(settings_.packetHeaderBytes);
        return nullptr;
    }
    if (transport->claim(ep->interfaceNumber, why) != UsbTransport::Status::Ok)
        return nullptr;
    for (const UsbControlRequest& r : settings_.openRequests) {
        if (transport->control(r, 1000) != UsbTransport::Status::Ok) {
            why = QStringLiteral("USB-устройство %1 не приняло управляющий запрос %2 (OpenRequests).")
                      .arg(name)
                      .arg(r.request, 2, 16, QLatin1Char('0'));
            return nullptr;
        }
    }
    device_ = std::make_shared<Device>();
    device_->transport = std::move(transport);
    device_->ep = *ep;
    return std::make_unique<UsbLink>(device_, name, settings_.packetHeaderBytes);
}

QString UsbOpener::description() const
{
    QString d = QStringLiteral("USB-устройство %1").arg(usbIdText(settings_.vendorId, settings_.productId));
    if (!settings_.serialNumber.isEmpty())
        d += QStringLiteral(", серийный номер %1").arg(settings_.serialNumber);
    return d;
}

} // namespace acq
