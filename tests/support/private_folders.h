#pragma once

#include <string>

// The build's programs as the tests run them: hard links (copies across file
// systems) to the programs and resources of the build's program folder, in a
// folder of this test program's own. A program that keeps files beside
// itself, as a portable copy does (orvo-tool's history and log), keeps them
// there, and the build's program folder stays as the build made it. The
// folder goes when the test program ends.
std::string TestProgramFolder();
