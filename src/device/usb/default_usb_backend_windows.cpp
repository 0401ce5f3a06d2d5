#include "device/usb/default_usb_backend.h"

#include "device/usb/winusb_backend.h"
#include "device/usb/winusb_calls_windows.h"

// Real devices through WinUSB, bound to the Orvo's DFU interface by the INF.
UsbBackend& DefaultUsbBackend() {
    static WinUsbBackend backend(SystemWinUsbCalls());
    return backend;
}
