#pragma once

#include "app/updater_services.h"

// The services of the real program: settings file, languages, dialogs, the
// update worker and its timer rules, wired to the real device access.
UpdaterServices ProductionServices();
