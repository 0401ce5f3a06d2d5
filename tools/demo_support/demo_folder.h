#pragma once

#include <string>

#include "tool_support/private_folder.h"

// The demo's working files go to a folder of their own, with the picture and
// the language libraries of `realProgramFolder` copied beside them, so a run
// never leaves files next to the programs. Returns the program path the
// demo's updater takes, inside `folder`.
std::string PrepareDemoProgramFolder(const PrivateTempFolder& folder, const std::string& realProgramFolder);

// An unattended run has nobody to answer the first start's language dialog:
// it starts with English settings already saved beside `programPath`.
void SeedDemoEnglishSettings(const std::string& programPath);

// Makes `folder`, prepares it as above and, for an unattended run, seeds the
// English settings. The program path inside it, or empty after saying on
// stderr why not. `firstWord`: the program's first command-line word.
std::string MakeDemoProgramFolder(PrivateTempFolder& folder, const std::string& firstWord, bool headless);
