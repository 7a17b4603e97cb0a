// The USB transport over libusb-1.0: synchronous transfers, one context per opened device.

#include "acquisition/usbboard.h"

#include <libusb.h>

namespace acq {

namespace {

UsbTransport::Status statusOf(int r)
{
    switch (r) {
    case LIBUSB_SUCCESS:
        return UsbTransport::Status::Ok;
    case LIBUSB_ERROR_TIMEOUT:
        return UsbTransport::Status::TimedOut;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND:
        return UsbTransport::Status::NoDevice;
    default:
        return UsbTransport::Status::Error;
    }
}

class LibusbTransport : public UsbTransport {
  public:
    ~LibusbTransport() override
    {
        if (handle_) {
            if (claimed_ >= 0)
                libusb_release_interface(handle_, claimed_);
            libusb_close(handle_);
        }
        if (context_)
            libusb_exit(context_);
    }

    Status open(const UsbSettings& s, QString& why) override
    {
        const QString id = usbIdText(s.vendorId, s.productId);
        if (libusb_init(&context_) != 0) {
            context_ = nullptr;
            why = QStringLiteral("Не удалось запустить libusb для USB-устройства %1.").arg(id);
            return Status::Error;
        }
        libusb_device** list = nullptr;
        const ssize_t n = libusb_get_device_list(context_, &list);
        int lastError = LIBUSB_ERROR_NOT_FOUND;
        for (ssize_t i = 0; i < n && !handle_; ++i) {
            libusb_device_descriptor d{};
            if (libusb_get_device_descriptor(list[i], &d) != 0 || d.idVendor != s.vendorId ||
                d.idProduct != s.productId)
                continue;
            libusb_device_handle* h = nullptr;
            lastError = libusb_open(list[i], &h);
            if (lastError != 0)
                continue;
            if (!s.serialNumber.isEmpty()) {
                unsigned char serial[256] = {};
                const int len = d.iSerialNumber ? libusb_get_string_descriptor_ascii(h, d.iSerialNumber,
                                                                                     serial, sizeof serial)
                                                : -1;
                if (len < 0 || QString::fromLatin1(reinterpret_cast<char*>(serial), len) != s.serialNumber) {
                    libusb_close(h);
                    lastError = LIBUSB_ERROR_NOT_FOUND;
                    continue;
                }
            }
            handle_ = h;
        }
        if (list)
            libusb_free_device_list(list, 1);
        if (handle_)
            return Status::Ok;
        const QString which =
            s.serialNumber.isEmpty() ? id : id + QStringLiteral(" (серийный номер %1)").arg(s.serialNumber);
        if (lastError == LIBUSB_ERROR_ACCESS)
            why = QStringLiteral(
                      "Нет доступа к USB-устройству %1: установите правило udev для него (описание платы, "
                      "раздел о USB) и подключите плату заново.")
                      .arg(which);
        else if (lastError == LIBUSB_ERROR_NOT_FOUND)
            why = QStringLiteral("USB-устройство %1 не найдено: плата не подключена (проверьте lsusb).")
                      .arg(which);
        else
            why = QStringLiteral("Не удалось открыть USB-устройство %1: %2.")
                      .arg(which, QString::fromLatin1(libusb_strerror(lastError)));
        return statusOf(lastError);
    }

    std::vector<UsbInterfaceInfo> interfaces() override
    {
        std::vector<UsbInterfaceInfo> result;
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_active_config_descriptor(libusb_get_device(handle_), &config) != 0)
            return result;
        for (int i = 0; i < config->bNumInterfaces; ++i) {
            if (config->interface[i].num_altsetting < 1)
                continue;
            const libusb_interface_descriptor& alt = config->interface[i].altsetting[0];
            UsbInterfaceInfo info;
            info.number = alt.bInterfaceNumber;
            for (int e = 0; e < alt.bNumEndpoints; ++e)
                info.endpoints.push_back({alt.endpoint[e].bEndpointAddress,
                                          (alt.endpoint[e].bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) ==
                                              LIBUSB_TRANSFER_TYPE_BULK});
            result.push_back(info);
        }
        libusb_free_config_descriptor(config);
        return result;
    }

    Status claim(int interfaceNumber, QString& why) override
    {
        // A kernel driver bound to the interface (a serial driver, say) gives it up while we hold it.
        libusb_set_auto_detach_kernel_driver(handle_, 1);
        const int r = libusb_claim_interface(handle_, interfaceNumber);
        if (r != 0) {
            why = QStringLiteral("Интерфейс %1 USB-устройства занят: %2.")
                      .arg(interfaceNumber)
                      .arg(QString::fromLatin1(libusb_strerror(r)));
            return statusOf(r);
        }
        claimed_ = interfaceNumber;
        return Status::Ok;
    }

    Status control(const UsbControlRequest& q, unsigned timeoutMs) override
    {
        const int r = libusb_control_transfer(handle_, q.requestType, q.request, q.value, q.index, nullptr, 0,
                                              timeoutMs);
        return r < 0 ? statusOf(r) : Status::Ok;
    }

    Status bulkOut(std::uint8_t endpoint, const std::uint8_t* bytes, int count, int& transferred,
                   unsigned timeoutMs) override
    {
        transferred = 0;
        return statusOf(libusb_bulk_transfer(handle_, endpoint, const_cast<std::uint8_t*>(bytes), count,
                                             &transferred, timeoutMs));
    }

    Status bulkIn(std::uint8_t endpoint, std::uint8_t* buffer, int max, int& transferred,
                  unsigned timeoutMs) override
    {
        transferred = 0;
        return statusOf(libusb_bulk_transfer(handle_, endpoint, buffer, max, &transferred, timeoutMs));
    }

  private:
    libusb_context* context_ = nullptr;
    libusb_device_handle* handle_ = nullptr;
    int claimed_ = -1;
};

} // namespace

std::unique_ptr<UsbTransport> makeLibusbTransport()
{
    return std::make_unique<LibusbTransport>();
}

} // namespace acq
