#include "acquisition/deviceconfig.h"
#include "acquisition/devicelink.h"
#include "acquisition/usbboard.h"
#include "common/testutil.h"

#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <deque>
#include <mutex>

using namespace acq;
using Status = UsbTransport::Status;

namespace {

// One USB device as the fake transports see it: what it has to send, what it was sent, and
// whether it is plugged in. Shared by every transport opened on it, so a device can vanish and
// come back between opens.
struct FakeUsbDevice {
    std::mutex mutex;
    bool present = true;
    std::vector<UsbInterfaceInfo> interfaces{{0, {{0x02, true}, {0x81, true}}}};
    int outPerTransfer = 1 << 20;      // bytes a bulk OUT transfer moves at most
    std::deque<QByteArray> inChunks;   // each bulk IN transfer ends after one of these
    bool inTimesOutAfterChunk = false; // the chunk comes with a time-out, as a transfer cut short
    QByteArray received;
    std::vector<UsbControlRequest> controls;
    int claimed = -1;
    std::uint8_t outEndpoint = 0, inEndpoint = 0;

    void send(const QByteArray& bytes)
    {
        std::lock_guard lock(mutex);
        inChunks.push_back(bytes);
    }
};

class FakeTransport : public UsbTransport {
  public:
    explicit FakeTransport(std::shared_ptr<FakeUsbDevice> d) : d_(std::move(d)) {}
    Status open(const UsbSettings& s, QString& why) override
    {
        std::lock_guard lock(d_->mutex);
        if (!d_->present) {
            why = QStringLiteral("USB-устройство %1 не найдено").arg(usbIdText(s.vendorId, s.productId));
            return Status::NoDevice;
        }
        return Status::Ok;
    }
    std::vector<UsbInterfaceInfo> interfaces() override { return d_->interfaces; }
    Status claim(int n, QString&) override
    {
        d_->claimed = n;
        return Status::Ok;
    }
    Status control(const UsbControlRequest& r, unsigned) override
    {
        d_->controls.push_back(r);
        return Status::Ok;
    }
    Status bulkOut(std::uint8_t ep, const std::uint8_t* bytes, int count, int& transferred, unsigned) override
    {
        std::lock_guard lock(d_->mutex);
        transferred = 0;
        if (!d_->present)
            return Status::NoDevice;
        d_->outEndpoint = ep;
        transferred = std::min(count, d_->outPerTransfer);
        d_->received.append(reinterpret_cast<const char*>(bytes), transferred);
        return transferred < count ? Status::TimedOut : Status::Ok;
    }
    Status bulkIn(std::uint8_t ep, std::uint8_t* buffer, int max, int& transferred,
                  unsigned timeoutMs) override
    {
        transferred = 0;
        {
            std::lock_guard lock(d_->mutex);
            if (!d_->present)
                return Status::NoDevice;
            d_->inEndpoint = ep;
            if (!d_->inChunks.empty()) {
                QByteArray& c = d_->inChunks.front();
                transferred = int(std::min<qsizetype>(max, c.size()));
                std::memcpy(buffer, c.constData(), std::size_t(transferred));
                c.remove(0, transferred);
                if (c.isEmpty())
                    d_->inChunks.pop_front();
                return d_->inTimesOutAfterChunk ? Status::TimedOut : Status::Ok;
            }
        }
        QThread::msleep(std::min(timeoutMs, 2u));
        return Status::TimedOut;
    }

  private:
    std::shared_ptr<FakeUsbDevice> d_;
};

UsbSettings ids()
{
    UsbSettings s;
    s.vendorId = 0x0403;
    s.productId = 0x6014;
    return s;
}

struct UsbRig {
    explicit UsbRig(UsbSettings s = ids())
        : device(std::make_shared<FakeUsbDevice>()),
          library(std::make_unique<StreamBackend>(
              std::make_unique<UsbOpener>(s, [d = device] { return std::make_unique<FakeTransport>(d); })))
    {
    }
    int write(const QByteArray& bytes)
    {
        std::uint32_t n = 0;
        return library.SI_Write(0, bytes.constData(), std::uint32_t(bytes.size()), &n, nullptr);
    }
    QByteArray read(int& status, std::uint32_t max = 65535)
    {
        QByteArray b(qsizetype(max), Qt::Uninitialized);
        std::uint32_t n = 0;
        status = library.SI_Read(0, b.data(), max, &n, nullptr);
        b.truncate(qsizetype(n));
        return b;
    }
    std::shared_ptr<FakeUsbDevice> device;
    DeviceLibrary library;
};

} // namespace

