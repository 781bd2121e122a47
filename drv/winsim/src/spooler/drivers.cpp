// The spooler's drivers as machine state: environments, the files its process has loaded, and
// the drivers of a fresh installation.
#include "winsim/drivers.h"

#include <filesystem>

#include "winsim/machine.h"
#include "winsim/windows.h"

namespace winsim {

namespace {

const char kOwnEnvironment[] = "Windows x64";

// The process that loads drivers lives from reaching "running" until it has stopped.
bool SpoolerProcessAlive(uint32_t* starts) {
  const Service* spooler = FindService("Spooler");
  if (!spooler || spooler->state == SERVICE_STOPPED || spooler->state == SERVICE_START_PENDING) return false;
  *starts = spooler->starts;
  return true;
}

bool LoadedFile(const PrinterDriver& driver, const std::filesystem::path& target) {
  if (!EqualNoCase(driver.environment, kOwnEnvironment)) return false;  // other CPUs' files
  std::vector<const std::string*> files = {&driver.driverPath, &driver.dataFile, &driver.configFile};
  for (const std::string& file : driver.dependentFiles) files.push_back(&file);
  for (const std::string* file : files)
    if (!file->empty() && ResolvePath(*file).path == target) return true;
  return false;
}

}  // namespace

bool FindDriverEnvironment(const WCHAR* wanted, std::string* name, std::string* directory) {
  std::string text = wanted && *wanted ? Utf8(wanted) : kOwnEnvironment;
  for (const auto& [known, dir] : M().spooler.driverDirs) {
    if (!EqualNoCase(known, text)) continue;
    if (name) *name = known;
    if (directory) *directory = dir;
    return true;
  }
  return false;
}

const FileHold* DriverHold(const std::string& windowsPath) {
  static FileHold hold;
  uint32_t starts = 0;
  if (!SpoolerProcessAlive(&starts)) return nullptr;
  std::filesystem::path target = ResolvePath(windowsPath).path;
  bool held = false;
  for (const PrinterDriver& driver : M().drivers.installed) held = held || LoadedFile(driver, target);
  for (const MovedDriverFile& file : M().drivers.moved)
    held = held || (file.spoolerStart == starts && ResolvePath(file.path).path == target);
  if (!held) return nullptr;
  hold = FileHold{windowsPath, "spooler", UINT64_MAX, ERROR_ACCESS_DENIED};
  return &hold;
}

void InstallInboxDrivers(bool writeFiles) {
  const std::string root = M().spooler.driverDirs["Windows x64"];
  auto inbox = [&root, writeFiles](const std::string& name, DWORD version, const std::string& driver,
                       const std::string& data, const std::string& config,
                       std::vector<std::string> dependents, const std::string& hardwareId) {
    std::string dir = root + "\\" + std::to_string(version) + "\\";
    PrinterDriver d;
    d.environment = "Windows x64";
    d.name = name;
    d.version = version;
    d.driverPath = dir + driver;
    d.dataFile = dir + data;
    d.configFile = dir + config;
    for (std::string& file : dependents) file = dir + file;
    d.dependentFiles = dependents;
    d.defaultDataType = "RAW";
    d.driverDate = 0x01C694C5A38C8000ull;  // 21 June 2006
    d.driverVersion = 0x000A00004A610001ull;  // 10.0.19041.1
    d.mfgName = "Microsoft";
    d.provider = "Microsoft";
    d.hardwareId = hardwareId;
    std::vector<std::string> files = {d.driverPath, d.dataFile, d.configFile};
    files.insert(files.end(), d.dependentFiles.begin(), d.dependentFiles.end());
    for (const std::string& file : files)
      if (writeFiles) WriteMachineFile(file, "inbox driver file " + file + "\n");
    M().drivers.installed.push_back(d);
  };
  // The two v4 drivers share their renderer and configuration module.
  inbox("Microsoft Print To PDF", 4, "mxdwdrv.dll", "MPDW-PDC.xml", "PrintConfig.dll",
        {"MPDW-manifest.ini", "MPDW-constraints.js"}, "microsoftmicrosoft_print_to_pdf");
  inbox("Microsoft XPS Document Writer v4", 4, "mxdwdrv.dll", "MXDW-PDC.xml", "PrintConfig.dll",
        {"MXDW-manifest.ini"}, "microsoftmicrosoft_xps_document_writer_v4");
  inbox("Microsoft Shared Fax Driver", 3, "FXSDRV.DLL", "FXSUI.DLL", "FXSUI.DLL",
        {"FXSWZRD.DLL", "FXSTIFF.DLL", "FXSRES.DLL", "FXSAPI.DLL"}, "");
}

}  // namespace winsim
