#include "device/dfu_device.h"

#include "update/program_folder.h"

#ifndef ORVO_SERVER_HOST
#define ORVO_SERVER_HOST "update-server.orvo.invalid"
#endif

CDfuDevice::CDfuDevice(const std::string& programPath)
    : ProgramFolder(ProgramFolderOf(programPath)), ServerHost(ORVO_SERVER_HOST) {}

// Releases only what the object itself holds: a running operation, the map and
// pending images belong to their owners' clean-up.
CDfuDevice::~CDfuDevice() = default;

void CDfuDevice::AttachUi(ProgressBarPort* progressBar, MessageBoxPort* messageBox, CycleSignals* signals) {
    progressBar_ = progressBar;
    messageBox_ = messageBox;
    signals_ = signals;
}