TEST(UsbBoard, EndpointsComeFromTheSettingsOrTheDescriptors)
{
    const std::vector<UsbInterfaceInfo> device{
        {0, {{0x83, false}}},                                          // an interrupt endpoint only
        {1, {{0x01, true}, {0x82, true}, {0x03, true}, {0x84, true}}}, // two bulk pairs
    };
    struct Case {
        const char* what;
        int interfaceNumber, in, out;
        std::optional<std::array<int, 3>> expected;
    };
    const Case cases[] = {
        {"the first bulk pair of the first interface that has one", -1, -1, -1, {{1, 0x82, 0x01}}},
        {"configured endpoints", 1, 0x84, 0x03, {{1, 0x84, 0x03}}},
        {"an interface without a pair", 0, -1, -1, std::nullopt},
        {"an endpoint the interface does not have", 1, 0x85, -1, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UsbSettings s = ids();
        s.interfaceNumber = c.interfaceNumber;
        s.endpointIn = c.in;
        s.endpointOut = c.out;
        QString why;
        const auto ep = chooseEndpoints(device, s, why);
        ASSERT_EQ(ep.has_value(), c.expected.has_value()) << qPrintable(why);
        if (ep) {
            EXPECT_EQ(ep->interfaceNumber, (*c.expected)[0]);
            EXPECT_EQ(ep->in, (*c.expected)[1]);
            EXPECT_EQ(ep->out, (*c.expected)[2]);
        } else {
            EXPECT_TRUE(why.contains(QStringLiteral("0403:6014"))) << qPrintable(why);
        }
    }
}

TEST(UsbBoard, OpenRequestsAndConfiguration)
{
    const auto parsed = parseControlRequests(QStringLiteral("0x40 0x02 0x0001 0; 0x40,3,0x4138,1"));
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->size(), 2u);
    EXPECT_EQ((*parsed)[1].value, 0x4138);
    EXPECT_FALSE(parseControlRequests(QStringLiteral("0x40 0x02 0x10000 0"))) << "a value beyond 16 bits";
    EXPECT_FALSE(parseControlRequests(QStringLiteral("0x40 0x02"))) << "incomplete";

    UsbSettings s = ids();
    s.openRequests = *parsed;
    UsbRig rig(s);
    ASSERT_EQ(rig.write(QByteArray::fromHex("2900")), si::Success);
    ASSERT_EQ(rig.device->controls.size(), 2u) << "sent at open, in order";
    EXPECT_EQ(rig.device->controls[0].request, 0x02);
    EXPECT_EQ(rig.device->controls[1].index, 1);
    EXPECT_EQ(rig.device->claimed, 0);
    EXPECT_EQ(rig.library.backend().description(), QStringLiteral("USB-устройство 0403:6014"));

    const DeviceSettings env = readDeviceSettings({}, QStringLiteral("usb:0403:6014:FT12AB"));
    EXPECT_EQ(env.backend, QStringLiteral("usb"));
    EXPECT_EQ(env.usb.vendorId, 0x0403);
    EXPECT_EQ(env.usb.productId, 0x6014);
    EXPECT_EQ(env.usb.serialNumber, QStringLiteral("FT12AB"));
    const DeviceSettings bad = readDeviceSettings({}, QStringLiteral("usb:xyz"));
    UsbRig none(bad.usb);
    EXPECT_NE(none.write(QByteArray::fromHex("2900")), si::Success);
    EXPECT_TRUE(none.library.backend().lastError().contains(QStringLiteral("VendorId")));
}

TEST(UsbBoard, PartialTransfersAndTimeOutsLoseNothing)
{
    UsbRig rig;
    rig.device->outPerTransfer = 4;
    rig.device->inTimesOutAfterChunk = true;
    const QByteArray start = QByteArray::fromHex("2b0710000000000000");
    ASSERT_EQ(rig.write(start), si::Success);
    EXPECT_EQ(rig.device->received, start) << "the command goes out whole over several transfers";
    EXPECT_EQ(rig.device->outEndpoint, 0x02);

    QByteArray stream;
    for (int i = 0; i < 300; ++i)
        stream.append(char(i));
    rig.device->send(stream.left(7));
    rig.device->send(stream.mid(7, 200));
    rig.device->send(stream.mid(207));
    QThread::msleep(100);
    int status = -1;
    QByteArray got = rig.read(status, 100);
    EXPECT_EQ(status, si::Success);
    got += rig.read(status);
    EXPECT_EQ(got, stream) << "bytes of transfers cut short by a time-out are kept, in order";
    EXPECT_EQ(rig.device->inEndpoint, 0x81);
}

