#pragma once

#include <string>
#include <vector>

#include "demo_support/demo_bench.h"

// The demo's command line, the same for its window on every platform.
struct DemoOptions {
    bool headless = false;
    std::string screenshot;
    std::string flash;
    std::string shotsFolder;
    std::string serial = "0012345";
    int timeoutSeconds = 240;
    bool help = false;
    DemoFault fault = DemoFault::None;
    bool retry = false;
    std::string then;  // a second Orvo's serial
};

// `arguments` without the program's name. False on a bad command line, after
// saying what is wrong on stderr.
bool ParseDemoOptions(const std::vector<std::string>& arguments, DemoOptions& options);

// What differs in the help between the platforms' demos.
struct DemoHelpTexts {
    // What the program is with a display, and when it runs unattended.
    const char* windowed;
    // Where --headless runs its cycle ("on the offscreen platform").
    const char* headlessWhere;
};
void PrintDemoHelp(const DemoHelpTexts& texts);

// Where the second Orvo's flash is kept: FILE with "-SERIAL" before its
// extension.
std::string SecondFlashPath(const std::string& flash, const std::string& serial);

// The bench loads the flash file when the Orvo is plugged in and saves it
// when it leaves: a file it could not load would be overwritten with an
// erased flash, and a FIFO would hold the program.
bool UsableFlashFile(const std::string& path, std::string& error);

// The bench for `options`, the flash files checked and kept; null after
// saying on stderr what is wrong with them.
std::unique_ptr<DemoBench> MakeDemoBenchFor(const DemoOptions& options);
