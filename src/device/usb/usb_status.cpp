#include "device/usb/usb_backend.h"

const char* UsbStatusName(UsbStatus status) {
    switch (status) {
    case UsbStatus::Ok:
        return "ok";
    case UsbStatus::Stall:
        return "stall";
    case UsbStatus::Timeout:
        return "timeout";
    case UsbStatus::NoDevice:
        return "no device";
    case UsbStatus::AccessDenied:
        return "access denied";
    case UsbStatus::NotFound:
        return "not found";
    case UsbStatus::Error:
        return "error";
    }
    return "unknown";
}
