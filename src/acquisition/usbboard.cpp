#include "acquisition/usbboard.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QStringList>

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
        for (const UsbEndpointInfo& ep : itf.endpoints) {
            const bool isIn = ep.address & 0x80;
            // A configured endpoint is taken as it stands; the device knows what it is.
            if (isIn && !in && (settings.endpointIn >= 0 ? ep.address == settings.endpointIn : ep.bulk))
                in = ep.address;
            if (!isIn && !out && (settings.endpointOut >= 0 ? ep.address == settings.endpointOut : ep.bulk))
                out = ep.address;
        }
        if (in && out)
            return UsbEndpoints{itf.number, *in, *out};
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

namespace {

class UsbLink : public ByteLink {
  public:
    UsbLink(std::unique_ptr<UsbTransport> t, UsbEndpoints ep, QString name)
        : transport_(std::move(t)), ep_(ep), name_(std::move(name))
    {
    }

    Io receive(std::uint8_t* buffer, std::size_t max, std::size_t& got, std::chrono::milliseconds timeout,
               QString& why) override
    {
        int n = 0;
        const unsigned ms = unsigned(std::clamp<long long>(timeout.count(), 1, UsbOpener::kInTransferMs));
        const auto s = transport_->bulkIn(ep_.in, buffer, int(std::min<std::size_t>(max, 1 << 20)), n, ms);
        got = std::size_t(std::max(0, n));
        switch (s) {
        case UsbTransport::Status::Ok:
            return Io::Ok;
        case UsbTransport::Status::TimedOut:
            return Io::TimedOut;
        default:
            return lost(s, why);
        }
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
            const auto s = transport_->bulkOut(ep_.out, bytes + done, int(count - done), n, unsigned(left));
            done += std::size_t(std::max(0, n));
            if (s == UsbTransport::Status::NoDevice || s == UsbTransport::Status::Error)
                return lost(s, why);
        }
        return Io::Ok;
    }

  private:
    Io lost(UsbTransport::Status s, QString& why) const
    {
        why = s == UsbTransport::Status::NoDevice
                  ? QStringLiteral("USB-устройство %1 отключено: плата отсоединена или выключена.").arg(name_)
                  : QStringLiteral("Ошибка обмена с USB-устройством %1.").arg(name_);
        return Io::Lost;
    }

    std::unique_ptr<UsbTransport> transport_;
    UsbEndpoints ep_;
    QString name_;
};

} // namespace

std::unique_ptr<ByteLink> UsbOpener::open(QString& why)
{
    if (settings_.vendorId == 0 && settings_.productId == 0) {
        why = QStringLiteral("Не указаны VendorId и ProductId USB-устройства платы "
                             "(device.ini или ACCEL3_DEVICE=usb:VVVV:PPPP).");
        return nullptr;
    }
    auto transport = factory_();
    if (!transport || transport->open(settings_, why) != UsbTransport::Status::Ok)
        return nullptr;
    const auto ep = chooseEndpoints(transport->interfaces(), settings_, why);
    if (!ep || transport->claim(ep->interfaceNumber, why) != UsbTransport::Status::Ok)
        return nullptr;
    for (const UsbControlRequest& r : settings_.openRequests) {
        if (transport->control(r, 1000) != UsbTransport::Status::Ok) {
            why = QStringLiteral("USB-устройство %1 не приняло управляющий запрос %2 (OpenRequests).")
                      .arg(usbIdText(settings_.vendorId, settings_.productId))
                      .arg(r.request, 2, 16, QLatin1Char('0'));
            return nullptr;
        }
    }
    return std::make_unique<UsbLink>(std::move(transport), *ep,
                                     usbIdText(settings_.vendorId, settings_.productId));
}

QString UsbOpener::description() const
{
    QString d = QStringLiteral("USB-устройство %1").arg(usbIdText(settings_.vendorId, settings_.productId));
    if (!settings_.serialNumber.isEmpty())
        d += QStringLiteral(", серийный номер %1").arg(settings_.serialNumber);
    return d;
}

} // namespace acq
