#include "acquisition/devicelibrary.h"
#include "acquisition/usblibusb.h"

#include <QThread>
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <mutex>

using namespace acq;
using Status = UsbTransport::Status;

namespace {

// libusb as one device with one interface (bulk OUT 0x02, bulk IN 0x81 of 64-byte packets).
// Each result the test wants is queued; an IN endpoint with nothing queued times out.
class FakeLibusb : public LibusbCalls {
  public:
    struct Transfer {
        int result = LIBUSB_SUCCESS;
        QByteArray bytes; // IN: what arrives; OUT: how many bytes go (its size)
    };

    FakeLibusb()
    {
        endpoints_[0] = {};
        endpoints_[0].bEndpointAddress = 0x02;
        endpoints_[0].bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
        endpoints_[0].wMaxPacketSize = 64;
        endpoints_[1] = endpoints_[0];
        endpoints_[1].bEndpointAddress = 0x81;
        alt_.bInterfaceNumber = 0;
        alt_.bNumEndpoints = 2;
        alt_.endpoint = endpoints_;
        interface_.altsetting = &alt_;
        interface_.num_altsetting = 1;
        config_.bNumInterfaces = 1;
        config_.interface = &interface_;
    }

    std::mutex mutex;
    bool present = true;
    int openResult = LIBUSB_SUCCESS;
    int claimResult = LIBUSB_SUCCESS;
    int clearResult = LIBUSB_SUCCESS;
    std::deque<Transfer> in, out;
    int opens = 0, claims = 0, releases = 0, closes = 0, exits = 0;
    std::vector<unsigned char> cleared;

    int init(libusb_context** c) override
    {
        *c = reinterpret_cast<libusb_context*>(&config_);
        return 0;
    }
    void exit(libusb_context*) override { ++exits; }
    ssize_t getDeviceList(libusb_context*, libusb_device*** list) override
    {
        list_[0] = present ? device() : nullptr;
        list_[1] = nullptr;
        *list = list_;
        return present ? 1 : 0;
    }
    void freeDeviceList(libusb_device**) override {}
    int getDeviceDescriptor(libusb_device*, libusb_device_descriptor* d) override
    {
        *d = {};
        d->idVendor = 0x0403;
        d->idProduct = 0x6014;
        d->iSerialNumber = serial.isEmpty() ? 0 : 3;
        return 0;
    }
    int open(libusb_device*, libusb_device_handle** h) override
    {
        if (openResult != 0)
            return openResult;
        ++opens;
        *h = reinterpret_cast<libusb_device_handle*>(&alt_);
        return 0;
    }
    void close(libusb_device_handle*) override { ++closes; }
    // The serial number's descriptor, in the one language the device offers (US English).
    int getStringDescriptor(libusb_device_handle*, std::uint8_t index, std::uint16_t langId,
                            unsigned char* data, int length) override
    {
        QByteArray d = index == 0 ? QByteArray("\x04\x03\x09\x04", 4) : QByteArray("\x00\x03", 2);
        if (index != 0) {
            if (index != 3 || langId != 0x0409)
                return LIBUSB_ERROR_PIPE;
            for (const QChar c : serial)
                d += char(c.unicode() & 0xFF), d += char(c.unicode() >> 8);
            d[0] = char(d.size());
        }
        const int n = std::min(length, int(d.size()));
        std::memcpy(data, d.constData(), std::size_t(n));
        return n;
    }
    QString serial;
    int getActiveConfigDescriptor(libusb_device_handle*, libusb_config_descriptor** c) override
    {
        *c = &config_;
        return 0;
    }
    void freeConfigDescriptor(libusb_config_descriptor*) override {}
    int setAutoDetachKernelDriver(libusb_device_handle*, int) override { return 0; }
    int claimInterface(libusb_device_handle*, int) override
    {
        ++claims;
        return claimResult;
    }
    int releaseInterface(libusb_device_handle*, int) override
    {
        ++releases;
        return 0;
    }
    int controlTransfer(libusb_device_handle*, std::uint8_t, std::uint8_t, std::uint16_t, std::uint16_t,
                        unsigned char*, std::uint16_t, unsigned) override
    {
        return 0;
    }
    int bulkTransfer(libusb_device_handle*, unsigned char ep, unsigned char* data, int length, int* transferred,
                     unsigned timeoutMs) override
    {
        *transferred = 0;
        {
            std::lock_guard lock(mutex);
            if (!present)
                return LIBUSB_ERROR_NO_DEVICE;
            std::deque<Transfer>& queue = (ep & 0x80) ? in : out;
            if (!queue.empty()) {
                const Transfer t = queue.front();
                queue.pop_front();
                *transferred = std::min(length, int(t.bytes.size()));
                if (ep & 0x80)
                    std::memcpy(data, t.bytes.constData(), std::size_t(*transferred));
                return t.result;
            }
            if (!(ep & 0x80)) {
                *transferred = length;
                return LIBUSB_SUCCESS;
            }
        }
        QThread::msleep(std::min(timeoutMs, 2u));
        return LIBUSB_ERROR_TIMEOUT;
    }
    int clearHalt(libusb_device_handle*, unsigned char ep) override
    {
        cleared.push_back(ep);
        return clearResult;
    }

