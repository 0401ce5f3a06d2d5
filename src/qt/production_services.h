#pragma once

#include "qt/updater_services.h"

class CDfuDevice;
class Resources;
class SharedSettings;

// The services of the real program: settings file, languages, dialogs, the
// update worker and its timer rules, wired to the real device access. The
// settings and resources are the program's own and must outlive the services.
UpdaterServices ProductionServices(SharedSettings& settings, Resources& resources);

// Once the worker has ended: frees the device's memory map.
void ReleaseDevice(CDfuDevice& device);
