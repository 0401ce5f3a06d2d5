#include "device/usb/default_usb_backend.h"

#include "device/usb/libusb_backend.h"

// Real devices through libusb. libusb itself starts at the first enumeration
// or open, so a program that only ever talks to the virtual bus never
// initialises it.
UsbBackend& DefaultUsbBackend() {
    static LibusbBackend backend;
    return backend;
}