  private:
    libusb_device* device() { return reinterpret_cast<libusb_device*>(&interface_); }
    libusb_endpoint_descriptor endpoints_[2]{};
    libusb_interface_descriptor alt_{};
    libusb_interface interface_{};
    libusb_config_descriptor config_{};
    libusb_device* list_[2]{};
};

UsbSettings ids()
{
    UsbSettings s;
    s.vendorId = 0x0403;
    s.productId = 0x6014;
    return s;
}

std::unique_ptr<UsbOpener> openerOn(const std::shared_ptr<FakeLibusb>& usb, UsbSettings s = ids())
{
    return std::make_unique<UsbOpener>(s, [usb] { return makeLibusbTransport(usb); });
}

} // namespace

TEST(LibusbTransport, AFailedOpenSaysWhyAndLeavesNothingHeld)
{
    struct Case {
        const char* what;
        bool present;
        int openResult, claimResult;
        const char* said;
        int closes;
    };
    const Case cases[] = {
        {"no such device", false, 0, 0, "не найдено", 0},
        {"access denied", true, LIBUSB_ERROR_ACCESS, 0, "Нет доступа", 0},
        {"interface busy", true, 0, LIBUSB_ERROR_BUSY, "занят другой программой", 1},
        {"claim refused otherwise", true, 0, LIBUSB_ERROR_IO, "Не удалось занять интерфейс", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto usb = std::make_shared<FakeLibusb>();
        usb->present = c.present;
        usb->openResult = c.openResult;
        usb->claimResult = c.claimResult;
        auto opener = openerOn(usb);
        QString why;
        EXPECT_EQ(opener->open(why), nullptr);
        EXPECT_TRUE(why.contains(QString::fromUtf8(c.said))) << qPrintable(why);
        EXPECT_EQ(usb->releases, 0) << "nothing was claimed";
        EXPECT_EQ(usb->closes, c.closes);
        EXPECT_EQ(usb->exits, 1);
    }
}

TEST(LibusbTransport, TheSerialNumberIsMatchedAsTheDeviceGivesIt)
{
    const struct {
        const char* device;
        const char* asked;
        bool opened;
    } cases[] = {
        {"FT12AB34", "FT12AB34", true},
        {"Ж☃-7", "Ж☃-7", true},
        {"Ж☃-7", "?☃-7", false},
        {"", "FT12AB34", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        auto usb = std::make_shared<FakeLibusb>();
        usb->serial = QString::fromUtf8(c.device);
        UsbSettings s = ids();
        s.serialNumber = QString::fromUtf8(c.asked);
        QString why;
        EXPECT_EQ(openerOn(usb, s)->open(why) != nullptr, c.opened) << qPrintable(why);
    }
}

TEST(LibusbTransport, BulkTransfersClearAStallOnceAndKeepWhatArrived)
{
    using T = FakeLibusb::Transfer;
    struct Case {
        const char* what;
        std::vector<T> script;
        Status status;
        QByteArray got;
        std::size_t clears;
    };
    const Case cases[] = {
        {"a time-out that brought bytes", {{LIBUSB_ERROR_TIMEOUT, "abc"}}, Status::TimedOut, "abc", 0},
        {"a stall cleared, the retry goes through", {{LIBUSB_ERROR_PIPE, "a"}, {0, "bc"}}, Status::Ok, "abc", 1},
        {"a stall that stays", {{LIBUSB_ERROR_PIPE, {}}, {LIBUSB_ERROR_PIPE, {}}}, Status::Error, {}, 1},
        {"the device gone", {{LIBUSB_ERROR_NO_DEVICE, {}}}, Status::NoDevice, {}, 0},
        {"more than the buffer held", {{LIBUSB_ERROR_OVERFLOW, "abcd"}}, Status::Overflow, "abcd", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto usb = std::make_shared<FakeLibusb>();
        usb->in.assign(c.script.begin(), c.script.end());
        auto t = makeLibusbTransport(usb);
        QString why;
        ASSERT_EQ(t->open(ids(), why), Status::Ok);
        std::uint8_t buffer[64] = {};
        int n = -1;
        EXPECT_EQ(t->bulkIn(0x81, buffer, 64, n, 100), c.status);
        EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buffer), n), c.got);
        EXPECT_EQ(usb->cleared.size(), c.clears);
        if (c.clears) {
            EXPECT_EQ(usb->cleared[0], 0x81);
        }
    }

    // A stalled OUT endpoint is cleared as well, and the command goes out.
    auto usb = std::make_shared<FakeLibusb>();
    usb->out.push_back({LIBUSB_ERROR_PIPE, {}});
    DeviceLibrary library(std::make_unique<StreamBackend>(openerOn(usb)));
    std::uint32_t n = 0;
    EXPECT_EQ(library.SI_Write(0, "\x29\x00", 2, &n, nullptr), si::Success);
    EXPECT_EQ(usb->cleared, std::vector<unsigned char>{0x02});
}

