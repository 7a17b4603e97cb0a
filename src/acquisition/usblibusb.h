#pragma once

// The libusb-1.0 calls the USB transport makes, one virtual function each with libusb's own
// arguments and results, so that tests can stand in for the library and drive the transport
// through a busy interface, a stalled endpoint or a device pulled mid-transfer. The real one
// forwards each call and does nothing else.

#include "acquisition/usbboard.h"

#include <libusb.h>

#include <memory>

namespace acq {

class LibusbCalls {
  public:
    virtual ~LibusbCalls();
    virtual int init(libusb_context** context) = 0;
    virtual void exit(libusb_context* context) = 0;
    virtual ssize_t getDeviceList(libusb_context* context, libusb_device*** list) = 0;
    virtual void freeDeviceList(libusb_device** list) = 0; // unreferences the devices too
    virtual int getDeviceDescriptor(libusb_device* device, libusb_device_descriptor* descriptor) = 0;
    virtual int open(libusb_device* device, libusb_device_handle** handle) = 0;
    virtual void close(libusb_device_handle* handle) = 0;
    // The raw descriptor (length, type, UTF-16LE text) in language langId.
    virtual int getStringDescriptor(libusb_device_handle* handle, std::uint8_t index, std::uint16_t langId,
                                    unsigned char* data, int length) = 0;
    virtual int getActiveConfigDescriptor(libusb_device_handle* handle, libusb_config_descriptor** config) = 0;
    virtual void freeConfigDescriptor(libusb_config_descriptor* config) = 0;
    virtual int setAutoDetachKernelDriver(libusb_device_handle* handle, int enable) = 0;
    virtual int claimInterface(libusb_device_handle* handle, int interfaceNumber) = 0;
    virtual int releaseInterface(libusb_device_handle* handle, int interfaceNumber) = 0;
    virtual int controlTransfer(libusb_device_handle* handle, std::uint8_t requestType, std::uint8_t request,
                                std::uint16_t value, std::uint16_t index, unsigned char* data,
                                std::uint16_t length, unsigned timeoutMs) = 0;
    virtual int bulkTransfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
                             int length, int* transferred, unsigned timeoutMs) = 0;
    virtual int clearHalt(libusb_device_handle* handle, unsigned char endpoint) = 0;
};

// The calls into the installed libusb.
std::shared_ptr<LibusbCalls> systemLibusb();

// The transport over the given calls; makeLibusbTransport() uses systemLibusb().
std::unique_ptr<UsbTransport> makeLibusbTransport(std::shared_ptr<LibusbCalls> calls);

} // namespace acq
