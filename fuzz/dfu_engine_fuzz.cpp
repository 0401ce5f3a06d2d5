// Runs a DFU operation through the protocol engine against a device whose
// answers come from the fuzzer (see answering_device.h). Whatever the device
// answers, the operation must end on its own, report success only when it
// finished, never send a request the protocol forbids, and put every byte it
// sends or reads in its place.
//
// Input: operation (1 byte), wTransferSize (2 bytes, little-endian), image
// size (1 byte), then the device's answers.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "answering_device.h"
#include "device/dfu/dfu_class.h"
#include "device/dfu/dfu_engine_settings.h"
#include "device/dfu/dfu_files.h"
#include "device/dfu/dfu_image_store.h"
#include "device/dfu/dfu_protocol.h"
#include "device/dfu/dfu_protocol_engine.h"
#include "virtual_usb_bus.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

// The device answers at once, so a transfer never times out on its own; a
// poll wait is cut to nothing so that a device asking for long waits cannot
// slow the fuzzer down.
DfuEngineSettings FuzzEngineSettings() {
    DfuEngineSettings s;
    s.controlTimeoutMs = 10000;
    s.timeoutRetries = 2;
    s.maxPollWaitMs = 0;
    s.maxBusyPolls = 64;
    s.stringTimeoutMs = 1000;
    return s;
}

constexpr std::uint32_t kBase = 0x00510000;

struct Plan {
    std::int32_t operation = OPERATION_ERASE;
    std::uint16_t transferSize = 0;
    std::vector<DfuImageElementData> elements;
};

Plan MakePlan(const std::uint8_t* data) {
    Plan plan;
    const std::int32_t operations[] = {OPERATION_ERASE, OPERATION_UPGRADE, OPERATION_UPLOAD};
    plan.operation = operations[data[0] % 3];
    plan.transferSize = static_cast<std::uint16_t>(data[1] | (data[2] << 8));
    const std::size_t length = 1 + static_cast<std::size_t>(data[3]) * 37;
    if (plan.operation == OPERATION_ERASE) {
        // The filtered image of an erase holds one element per sector.
        for (std::uint32_t i = 0; i <= data[3] % 4u; ++i)
            plan.elements.push_back({kBase + i * 0x10000, std::vector<std::uint8_t>(1, 0)});
    } else {
        // Two elements with a gap, so that a new run starts in the middle.
        std::vector<std::uint8_t> bytes(length);
        for (std::size_t i = 0; i < length; ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
        plan.elements.push_back({kBase, bytes});
        plan.elements.push_back({kBase + 0x20000 + 1, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + length / 2 + 1)});
    }
    return plan;
}

DfuOperationContext MakeContext(const std::string& path, std::int32_t operation, DfuHandle image) {
    DfuOperationContext c{};
    c.DfuInterfaceGuid = DfuInterfaceGuid;
    c.SecondInterfaceGuid = SecondInterfaceGuid;
    c.Operation = operation;
    c.Image = image;
    path.copy(c.DevicePath, sizeof c.DevicePath - 1);
    return c;
}

