#include "support/transport_contract.h"
#include "support/virtual_bus_rig.h"

INSTANTIATE_TEST_SUITE_P(VirtualBus, TransportContract, ::testing::Values(TransportRigFactory(&MakeVirtualBusRig)));
