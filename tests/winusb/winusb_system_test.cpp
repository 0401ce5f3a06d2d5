#include <gtest/gtest.h>

#include "device/usb/winusb_backend.h"
#include "device/usb/winusb_calls_windows.h"

// The real device-setup calls: with no Orvo bound to WinUSB (as under wine),
// enumeration is an empty list, not an error.
TEST(WinUsbSystem, NoDeviceIsAnEmptyListWithoutError) {
    WinUsbBackend backend(SystemWinUsbCalls());
    const auto found = backend.EnumerateDfuInterfaces();
    EXPECT_EQ(backend.LastEnumerationError(), 0u);
    for (const auto& info : found)
        EXPECT_FALSE(info.path.empty());
}
