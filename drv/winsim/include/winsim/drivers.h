// The spooler's printer drivers per environment, and the driver files its running process has
// loaded.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "winsim/file_state.h"
#include "winsim/named_list.h"
#include "winsim/win_types.h"

namespace winsim {

// One installed driver version, as the spooler records it: its files with full paths.
struct PrinterDriver {
  std::string environment;  // the machine's spelling, e.g. "Windows x64"
  std::string name;
  DWORD version = 3;  // cVersion; the files live in the environment's "<version>\" directory
  std::string driverPath;
  std::string dataFile;
  std::string configFile;
  std::string helpFile;
  std::vector<std::string> dependentFiles;
  std::string monitorName;
  std::string defaultDataType;
  std::vector<std::string> previousNames;
  uint64_t driverDate = 0;  // FILETIME
  uint64_t driverVersion = 0;
  std::string mfgName;
  std::string oemUrl;
  std::string hardwareId;
  std::string provider;
  DWORD upgrades = 0;  // how often the files were replaced: DRIVER_INFO_5W's file versions
};

// A loaded driver file the spooler moved aside (upgraded or deleted while loaded): its process
// keeps it until it ends.
struct MovedDriverFile {
  std::string path;
  uint32_t spoolerStart = 0;  // Service::starts of the process that loaded it
};

struct DriverState {
  NamedList<PrinterDriver, &PrinterDriver::name> installed;  // every version and environment
  std::vector<MovedDriverFile> moved;
};

// The environment `wanted` names ("" or null: the machine's own, "Windows x64"), compared
// without regard to case: its spelling and driver directory, or false.
bool FindDriverEnvironment(const WCHAR* wanted, std::string* name, std::string* directory);

// The hold the running spooler keeps on a driver file it has loaded, or null: every file but
// the help file of the drivers of the machine's own environment, and the loaded files it moved
// aside, while its process lives.
const FileHold* DriverHold(const std::string& windowsPath);

// The drivers a fresh x64 installation has (those of its default printers); `writeFiles` puts
// their files on the disk too.
void InstallInboxDrivers(bool writeFiles);

// Windows protected print mode: the policy value, or the switch in Settings (os.protectedPrint),
// on a Windows of build 26100 or later.
constexpr char kProtectedPrintPolicyKey[] = "HKLM\\Software\\Policies\\Microsoft\\Windows NT\\Printers\\WPP";
constexpr char kProtectedPrintPolicyValue[] = "WindowsProtectedPrintGroupPolicyState";
bool ProtectedPrintOn();
// Why the spooler will not load a monitor or a driver of `environment` on this machine (Arm64,
// protected print mode), or 0.
DWORD BlockedCode(const std::string& environment);
// Switches protected print mode on as Settings does: the printers of third-party drivers and
// those drivers with their files go.
void TurnOnProtectedPrint();

}  // namespace winsim