DfuOperationContext RunToEnd(DfuProtocolEngine& engine, const std::string& path, std::int32_t operation,
                             DfuHandle image) {
    DfuOperationContext context = MakeContext(path, operation, image);
    DfuHandle handle = 0;
    Check(engine.LaunchOperation(&context, &handle) == STDFU_NOERROR);
    // Every answer ends at once and the stream is finite: the operation ends on
    // its own. libFuzzer's -timeout reports it if it does not.
    for (;;) {
        Check(engine.GetOperationStatus(handle, &context) == STDFU_NOERROR);
        if (context.ErrorCode != STDFU_NOERROR || context.Percent == 100)
            break;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    Check(engine.StopOperation(handle, &context) == STDFU_NOERROR);
    return context;
}

// Every request is a DFU class request to interface 0 that the protocol
// allows, with the sizes the engine must use.
void CheckRequests(const Plan& plan, std::uint16_t transferSize, const std::vector<SeenRequest>& requests) {
    std::uint32_t pointer = 0;
    bool pointerSet = false;
    for (const SeenRequest& r : requests) {
        Check(r.setup.wIndex == 0);
        switch (r.setup.bRequest) {
        case dfu::GETSTATUS:
            Check(r.setup.bmRequestType == dfu::kRequestIn && r.setup.wLength == 6 && r.setup.wValue == 0);
            break;
        case dfu::CLRSTATUS:
        case dfu::ABORT:
            Check(r.setup.bmRequestType == dfu::kRequestOut && r.setup.wLength == 0);
            break;
        case dfu::UPLOAD:
            Check(plan.operation == OPERATION_UPLOAD);
            Check(r.setup.bmRequestType == dfu::kRequestIn && r.setup.wValue >= dfu::kFirstDataBlock);
            Check(r.setup.wLength > 0 && r.setup.wLength <= transferSize);
            break;
        case dfu::DNLOAD: {
            Check(r.setup.bmRequestType == dfu::kRequestOut);
            // A zero-length DNLOAD would make the device leave DFU mode.
            Check(r.setup.wLength > 0 && r.sent.size() == r.setup.wLength);
            if (r.setup.wValue == dfu::kCommandBlock) {
                Check(r.sent.size() == 5);
                const std::uint32_t address = r.sent[1] | (r.sent[2] << 8) | (r.sent[3] << 16) |
                                              (static_cast<std::uint32_t>(r.sent[4]) << 24);
                if (r.sent[0] == dfu::kCommandErase) {
                    Check(plan.operation == OPERATION_ERASE);
                    bool known = false;
                    for (const auto& e : plan.elements)
                        known = known || e.address == address;
                    Check(known);
                } else {
                    Check(r.sent[0] == dfu::kCommandSetAddressPointer);
                    pointer = address;
                    pointerSet = true;
                }
                break;
            }
            // Block n lands at pointer + (n - 2) * wTransferSize and carries the
            // image's bytes for that address.
            Check(plan.operation == OPERATION_UPGRADE && pointerSet && r.setup.wValue >= dfu::kFirstDataBlock);
            Check(r.sent.size() <= transferSize);
            const std::uint64_t address =
                pointer + static_cast<std::uint64_t>(r.setup.wValue - dfu::kFirstDataBlock) * transferSize;
            bool placed = false;
            for (const auto& e : plan.elements) {
                if (address >= e.address && address + r.sent.size() <= e.address + e.data.size()) {
                    placed = std::memcmp(r.sent.data(), e.data.data() + (address - e.address), r.sent.size()) == 0;
                    break;
                }
            }
            Check(placed);
            break;
        }
        default: Check(false);
        }
    }
}

// A finished upload holds exactly the bytes the device answered, in order.
void CheckUploaded(DfuHandle image, const std::vector<SeenRequest>& requests) {
    std::vector<std::uint8_t> answered;
    for (const SeenRequest& r : requests) {
        if (r.setup.bRequest == dfu::UPLOAD && r.status == UsbStatus::Ok)
            answered.insert(answered.end(), r.answered.begin(), r.answered.end());
    }
    const auto copy = DfuImageStore::Snapshot(image);
    Check(copy.has_value());
    std::vector<std::uint8_t> read;
    for (const auto& e : copy->elements)
        read.insert(read.end(), e.data.begin(), e.data.end());
    Check(read == answered);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4)
        return 0;
    // Never destroyed, like the fuzzer's other state.
    static auto* bus = new VirtualUsbBus();
    static auto* engine = new DfuProtocolEngine(*bus, FuzzEngineSettings());

    const Plan plan = MakePlan(data);
    auto device = std::make_shared<AnsweringDevice>(AnsweringDevice::OrvoLikeConfiguration(plan.transferSize),
                                                    std::span(data + 4, size - 4));
    const std::string path = bus->Plug(device);

    // The updater reads the map before it runs anything; the map comes from
    // the descriptors, which this device always answers the same way.
    DfuMapping* map = nullptr;
    Check(engine->CreateMappingFromDevice(path.c_str(), &map, nullptr) == STDFU_NOERROR);
    STDFUPRT_DestroyMapping(&map);

    DfuImageData imageData;
    imageData.alternateSetting = 1;
    imageData.elements = plan.elements;
    DfuHandle image = DfuImageStore::Create(std::move(imageData));
    const DfuOperationContext context = RunToEnd(*engine, path, plan.operation, image);
    bus->Unplug(path);

    const std::uint16_t transferSize = plan.transferSize != 0 ? plan.transferSize : 2048;
    Check(context.TransferSize == transferSize);
    // Success and failure exclude each other.
    Check((context.Percent == 100) == (context.ErrorCode == STDFU_NOERROR));
    Check(context.Percent <= 100);
    const DfuResult known[] = {STDFU_NOERROR,          STDFU_BAD_STATE_MACHINE, STDFU_UNEXPECTED_ERROR,
                               STDFU_DFU_ERROR,        STDFU_RETRY_ERROR,       STDFU_BAD_PARAMETER};
    bool isKnown = false;
    for (DfuResult r : known)
        isKnown = isKnown || context.ErrorCode == r;
    Check(isKnown);
    CheckRequests(plan, transferSize, device->Requests());
    if (plan.operation == OPERATION_UPLOAD && context.Percent == 100)
        CheckUploaded(image, device->Requests());
    Check(STDFUFILES_DestroyImage(&image) == STDFU_NOERROR);
    return 0;
}
