#include "tool_support/command_registry.h"

// orvo-tool: the updater's building blocks from the command line, for power
// users and for our own checks.
int main(int argc, char** argv) { return RunCommandLine("orvo-tool", argc, argv); }
