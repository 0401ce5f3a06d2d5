#include "device/usb/default_usb_backend.h"

#include "device/usb/libusb_backend.h"

// Real devices through libusb. Built on first use, so a program that only
// ever talks to the virtual bus never initialises libusb.
UsbBackend& DefaultUsbBackend() {
    static LibusbBackend backend;
    return backend;
}
