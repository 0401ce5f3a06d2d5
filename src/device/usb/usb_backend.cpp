#include "device/usb/usb_backend.h"

const char* UsbStatusName(UsbStatus status) {
    switch (status) {
    case UsbStatus::Ok: return "ok";
    case UsbStatus::Stall: return "stalled";
    case UsbStatus::Timeout: return "timed out";
    case UsbStatus::NoDevice: return "device gone";
    case UsbStatus::AccessDenied: return "access denied";
    case UsbStatus::NotFound: return "not found";
    case UsbStatus::Error: return "error";
    }
    return "unknown";
}
