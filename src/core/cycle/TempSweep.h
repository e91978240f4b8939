#pragma once
#include "core/settings/Settings.h"

#include <filesystem>

// A run killed mid-download or mid-archive-copy leaves its temporary file behind, and no later
// run would ever reuse the random name. Removes, in the download folder and in each source
// folder's archive folder, the regular files of exactly the forms we create that were last
// written before `agentStart`, and nothing else:
//   download folder:  .NAME.xxxxxx.part   (x: a-z, 0-9)
//   archive folder:   NAME.XXXXXX         (X: A-Z, a-z, 0-9), NAME a file of the source folder
// Returns how many were removed.
int SweepStaleTempFiles(const CSettings& settings, std::filesystem::file_time_type agentStart);
