#pragma once

#include "app/updater_services.h"

class CDfuDevice;

// The services of the real program: settings file, languages, dialogs, the
// update worker and its timer rules, wired to the real device access.
UpdaterServices ProductionServices();

// Shut-down helpers, also used by the demo: end a running DFU operation
// (its transfer thread joined) and a download in flight.
void StopRunningOperation(CDfuDevice& device);
void AbortDownload(CDfuDevice& device);
// Once the worker has ended: frees the device's memory map.
void ReleaseDevice(CDfuDevice& device);
