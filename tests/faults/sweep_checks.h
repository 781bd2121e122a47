// What the fault sweep checks after each run of the tool.
#pragma once
#include <string>
#include <vector>

#include "sweep_machines.h"

namespace sweep {

struct Findings {
  bool mismatch = false;  // the exit code disagrees with the log's error lines
  bool silent = false;    // a success exit code, but the product is not as it says
  bool lost = false;      // a captured printer or a setting of it missing, a printer appeared, or
                          // foreign state changed
  bool leak = false;      // a block, handle or key left open
  bool undescribed = false;  // an error line without the system's text for its code
  bool badFile = false;      // an installed product file changed
  std::vector<std::string> notes;
};

// Checks the run that just ended with `exitCode`; `install` tells the command. With
// `mustRestore`, every captured printer must be back with every setting whatever the exit code.
void CheckRun(const Keep& keep, bool install, int exitCode, bool mustRestore, bool checkLeaks, Findings* findings);
// After an install that could not finish: printers, monitor, drivers and files as they were.
void CheckStillPrinting(const Keep& keep, Findings* findings);

}  // namespace sweep
