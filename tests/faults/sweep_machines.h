// The machines the fault sweep starts from, and what a run must keep of each.
#pragma once
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "winsim/machine.h"

namespace sweep {

// A product printer the tool captures (it has a usable settings key) and must give back.
struct Captured {
  std::string name, subKey, comment, location, shareName;
  bool isDefault = false;
};

// What a run must not lose or change: read from the machine before the run.
struct Keep {
  std::vector<Captured> captured;
  std::vector<std::string> foreignPrinters;  // every other printer, all it holds, as text
  std::vector<std::string> printers;  // every printer's name
  std::vector<std::u16string> foreignPending;  // the pending operations as the run found them
  std::vector<std::string> productPrinters, installedFiles;  // all they hold, as text
};

Keep KeepOf(const winsim::Machine& machine);

// Each of these leaves the machine in winsim::M(), rooted at `root` (created empty first).
void FreshMachine(const std::string& root);
// A fresh machine with the product installed by a fault-free run.
void InstalledMachine(const std::string& root);
// Installed, with two configured product printers (settings keys in "PrinterDriverData" and in
// "DsUser", comments, locations, one the default and shared under its own share name), a
// foreign printer and foreign entries in "PendingFileRenameOperations".
void ConfiguredMachine(const std::string& root);
// The configured machine with case `index` (below 34; "" for none) of what a reinstall cannot
// finish from: a package file bad (each way), the disk one byte short, the spooler unable to start,
// an Arm64 processor, protected print mode.
std::string BadPackageMachine(const std::string& root, int index);
// Installed, then changed as an upgrade finds it: older monitor and driver builds (2440 to
// 2510), product and foreign printers with random names, settings, shares and default, product
// files held for a while.
void UpgradeMachine(const std::string& root, std::mt19937& random);

}  // namespace sweep
