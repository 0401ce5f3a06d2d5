#include "device/dfu/dfu_protocol_engine.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

#include "device/dfu/dfu_config_descriptor.h"
#include "device/dfu/dfu_mapping.h"
#include "device/dfu/dfu_transfer.h"
#include "device/usb/default_usb_backend.h"
#include "device/usb/usb_backend.h"

// Running and finished-but-not-stopped operations by handle. Its destructor
// stops and joins whatever still runs.
class DfuOperationRegistry {
public:
    ~DfuOperationRegistry() {
        std::map<DfuHandle, std::unique_ptr<DfuTransfer>> all;
        {
            std::lock_guard lock(mutex_);
            all.swap(operations_);
        }
        all.clear();
    }

    DfuResult Add(std::unique_ptr<DfuTransfer> operation, DfuHandle& handle) {
        std::lock_guard lock(mutex_);
        for (const auto& [h, op] : operations_) {
            if (op->DevicePath() == operation->DevicePath())
                return STDFU_DFU_ALREADY_RUNNING;
        }
        do {
            handle = next_++;
        } while (handle == 0 || operations_.count(handle) != 0);
        operation->Start();
        operations_.emplace(handle, std::move(operation));
        return STDFU_NOERROR;
    }

    bool Snapshot(DfuHandle handle, DfuOperationContext& context) {
        std::lock_guard lock(mutex_);
        const auto it = operations_.find(handle);
        if (it == operations_.end())
            return false;
        context = it->second->Snapshot();
        return true;
    }

    std::unique_ptr<DfuTransfer> Take(DfuHandle handle) {
        std::lock_guard lock(mutex_);
        const auto it = operations_.find(handle);
        if (it == operations_.end())
            return nullptr;
        auto operation = std::move(it->second);
        operations_.erase(it);
        return operation;
    }

private:
    std::mutex mutex_;
    std::map<DfuHandle, std::unique_ptr<DfuTransfer>> operations_;
    DfuHandle next_ = 1;
};

namespace {

bool PathIsTerminated(const DfuOperationContext& context) {
    return std::memchr(context.DevicePath, 0, sizeof context.DevicePath) != nullptr && context.DevicePath[0] != 0;
}

}  // namespace

DfuProtocolEngine::DfuProtocolEngine(UsbBackend& backend, const DfuEngineSettings& settings)
    : backend_(backend),
      settings_(settings),
      ended_(std::make_unique<DfuOperationEndSignal>()),
      operations_(std::make_unique<DfuOperationRegistry>()) {}

void DfuProtocolEngine::ListenForOperationEnds(std::function<void()> listener) { ended_->Listen(std::move(listener)); }

DfuProtocolEngine::~DfuProtocolEngine() = default;

DfuResult DfuProtocolEngine::CreateMappingFromDevice(const char* devicePath, DfuMapping** mapping,
                                                     std::uint32_t* count) {
    if (!devicePath || !mapping)
        return STDFU_BAD_PARAMETER;
    *mapping = nullptr;
    DfuInterfaceLayout layout;
    const auto handle = OpenDfuDevice(backend_, devicePath, layout);
    if (!handle)
        return STDFU_UNEXPECTED_ERROR;

    std::vector<ParsedMemoryMap> entries;
    std::vector<std::uint8_t> settingsOfEntries;
    for (const auto& alternate : layout.alternates) {
        std::string text;
        if (alternate.nameIndex == 0 ||
            handle->GetStringDescriptor(alternate.nameIndex, text, settings_.stringTimeoutMs) != UsbStatus::Ok)
            return STDFU_UNEXPECTED_ERROR;
        ParsedMemoryMap parsed;
        std::string error;
        if (!ParseMemoryMap(text, parsed, error))
            return STDFU_UNEXPECTED_ERROR;
        entries.push_back(std::move(parsed));
        settingsOfEntries.push_back(alternate.setting);
    }
    *mapping = BuildMappingTable(entries, layout.transferSize, settingsOfEntries);
    if (!*mapping)
        return STDFU_UNEXPECTED_ERROR;
    if (count)
        *count = static_cast<std::uint32_t>(entries.size());
    return STDFU_NOERROR;
}

DfuResult DfuProtocolEngine::DestroyMapping(DfuMapping** mapping) {
    if (!mapping)
        return STDFU_BAD_PARAMETER;
    if (DfuMapping* table = *mapping) {
        for (std::uint8_t i = 0; i < table[0].entryCount; ++i)
            delete[] reinterpret_cast<DfuMapSector*>(static_cast<std::uintptr_t>(table[i].sectorTable));
        delete[] table;
        *mapping = nullptr;
    }
    return STDFU_NOERROR;
}

DfuResult DfuProtocolEngine::LaunchOperation(DfuOperationContext* context, DfuHandle* operation) {
    if (!context || !operation)
        return STDFU_BAD_PARAMETER;
    *operation = 0;
    if (context->Operation == OPERATION_DETACH || context->Operation == OPERATION_RETURN)
        return STDFU_UNSUPPORTED_FEATURE;
    if (context->Operation != OPERATION_ERASE && context->Operation != OPERATION_UPGRADE &&
        context->Operation != OPERATION_UPLOAD)
        return STDFU_BAD_PARAMETER;
    if (context->Image == 0 || !PathIsTerminated(*context))
        return STDFU_BAD_PARAMETER;
    std::uint8_t alternate = 0;
    std::vector<ImageBlock> blocks;
    if (ReadImageBlocks(context->Image, alternate, blocks) != STDFU_NOERROR)
        return STDFU_BAD_PARAMETER;
    // An operation with nothing to move would end at once as a success and
    // tell the caller a write happened that never did.
    if (std::none_of(blocks.begin(), blocks.end(), [](const ImageBlock& b) { return !b.data.empty(); }))
        return STDFU_BAD_PARAMETER;
    auto op = std::make_unique<DfuTransfer>(*context, backend_, settings_, alternate, std::move(blocks), ended_.get());
    return operations_->Add(std::move(op), *operation);
}

DfuResult DfuProtocolEngine::GetOperationStatus(DfuHandle operation, DfuOperationContext* context) {
    if (!context)
        return STDFU_BAD_PARAMETER;
    if (!operations_->Snapshot(operation, *context)) {
        // A dead handle must not look like an operation still under way.
        context->ErrorCode = STDFU_BAD_PARAMETER;
        return STDFU_BAD_PARAMETER;
    }
    return STDFU_NOERROR;
}

DfuResult DfuProtocolEngine::StopOperation(DfuHandle operation, DfuOperationContext* context) {
    auto op = operations_->Take(operation);
    if (!op)
        return STDFU_BAD_PARAMETER;
    op->Stop();
    if (context)
        *context = op->Snapshot();
    return STDFU_NOERROR;
}

DfuProtocolEngine& DefaultDfuEngine() {
    // Built on first use, after the backend it holds, so it is destroyed
    // (its operations stopped) before that backend at program exit.
    static DfuProtocolEngine engine(DefaultUsbBackend());
    return engine;
}
