#pragma once

// A board that shows up as a vendor-specific USB device rather than a serial port: USB bridges of
// this kind often run in a direct-access mode in which the board is reached through a pair of bulk
// endpoints. The USB library sits behind UsbTransport, a thin interface the tests replace with a
// fake: no USB device can be emulated where the tests run.

#include "acquisition/streambackend.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace acq {

// A vendor control request sent when the device is opened (bridges that must be switched on first).
struct UsbControlRequest {
    std::uint8_t requestType = 0x40; // host to device, vendor, device
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
};

struct UsbSettings {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    QString serialNumber;     // empty: the first device with the IDs
    int interfaceNumber = -1; // -1: the first interface with a bulk IN and a bulk OUT endpoint
    int endpointIn = -1;      // -1: the interface's first bulk IN endpoint (address, e.g. 0x81)
    int endpointOut = -1;     // -1: its first bulk OUT endpoint
    std::vector<UsbControlRequest> openRequests;
    // Bytes some bridges put at the start of every incoming packet (modem status and the like):
    // dropped from each packet, so they never reach the sample stream. 0: none.
    int packetHeaderBytes = 0;
};

// "0403:6014" and the like.
QString usbIdText(std::uint16_t vendorId, std::uint16_t productId);
// Reads "0x40 0x01 0x0000 0x0000; 0x40 ..." (request type, request, value, index per request).
std::optional<std::vector<UsbControlRequest>> parseControlRequests(const QString& text);

struct UsbEndpointInfo {
    std::uint8_t address = 0; // bit 7 set: IN
    bool bulk = false;
    int maxPacketSize = 0;
};
struct UsbInterfaceInfo {
    int number = 0;
    std::vector<UsbEndpointInfo> endpoints;
};

struct UsbEndpoints {
    int interfaceNumber = 0;
    std::uint8_t in = 0;
    std::uint8_t out = 0;
    int inMaxPacket = 0;
};
// The interface and endpoints to use: the configured ones, the rest found in the descriptors.
// nullopt with why filled when the device has no such pair.
std::optional<UsbEndpoints> chooseEndpoints(const std::vector<UsbInterfaceInfo>& interfaces,
                                            const UsbSettings& settings, QString& why);

class UsbTransport {
  public:
    virtual ~UsbTransport();
    // Overflow: the device sent more than the transfer had room for; bytes were lost.
    enum class Status { Ok, TimedOut, NoDevice, Overflow, Error };
    // Finds and opens the device with these IDs (and serial number, when given).
    virtual Status open(const UsbSettings& settings, QString& why) = 0;
    // The interfaces of the active configuration (first alternate setting of each).
    virtual std::vector<UsbInterfaceInfo> interfaces() = 0;
    virtual Status claim(int interfaceNumber, QString& why) = 0;
    virtual Status control(const UsbControlRequest& request, unsigned timeoutMs) = 0;
    // transferred is set on every outcome: a transfer that timed out may have moved some bytes.
    virtual Status bulkOut(std::uint8_t endpoint, const std::uint8_t* bytes, int count, int& transferred,
                           unsigned timeoutMs) = 0;
    virtual Status bulkIn(std::uint8_t endpoint, std::uint8_t* buffer, int max, int& transferred,
                          unsigned timeoutMs) = 0;
};

using UsbTransportFactory = std::function<std::unique_ptr<UsbTransport>()>;
// The real one, over libusb-1.0.
std::unique_ptr<UsbTransport> makeLibusbTransport();

// The device stays open, its interface claimed, from the first open until the opener goes (the
// program's end): a close between runs (the one after a start to memory among them) only ends
// the link, and the next open takes the same device again. Releasing the interface would hand
// the device back to its kernel driver, which may send it commands of its own while the board
// records. Only a device that was lost is opened anew.
class UsbOpener : public LinkOpener {
  public:
    UsbOpener(UsbSettings settings, UsbTransportFactory factory = makeLibusbTransport)
        : settings_(std::move(settings)), factory_(std::move(factory))
    {
    }
    ~UsbOpener() override;
    std::unique_ptr<ByteLink> open(QString& why) override;
    QString description() const override;

    // A bulk IN transfer is always pending in the reader; this bounds how long one waits, so the
    // reader notices a close promptly.
    static constexpr unsigned kInTransferMs = 100;

    struct Device; // the opened transport, shared with the link of the moment

  private:
    UsbSettings settings_;
    UsbTransportFactory factory_;
    std::shared_ptr<Device> device_;
};

} // namespace acq
