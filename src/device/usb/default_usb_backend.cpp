#include "device/usb/default_usb_backend.h"

#include "device/usb/null_usb_backend.h"

// Until the libusb backend is built in, real devices are out of reach and the
// default bus is empty. Switching means returning the libusb backend here.
UsbBackend& DefaultUsbBackend() {
    static NullUsbBackend backend;
    return backend;
}
