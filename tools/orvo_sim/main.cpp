#include "tool_support/command_registry.h"

// orvo-sim: the simulated side (database generator, update server, virtual
// Orvo) from the command line.
int main(int argc, char** argv) { return RunCommandLine("orvo-sim", argc, argv); }
