#include "device/usb/default_usb_backend.h"

#include "device/usb/null_usb_backend.h"

// No USB backend on Windows yet: the bus is empty, and every program still
// works against the virtual bus.
UsbBackend& DefaultUsbBackend() {
    static NullUsbBackend backend;
    return backend;
}
