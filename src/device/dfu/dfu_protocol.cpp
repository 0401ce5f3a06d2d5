#include "device/dfu/dfu_protocol.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "device/dfu/dfu_config_descriptor.h"
#include "device/dfu/dfu_engine_settings.h"
#include "device/dfu/dfu_mapping.h"
#include "device/dfu/dfu_transfer.h"
#include "device/usb/default_usb_backend.h"
#include "device/usb/usb_backend.h"

namespace {

std::atomic<UsbBackend*> g_backend{nullptr};

std::mutex g_settingsMutex;
DfuEngineSettings g_settings;

// Running and finished-but-not-stopped operations by handle. Its destructor
// stops and joins whatever still runs at program exit: every wait is
// interruptible and every transfer has a timeout, so that ends promptly.
class OperationRegistry {
public:
    ~OperationRegistry() {
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

OperationRegistry& Operations() {
    static OperationRegistry registry;
    return registry;
}

bool PathIsTerminated(const DfuOperationContext& context) {
    return std::memchr(context.DevicePath, 0, sizeof context.DevicePath) != nullptr && context.DevicePath[0] != 0;
}

}  // namespace

void SetUsbBackend(UsbBackend* backend) { g_backend = backend; }

UsbBackend& CurrentUsbBackend() {
    UsbBackend* backend = g_backend.load();
    return backend ? *backend : DefaultUsbBackend();
}

DfuEngineSettings GetDfuEngineSettings() {
    std::lock_guard lock(g_settingsMutex);
    return g_settings;
}

void SetDfuEngineSettings(const DfuEngineSettings& settings) {
    std::lock_guard lock(g_settingsMutex);
    g_settings = settings;
}

DfuResult STDFUPRT_CreateMappingFromDevice(const char* devicePath, DfuMapping** mapping, std::uint32_t* count) {
    if (!devicePath || !mapping)
        return STDFU_BAD_PARAMETER;
    *mapping = nullptr;
    const DfuEngineSettings settings = GetDfuEngineSettings();
    DfuInterfaceLayout layout;
    const auto handle = OpenDfuDevice(CurrentUsbBackend(), devicePath, layout);
    if (!handle)
        return STDFU_UNEXPECTED_ERROR;

    std::vector<ParsedMemoryMap> entries;
    std::vector<std::uint8_t> settingsOfEntries;
    for (const auto& alternate : layout.alternates) {
        std::string text;
        if (alternate.nameIndex == 0 ||
            handle->GetStringDescriptor(alternate.nameIndex, text, settings.stringTimeoutMs) != UsbStatus::Ok)
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

DfuResult STDFUPRT_DestroyMapping(DfuMapping** mapping) {
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

DfuResult STDFUPRT_LaunchOperation(DfuOperationContext* context, DfuHandle* operation) {
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
    auto op = std::make_unique<DfuTransfer>(*context, CurrentUsbBackend(), GetDfuEngineSettings(), alternate,
                                             std::move(blocks));
    return Operations().Add(std::move(op), *operation);
}

DfuResult STDFUPRT_GetOperationStatus(DfuHandle operation, DfuOperationContext* context) {
    if (!context)
        return STDFU_BAD_PARAMETER;
    if (!Operations().Snapshot(operation, *context)) {
        // A dead handle must not look like an operation still under way.
        context->ErrorCode = STDFU_BAD_PARAMETER;
        return STDFU_BAD_PARAMETER;
    }
    return STDFU_NOERROR;
}

DfuResult STDFUPRT_StopOperation(DfuHandle operation, DfuOperationContext* context) {
    auto op = Operations().Take(operation);
    if (!op)
        return STDFU_BAD_PARAMETER;
    op->Stop();
    if (context)
        *context = op->Snapshot();
    return STDFU_NOERROR;
}
