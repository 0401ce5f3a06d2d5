#pragma once

#include "common/program_folder.h"

// Where the updater beside this program keeps its settings, history and log,
// chosen by the updater's own rule: the program folder only when it is
// writable and not the folder the package installs programs into, else the
// user's data and state folders. With `createDataFolder` the user's data
// folder is made (for the user alone) when it is the one chosen, as the
// updater makes it at its start; without, nothing is created.
FileLocations UpdaterLocations(bool createDataFolder);
