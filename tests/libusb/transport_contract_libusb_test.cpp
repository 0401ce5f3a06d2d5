// The write, read-back, fault and discovery tests of every backend, here over
// libusb and the emulated usbdevfs of umockdev: the same engine code, only
// the backend differs.
#include "libusb/umockdev_rig.h"
#include "support/transport_contract.h"

INSTANTIATE_TEST_SUITE_P(LibusbOverUmockdev, TransportContract,
                         ::testing::Values(TransportRigFactory(&MakeUmockdevRig)),
                         [](const auto&) { return std::string("libusb"); });
