// The USB transport over libusb-1.0: synchronous transfers, one context per opened device.

#include "acquisition/usblibusb.h"

#include <algorithm>
#include <optional>

namespace acq {

LibusbCalls::~LibusbCalls() = default;

namespace {

class SystemLibusb : public LibusbCalls {
  public:
    int init(libusb_context** c) override { return libusb_init(c); }
    void exit(libusb_context* c) override { libusb_exit(c); }
    ssize_t getDeviceList(libusb_context* c, libusb_device*** list) override
    {
        return libusb_get_device_list(c, list);
    }
    void freeDeviceList(libusb_device** list) override { libusb_free_device_list(list, 1); }
    int getDeviceDescriptor(libusb_device* d, libusb_device_descriptor* out) override
    {
        return libusb_get_device_descriptor(d, out);
    }
    int open(libusb_device* d, libusb_device_handle** h) override { return libusb_open(d, h); }
    void close(libusb_device_handle* h) override { libusb_close(h); }
    int getStringDescriptor(libusb_device_handle* h, std::uint8_t index, std::uint16_t langId,
                            unsigned char* data, int length) override
    {
        return libusb_get_string_descriptor(h, index, langId, data, length);
    }
    int getActiveConfigDescriptor(libusb_device_handle* h, libusb_config_descriptor** config) override
    {
        return libusb_get_active_config_descriptor(libusb_get_device(h), config);
    }
    void freeConfigDescriptor(libusb_config_descriptor* config) override { libusb_free_config_descriptor(config); }
    int setAutoDetachKernelDriver(libusb_device_handle* h, int enable) override
    {
        return libusb_set_auto_detach_kernel_driver(h, enable);
    }
    int claimInterface(libusb_device_handle* h, int n) override { return libusb_claim_interface(h, n); }
    int releaseInterface(libusb_device_handle* h, int n) override { return libusb_release_interface(h, n); }
    int controlTransfer(libusb_device_handle* h, std::uint8_t requestType, std::uint8_t request,
                        std::uint16_t value, std::uint16_t index, unsigned char* data, std::uint16_t length,
                        unsigned timeoutMs) override
    {
        return libusb_control_transfer(h, requestType, request, value, index, data, length, timeoutMs);
    }
    int bulkTransfer(libusb_device_handle* h, unsigned char endpoint, unsigned char* data, int length,
                     int* transferred, unsigned timeoutMs) override
    {
        return libusb_bulk_transfer(h, endpoint, data, length, transferred, timeoutMs);
    }
    int clearHalt(libusb_device_handle* h, unsigned char endpoint) override { return libusb_clear_halt(h, endpoint); }
};

// A string of the device as it gives it, UTF-16 in its first language: a serial number beyond
// ASCII must match the one the operator chose, not a "?" in its place.
std::optional<QString> usbString(LibusbCalls& usb, libusb_device_handle* h, std::uint8_t index)
{
    unsigned char d[256] = {};
    const int languages = usb.getStringDescriptor(h, 0, 0, d, sizeof d);
    if (languages < 4 || d[1] != LIBUSB_DT_STRING)
        return std::nullopt;
    const auto langId = std::uint16_t(d[2] | d[3] << 8);
    const int got = usb.getStringDescriptor(h, index, langId, d, sizeof d);
    if (got < 2 || d[1] != LIBUSB_DT_STRING)
        return std::nullopt;
    const int end = std::min(got, int(d[0]));
    QString text;
    for (int i = 2; i + 1 < end; i += 2)
        text += QChar(char16_t(d[i] | d[i + 1] << 8));
    return text;
}

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
    case LIBUSB_ERROR_OVERFLOW:
        return UsbTransport::Status::Overflow;
    default:
        return UsbTransport::Status::Error;
    }
}

QString errorText(int r)
{
    return QString::fromLatin1(libusb_strerror(r));
}

class LibusbTransport : public UsbTransport {
  public:
    explicit LibusbTransport(std::shared_ptr<LibusbCalls> calls) : usb_(std::move(calls)) {}

    // The one place the interface is let go and the device closed: the kernel driver the claim
    // detached comes back only now, never while the board may still be recording.
    ~LibusbTransport() override
    {
        if (handle_) {
            if (claimed_ >= 0)
                usb_->releaseInterface(handle_, claimed_);
            usb_->close(handle_);
        }
        if (context_)
            usb_->exit(context_);
    }