TEST(LibusbTransport, TheInterfaceStaysClaimedUntilTheEndAndADeviceLostIsOpenedAgain)
{
    auto usb = std::make_shared<FakeLibusb>();
    {
        DeviceLibrary library(std::make_unique<StreamBackend>(openerOn(usb)));
        std::uint32_t n = 0;
        const std::uint8_t start[9] = {0x2C, 7, 0, 0x40, 0, 0, 2, 1, 0xFF};
        // A start to memory and the close right after it, twice, as the program does.
        for (int run = 0; run < 2; ++run) {
            ASSERT_EQ(library.SI_Write(0, start, 9, &n, nullptr), si::Success);
            EXPECT_EQ(library.SI_Close(0), si::Success);
        }
        EXPECT_EQ(usb->claims, 1);
        EXPECT_EQ(usb->releases, 0) << "released while the board records";

        // Pulled out in the middle of a run: the bytes before are kept, then the loss is said.
        ASSERT_EQ(library.SI_Write(0, start, 9, &n, nullptr), si::Success);
        {
            std::lock_guard lock(usb->mutex);
            usb->in.push_back({0, "1234"});
        }
        QThread::msleep(50);
        {
            std::lock_guard lock(usb->mutex);
            usb->present = false;
        }
        QThread::msleep(50);
        char buffer[16] = {};
        EXPECT_EQ(library.SI_Read(0, buffer, 16, &n, nullptr), si::Success);
        EXPECT_EQ(QByteArray(buffer, int(n)), QByteArray("1234"));
        EXPECT_NE(library.SI_Read(0, buffer, 16, &n, nullptr), si::Success);
        EXPECT_TRUE(library.backend().lastError().contains(QStringLiteral("отключено")));

        {
            std::lock_guard lock(usb->mutex);
            usb->present = true;
        }
        ASSERT_EQ(library.SI_Write(0, start, 9, &n, nullptr), si::Success);
        EXPECT_EQ(usb->claims, 2) << "the device back is opened afresh";
        EXPECT_EQ(usb->closes, 1) << "the lost one is closed";
    }
    EXPECT_EQ(usb->releases, 2) << "each opened device released once";
    EXPECT_EQ(usb->closes, 2);
    EXPECT_EQ(usb->exits, 2);
}
