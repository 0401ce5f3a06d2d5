#include "device/dfu_device.h"

#include "common/program_folder.h"

CDfuDevice::CDfuDevice(const std::string& programPath, DfuLibrary& library, UsbBackend& backend)
    : CDfuDevice(ProgramFolderLocations(ProgramFolderOf(programPath)), library, backend) {}

CDfuDevice::CDfuDevice(const FileLocations& locations, DfuLibrary& library, UsbBackend& backend)
    : ProgramFolder(locations.dataFolder),
      ResourceFolders(locations.resourceFolders),
      library_(library),
      backend_(backend) {}

// Releases what the object itself holds. The DFU operations' map and kept
// image go with it unless an operation still runs (the program ending while
// the worker waits): the transfer may still be using them.
CDfuDevice::~CDfuDevice() { ReleaseOperationResources(); }

void CDfuDevice::AttachSignals(CycleSignals* signals) {
    signals_ = signals != nullptr ? signals : &unmonitoredSignals_;
}