    Status open(const UsbSettings& s, QString& why) override
    {
        const QString id = usbIdText(s.vendorId, s.productId);
        if (usb_->init(&context_) != 0) {
            context_ = nullptr;
            why = QStringLiteral("Не удалось запустить libusb для USB-устройства %1.").arg(id);
            return Status::Error;
        }
        libusb_device** list = nullptr;
        const ssize_t n = usb_->getDeviceList(context_, &list);
        int lastError = LIBUSB_ERROR_NOT_FOUND;
        for (ssize_t i = 0; i < n && !handle_; ++i) {
            libusb_device_descriptor d{};
            if (usb_->getDeviceDescriptor(list[i], &d) != 0 || d.idVendor != s.vendorId ||
                d.idProduct != s.productId)
                continue;
            libusb_device_handle* h = nullptr;
            lastError = usb_->open(list[i], &h);
            if (lastError != 0)
                continue;
            if (!s.serialNumber.isEmpty()) {
                if (!d.iSerialNumber || usbString(*usb_, h, d.iSerialNumber) != s.serialNumber) {
                    usb_->close(h);
                    lastError = LIBUSB_ERROR_NOT_FOUND;
                    continue;
                }
            }
            handle_ = h;
        }
        if (list)
            usb_->freeDeviceList(list);
        if (handle_)
            return Status::Ok;
        const QString which =
            s.serialNumber.isEmpty() ? id : id + QStringLiteral(" (серийный номер %1)").arg(s.serialNumber);
        if (lastError == LIBUSB_ERROR_ACCESS)
            why = QStringLiteral(
                      "Нет доступа к USB-устройству %1: установите правило udev для него (кнопка «Плата…», "
                      "«Правило udev…»; описание платы, раздел о USB) и подключите плату заново.")
                      .arg(which);
        else if (lastError == LIBUSB_ERROR_NOT_FOUND)
            why = QStringLiteral("USB-устройство %1 не найдено: плата не подключена (проверьте lsusb).")
                      .arg(which);
        else
            why = QStringLiteral("Не удалось открыть USB-устройство %1: %2.").arg(which, errorText(lastError));
        return statusOf(lastError);
    }

    std::vector<UsbInterfaceInfo> interfaces() override
    {
        std::vector<UsbInterfaceInfo> result;
        libusb_config_descriptor* config = nullptr;
        if (usb_->getActiveConfigDescriptor(handle_, &config) != 0 || !config)
            return result;
        for (int i = 0; i < config->bNumInterfaces; ++i) {
            if (config->interface[i].num_altsetting < 1)
                continue;
            const libusb_interface_descriptor& alt = config->interface[i].altsetting[0];
            UsbInterfaceInfo info;
            info.number = alt.bInterfaceNumber;
            for (int e = 0; e < alt.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& ep = alt.endpoint[e];
                info.endpoints.push_back(
                    {ep.bEndpointAddress,
                     (ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_BULK,
                     // Bits 11-12 count extra transactions of high-bandwidth endpoints, not bytes.
                     int(ep.wMaxPacketSize & 0x7FF)});
            }
            result.push_back(info);
        }
        usb_->freeConfigDescriptor(config);
        return result;
    }

    Status claim(int interfaceNumber, QString& why) override
    {
        // A kernel driver bound to the interface (a serial driver, say) gives it up while we hold it.
        usb_->setAutoDetachKernelDriver(handle_, 1);
        const int r = usb_->claimInterface(handle_, interfaceNumber);
        if (r != 0) {
            why = r == LIBUSB_ERROR_BUSY
                      ? QStringLiteral("Интерфейс %1 USB-устройства занят другой программой.").arg(interfaceNumber)
                      : QStringLiteral("Не удалось занять интерфейс %1 USB-устройства: %2.")
                            .arg(interfaceNumber)
                            .arg(errorText(r));
            return statusOf(r);
        }
        claimed_ = interfaceNumber;
        return Status::Ok;
    }

    Status control(const UsbControlRequest& q, unsigned timeoutMs) override
    {
        const int r =
            usb_->controlTransfer(handle_, q.requestType, q.request, q.value, q.index, nullptr, 0, timeoutMs);
        return r < 0 ? statusOf(r) : Status::Ok;
    }

    Status bulkOut(std::uint8_t endpoint, const std::uint8_t* bytes, int count, int& transferred,
                   unsigned timeoutMs) override
    {
        return bulk(endpoint, const_cast<std::uint8_t*>(bytes), count, transferred, timeoutMs);
    }

    Status bulkIn(std::uint8_t endpoint, std::uint8_t* buffer, int max, int& transferred,
                  unsigned timeoutMs) override
    {
        return bulk(endpoint, buffer, max, transferred, timeoutMs);
    }

  private:
    // A stalled endpoint stays stalled until the host clears it: without the clear every later
    // transfer would fail until the board is plugged in again. One retry after the clear; a
    // second stall is a real failure.
    Status bulk(std::uint8_t endpoint, std::uint8_t* data, int length, int& transferred, unsigned timeoutMs)
    {
        transferred = 0;
        int n = 0;
        int r = usb_->bulkTransfer(handle_, endpoint, data, length, &n, timeoutMs);
        transferred = std::max(0, n);
        if (r == LIBUSB_ERROR_PIPE) {
            const int cleared = usb_->clearHalt(handle_, endpoint);
            if (cleared != 0)
                return statusOf(cleared);
            n = 0;
            r = usb_->bulkTransfer(handle_, endpoint, data + transferred, length - transferred, &n, timeoutMs);
            transferred += std::max(0, n);
        }
        return statusOf(r);
    }

    std::shared_ptr<LibusbCalls> usb_;
    libusb_context* context_ = nullptr;
    libusb_device_handle* handle_ = nullptr;
    int claimed_ = -1;
};

} // namespace

std::shared_ptr<LibusbCalls> systemLibusb()
{
    return std::make_shared<SystemLibusb>();
}

std::unique_ptr<UsbTransport> makeLibusbTransport(std::shared_ptr<LibusbCalls> calls)
{
    return std::make_unique<LibusbTransport>(std::move(calls));
}

std::unique_ptr<UsbTransport> makeLibusbTransport()
{
    return makeLibusbTransport(systemLibusb());
}

} // namespace acq