TEST(UsbBoard, ADeviceThatVanishesIsReportedAndFoundAgainWhenBack)
{
    UsbRig rig;
    ASSERT_EQ(rig.write(QByteArray::fromHex("2900")), si::Success);
    rig.device->send(QByteArray::fromHex("e5"));
    int status = -1;
    EXPECT_EQ(rig.read(status).toHex(), QByteArray("e5"));

    rig.device->send(QByteArray(10, 'x'));
    QThread::msleep(50);
    {
        std::lock_guard lock(rig.device->mutex);
        rig.device->present = false;
    }
    QThread::msleep(50);
    EXPECT_EQ(rig.read(status).size(), 10) << "what came before is handed over";
    EXPECT_EQ(status, si::Success);
    rig.read(status);
    EXPECT_NE(status, si::Success);
    EXPECT_TRUE(rig.library.backend().lastError().contains(QStringLiteral("отключено")));
    EXPECT_NE(rig.write(QByteArray::fromHex("2900")), si::Success);
    EXPECT_TRUE(rig.library.backend().lastError().contains(QStringLiteral("не найдено")));

    {
        std::lock_guard lock(rig.device->mutex);
        rig.device->present = true;
    }
    ASSERT_EQ(rig.write(QByteArray::fromHex("2900")), si::Success);
    rig.device->send(QByteArray::fromHex("e5"));
    EXPECT_EQ(rig.read(status).toHex(), QByteArray("e5"));
}

TEST(UsbBoard, IdsAreHexadecimalWithOrWithoutPrefix)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QString::fromLatin1(kDeviceIniName));
    struct Case {
        QByteArray vendor;
        std::uint16_t expected;
    };
    const Case cases[] = {{"0403", 0x0403}, {"0x0403", 0x0403}, {"0X6014", 0x6014}, {"6014", 0x6014},
                          {"10000", 0},     {"zz", 0},          {"", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vendor.constData());
        ASSERT_TRUE(testutil::writeAll(ini, "[Device]\r\nBackend=usb\r\nVendorId=" + c.vendor +
                                                "\r\nProductId=6014\r\nPacketHeader=2\r\n"));
        const DeviceSettings s = readDeviceSettings(ini, {});
        EXPECT_EQ(s.usb.vendorId, c.expected);
        EXPECT_EQ(s.usb.productId, 0x6014);
        EXPECT_EQ(s.usb.packetHeaderBytes, 2);
    }
}

TEST(UsbBoard, PacketHeadersNeverReachTheStream)
{
    const QByteArray header = QByteArray::fromHex("0160");
    auto packet = [&](const QByteArray& data) { return header + data; };
    const QByteArray full = QByteArray(62, 'a');
    struct Case {
        const char* what;
        std::vector<QByteArray> transfers;
        QByteArray expected;
    };
    const Case cases[] = {
        {"idle packets of the header alone", {header, header, header}, {}},
        {"full packets and a short one in one transfer", {packet(full) + packet(full) + packet("bc")},
         full + full + "bc"},
        {"data between idle packets", {header, packet("xyz"), header, packet("w")}, "xyzw"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UsbSettings s = ids();
        s.packetHeaderBytes = 2;
        UsbRig rig(s);
        rig.device->interfaces = {{0, {{0x02, true, 64}, {0x81, true, 64}}}};
        ASSERT_EQ(rig.write(QByteArray::fromHex("2900")), si::Success);
        for (const QByteArray& t : c.transfers)
            rig.device->send(t);
        QThread::msleep(50);
        int status = -1;
        EXPECT_EQ(rig.read(status), c.expected);
        EXPECT_EQ(status, si::Success);
    }

    UsbSettings s = ids();
    s.packetHeaderBytes = 64;
    UsbRig tooLong(s);
    tooLong.device->interfaces = {{0, {{0x02, true, 64}, {0x81, true, 64}}}};
    EXPECT_NE(tooLong.write(QByteArray::fromHex("2900")), si::Success);
    EXPECT_TRUE(tooLong.library.backend().lastError().contains(QStringLiteral("PacketHeader")));
}
