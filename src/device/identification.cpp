// Reading the device's identity block and deciding whether it is an Orvo.

#include <string>

#include "device/dfu_device.h"
#include "device/dfu_operations.h"
#include "device/identity_block.h"

// Returns 0 when the identity block was read back into DeviceSerial,
// DeviceIdText and DeviceProductName; -1 when it could not be, in which case
// the three fields are empty.
int CDfuDevice::ConnectTest() {
    // A failed read must never let a device pass on the previous device's
    // identity.
    DeviceSerial.Clear();
    DeviceIdText.Clear();
    DeviceProductName.Clear();

    // The block is read like every region of device memory; no request file
    // is needed for it.
    if (!DfuOperations(*this).ReadIdentity(FlashRange{kIdentityBlockAddress, kIdentityBlockSize})) {
        DeviceSerial.Clear();
        DeviceIdText.Clear();
        DeviceProductName.Clear();
        return -1;
    }
    return 0;
}

IdentifyResult CDfuDevice::IdentifyDevice(const std::string& productName) {
    if (ConnectTest() != 0)
        return IdentifyResult::Unreadable;
    const IdentityFields fields{DeviceSerial.Get(), DeviceIdText.Get(), DeviceProductName.Get()};
    return AcceptsIdentity(fields, productName) ? IdentifyResult::Accepted : IdentifyResult::Rejected;
}
