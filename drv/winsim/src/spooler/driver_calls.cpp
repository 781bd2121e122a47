// winspool: the printer drivers of each environment: enumeration, a printer's driver, installation
// and removal.
//
// Installation copies every file the record names into the environment's "3\" directory, as
// APD_COPY_ALL_FILES asks; the other copy modes are not simulated and copy the same way. A file
// there that the running spooler has loaded is moved aside into "3\Old\<n>\" first, where its
// process keeps it until it ends, as Windows does with loaded driver files it replaces or deletes;
// a deleted one is also queued for deletion at the next boot.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "winsim/machine.h"
#include "winsim/record_strings.h"
#include "winsim/windows.h"

using namespace winsim;

namespace {

const DWORD kRecordBytes[] = {0, sizeof(DRIVER_INFO_1W), sizeof(DRIVER_INFO_2W), sizeof(DRIVER_INFO_3W),
                              sizeof(DRIVER_INFO_4W), sizeof(DRIVER_INFO_5W), sizeof(DRIVER_INFO_6W)};
const DWORD kUserModeVersion = 3;

// Writes one record of `level` at `at` (null: only counts its strings).
void PackRecord(const PrinterDriver& d, DWORD level, LPBYTE at, StringPacker& strings) {
  if (level == 1) {
    DRIVER_INFO_1W record{};
    record.pName = strings.Put(Plain(d.name));
    return StoreRecord(at, record);
  }
  DRIVER_INFO_6W full{};
  full.cVersion = d.version;
  full.pName = strings.Put(Plain(d.name));
  full.pEnvironment = strings.Put(Plain(d.environment));
  full.pDriverPath = strings.Put(Plain(d.driverPath));
  full.pDataFile = strings.Put(Plain(d.dataFile));
  full.pConfigFile = strings.Put(Plain(d.configFile));
  if (level == 5) {
    DRIVER_INFO_5W record{full.cVersion, full.pName, full.pEnvironment, full.pDriverPath,
                          full.pDataFile, full.pConfigFile, 0, d.upgrades, d.upgrades};
    return StoreRecord(at, record);
  }
  if (level >= 3) {
    full.pHelpFile = strings.Put(Optional(d.helpFile));
    full.pDependentFiles = strings.Put(MultiString(d.dependentFiles));
    full.pMonitorName = strings.Put(Optional(d.monitorName));
    full.pDefaultDataType = strings.Put(Optional(d.defaultDataType));
  }
  if (level >= 4) full.pszzPreviousNames = strings.Put(MultiString(d.previousNames));
  if (level == 6) {
    full.ftDriverDate = {DWORD(d.driverDate), DWORD(d.driverDate >> 32)};
    full.dwlDriverVersion = d.driverVersion;
    full.pszMfgName = strings.Put(Optional(d.mfgName));
    full.pszOEMUrl = strings.Put(Optional(d.oemUrl));
    full.pszHardwareID = strings.Put(Optional(d.hardwareId));
    full.pszProvider = strings.Put(Optional(d.provider));
  }
  // Levels 2 to 4 are leading parts of level 6.
  if (at) std::memcpy(at, &full, kRecordBytes[level]);
}

// The records of `level` for `drivers`, their strings packed behind them, by the two-call
// sizing protocol: `*needed` is always set; false when `size` is below it.
bool PackRecords(const std::vector<const PrinterDriver*>& drivers, DWORD level, LPBYTE buffer, DWORD size,
                 LPDWORD needed) {
  StringPacker counter(nullptr, 0);
  for (const PrinterDriver* d : drivers) PackRecord(*d, level, nullptr, counter);
  *needed = DWORD(drivers.size()) * kRecordBytes[level] + counter.bytes();
  if (size < *needed) return false;
  StringPacker strings(buffer, size);
  for (size_t i = 0; i < drivers.size(); ++i) PackRecord(*drivers[i], level, buffer + i * kRecordBytes[level], strings);
  return true;
}

std::vector<const PrinterDriver*> DriversOf(const std::string& environment) {
  std::vector<const PrinterDriver*> list;
  for (const PrinterDriver& d : M().drivers.installed)
    if (EqualNoCase(d.environment, environment)) list.push_back(&d);
  return list;
}

std::vector<std::string> MultiStringList(const WCHAR* text) {
  std::vector<std::string> list;
  for (; text && *text; text += std::u16string(text).size() + 1) list.push_back(Utf8(text));
  return list;
}

std::string FileName(const std::string& path) {
  size_t at = path.find_last_of("\\/");
  return at == std::string::npos ? path : path.substr(at + 1);
}

std::string ParentOf(const std::string& path) {
  size_t at = path.find_last_of("\\/");
  return at == std::string::npos ? std::string() : path.substr(0, at);
}

// A bare file name lies in the environment's driver directory.
std::string SourcePath(const std::string& driverDir, const std::string& file) {
  return file.find_first_of("\\/:") == std::string::npos ? driverDir + "\\" + file : file;
}

bool SameFile(const std::string& a, const std::string& b) { return ResolvePath(a).path == ResolvePath(b).path; }

// Moves a loaded driver file into "Old\<n>\" beside it, where the running process keeps it:
// its new path, or empty.
std::string MoveAside(const std::string& path) {
  std::string name = FileName(path);
  std::string target;
  for (int n = 1; target.empty() || MachineFileExists(target); ++n)
    target = ParentOf(path) + "\\Old\\" + std::to_string(n) + "\\" + name;
  std::error_code ec;
  std::filesystem::path host = ResolvePath(target).path;
  std::filesystem::create_directories(host.parent_path(), ec);
  std::filesystem::rename(ResolvePath(path).path, host, ec);
  if (ec) return std::string();
  M().drivers.moved.push_back({target, SpoolerStarts()});
  return target;
}

std::vector<std::string> FilesOf(const PrinterDriver& d) {
  std::vector<std::string> files = {d.driverPath, d.dataFile, d.configFile, d.helpFile};
  files.insert(files.end(), d.dependentFiles.begin(), d.dependentFiles.end());
  std::erase(files, std::string());
  return files;
}

// The driver's files as its record names them, each file once.
std::vector<std::string> DistinctFiles(const std::vector<std::string>& files) {
  std::vector<std::string> distinct;
  for (const std::string& file : files) {
    bool seen = false;
    for (const std::string& known : distinct) seen = seen || SameFile(known, file);
    if (!seen) distinct.push_back(file);
  }
  return distinct;
}

// Copies the sources into `versionDir` and returns their new paths in `targets`, or the error.
DWORD CopyDriverFiles(const std::vector<std::string>& sources, const std::string& versionDir,
                      std::vector<std::string>* targets) {
  for (const std::string& source : sources) {
    if (!MachineFileExists(source)) return ERROR_FILE_NOT_FOUND;
    std::string target = versionDir + "\\" + FileName(source);
    if (!SameFile(source, target) && MachineFileExists(target) && !DriverHold(target) && HoldOn(target))
      return ERROR_SHARING_VIOLATION;  // open in another program: nothing is changed
    targets->push_back(target);
  }
  std::error_code ec;
  // The copies must fit on the disk (counted as WriteFile counts them); a full disk fails the
  // call with ERROR_DISK_FULL before anything is copied.
  uint64_t bytes = 0;
  for (size_t i = 0; i < sources.size(); ++i) {
    uint64_t size = std::filesystem::file_size(ResolvePath(sources[i]).path, ec);
    if (!ec && !SameFile(sources[i], (*targets)[i])) bytes += size;
  }
  uint64_t& freeBytes = M().files.freeBytes;
  if (bytes > freeBytes) return ERROR_DISK_FULL;
  if (freeBytes != UINT64_MAX) freeBytes -= bytes;
  std::filesystem::create_directories(ResolvePath(versionDir).path, ec);
  for (size_t i = 0; i < sources.size(); ++i) {
    const std::string& target = (*targets)[i];
    if (SameFile(sources[i], target)) continue;
    if (MachineFileExists(target) && DriverHold(target) && MoveAside(target).empty()) return ERROR_ACCESS_DENIED;
    std::filesystem::copy_file(ResolvePath(sources[i]).path, ResolvePath(target).path,
                               std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) return ERROR_ACCESS_DENIED;
  }
  return ERROR_SUCCESS;
}

bool UsedByPrinter(const std::string& environment, const std::string& driver) {
  std::string own;
  FindDriverEnvironment(nullptr, &own, nullptr);
  if (!EqualNoCase(environment, own)) return false;  // printers use their machine's drivers
  for (const Printer& printer : M().spooler.printers)
    if (!printer.connection && EqualNoCase(printer.driverName, driver)) return true;
  return false;
}

}  // namespace

BOOL EnumPrinterDriversW(LPWSTR server, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                         LPDWORD needed, LPDWORD returned) {
  Trace("EnumPrinterDriversW", Utf8(environment) + " " + std::to_string(level) + " " + std::to_string(size));
  if (DWORD error = FaultFor("EnumPrinterDriversW", Utf8(environment))) return Fail(error, FALSE);
  if (DWORD error = SpoolerUnavailable()) return Fail(error, FALSE);
  if (server && *server) return Fail(DWORD(RPC_S_SERVER_UNAVAILABLE), FALSE);
  if (level < 1 || level > 6) return Fail(DWORD(ERROR_INVALID_LEVEL), FALSE);
  if (!needed || !returned) return Fail(DWORD(RPC_X_NULL_REF_POINTER), FALSE);
  if (!buffer && size) return Fail(DWORD(ERROR_INVALID_USER_BUFFER), FALSE);
  std::string name;
  if (!FindDriverEnvironment(environment, &name, nullptr)) return Fail(DWORD(ERROR_INVALID_ENVIRONMENT), FALSE);
  *returned = 0;
  std::vector<const PrinterDriver*> drivers = DriversOf(name);
  if (!PackRecords(drivers, level, buffer, size, needed)) return Fail(DWORD(ERROR_INSUFFICIENT_BUFFER), FALSE);
  *returned = DWORD(drivers.size());
  return TRUE;
}

BOOL GetPrinterDriverW(HANDLE printer, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                       LPDWORD needed) {
  PrinterHandle* open = FindPrinterHandle(printer);
  std::string printerName = open ? open->printer : "?";
  Trace("GetPrinterDriverW", printerName + " " + Utf8(environment) + " " + std::to_string(level) + " " +
                                 std::to_string(size));
  if (DWORD error = FaultFor("GetPrinterDriverW", printerName)) return Fail(error, FALSE);
  DWORD error = 0;
  const Printer* found = PrinterOf(printer, &error);
  if (!found) return Fail(error, FALSE);
  if (level < 1 || level > 6) return Fail(DWORD(ERROR_INVALID_LEVEL), FALSE);
  if (!needed) return Fail(DWORD(RPC_X_NULL_REF_POINTER), FALSE);
  if (!buffer && size) return Fail(DWORD(ERROR_INVALID_USER_BUFFER), FALSE);
  const DWORD reading = PRINTER_ACCESS_USE | PRINTER_ACCESS_ADMINISTER | PRINTER_ACCESS_MANAGE_LIMITED;
  if (!(open->access & reading)) return Fail(DWORD(ERROR_ACCESS_DENIED), FALSE);
  std::string env;
  if (!FindDriverEnvironment(environment, &env, nullptr)) return Fail(DWORD(ERROR_INVALID_ENVIRONMENT), FALSE);
  // The printer's driver as installed for that environment: the first version of that name.
  std::vector<const PrinterDriver*> drivers;
  for (const PrinterDriver* d : DriversOf(env))
    if (drivers.empty() && EqualNoCase(d->name, found->driverName)) drivers.push_back(d);
  if (drivers.empty()) return Fail(DWORD(ERROR_UNKNOWN_PRINTER_DRIVER), FALSE);
  if (!PackRecords(drivers, level, buffer, size, needed)) {
    if (buffer) std::memset(buffer, 0, size);  // the spooler clears a buffer that was too small
    return Fail(DWORD(ERROR_INSUFFICIENT_BUFFER), FALSE);
  }
  return TRUE;
}

BOOL AddPrinterDriverExW(LPWSTR server, DWORD level, LPBYTE info, DWORD copyFlags) {
  const auto* base = reinterpret_cast<const DRIVER_INFO_2W*>(info);
  std::string name = base ? Utf8(base->pName) : std::string();
  Trace("AddPrinterDriverExW", name + " " + std::to_string(level) + " " + std::to_string(copyFlags));
  if (DWORD error = FaultFor("AddPrinterDriverExW", name)) return Fail(error, FALSE);
  if (DWORD error = SpoolerUnavailable()) return Fail(error, FALSE);
  if (server && *server) return Fail(DWORD(RPC_S_SERVER_UNAVAILABLE), FALSE);
  if (level != 2 && level != 3 && level != 4 && level != 6) return Fail(DWORD(ERROR_INVALID_LEVEL), FALSE);
  if (!base) return Fail(DWORD(ERROR_INVALID_PARAMETER), FALSE);
  PrinterDriver d;
  std::string driverDir;
  if (!FindDriverEnvironment(base->pEnvironment, &d.environment, &driverDir))
    return Fail(DWORD(ERROR_INVALID_ENVIRONMENT), FALSE);
  if (DWORD error = BlockedCode(d.environment)) return Fail(error, FALSE);
  d.name = name;
  d.version = kUserModeVersion;
  std::string driverFile = Utf8(base->pDriverPath);
  std::string dataFile = Utf8(base->pDataFile);
  std::string configFile = Utf8(base->pConfigFile);
  if (d.name.empty() || driverFile.empty() || dataFile.empty() || configFile.empty())
    return Fail(DWORD(ERROR_INVALID_PARAMETER), FALSE);
  std::string helpFile;
  std::vector<std::string> dependents;
  if (level >= 3) {
    const auto* three = reinterpret_cast<const DRIVER_INFO_3W*>(info);
    helpFile = Utf8(three->pHelpFile);
    dependents = MultiStringList(three->pDependentFiles);
    d.monitorName = Utf8(three->pMonitorName);
    d.defaultDataType = Utf8(three->pDefaultDataType);
  }
  if (level >= 4) d.previousNames = MultiStringList(reinterpret_cast<const DRIVER_INFO_4W*>(info)->pszzPreviousNames);
  if (level == 6) {
    const auto* six = reinterpret_cast<const DRIVER_INFO_6W*>(info);
    d.driverDate = uint64_t(six->ftDriverDate.dwHighDateTime) << 32 | six->ftDriverDate.dwLowDateTime;
    d.driverVersion = six->dwlDriverVersion;
    d.mfgName = Utf8(six->pszMfgName);
    d.oemUrl = Utf8(six->pszOEMUrl);
    d.hardwareId = Utf8(six->pszHardwareID);
    d.provider = Utf8(six->pszProvider);
  }
  std::vector<std::string> named = {driverFile, dataFile, configFile};
  if (!helpFile.empty()) named.push_back(helpFile);
  named.insert(named.end(), dependents.begin(), dependents.end());
  for (std::string& file : named) file = SourcePath(driverDir, file);
  std::vector<std::string> sources = DistinctFiles(named);
  std::vector<std::string> targets;
  std::string versionDir = driverDir + "\\" + std::to_string(d.version);
  if (DWORD error = CopyDriverFiles(sources, versionDir, &targets)) return Fail(error, FALSE);
  auto installedPath = [&](const std::string& file) {
    return versionDir + "\\" + FileName(SourcePath(driverDir, file));
  };
  d.driverPath = installedPath(driverFile);
  d.dataFile = installedPath(dataFile);
  d.configFile = installedPath(configFile);
  if (!helpFile.empty()) d.helpFile = installedPath(helpFile);
  for (const std::string& file : dependents) d.dependentFiles.push_back(installedPath(file));
  if (PrinterDriver* old = M().drivers.installed.Find(d.name, [&](const PrinterDriver& o) {
        return EqualNoCase(o.environment, d.environment) && o.version == d.version;
      })) {
    d.upgrades = old->upgrades + 1;
    *old = d;
    return TRUE;
  }
  M().drivers.installed.push_back(d);
  return TRUE;
}

BOOL DeletePrinterDriverExW(LPWSTR server, LPWSTR environment, LPWSTR driverName, DWORD deleteFlags,
                            DWORD versionFlag) {
  std::string name = Utf8(driverName);
  Trace("DeletePrinterDriverExW", Utf8(environment) + " " + name + " " + std::to_string(deleteFlags) + " " +
                                      std::to_string(versionFlag));
  if (DWORD error = FaultFor("DeletePrinterDriverExW", name)) return Fail(error, FALSE);
  if (DWORD error = SpoolerUnavailable()) return Fail(error, FALSE);
  if (server && *server) return Fail(DWORD(RPC_S_SERVER_UNAVAILABLE), FALSE);
  std::string env;
  if (!FindDriverEnvironment(environment, &env, nullptr)) return Fail(DWORD(ERROR_INVALID_ENVIRONMENT), FALSE);
  if (name.empty()) return Fail(DWORD(ERROR_INVALID_PARAMETER), FALSE);
  auto& installed = M().drivers.installed;
  auto targeted = [&](const PrinterDriver& d) {
    return EqualNoCase(d.environment, env) && EqualNoCase(d.name, name) &&
           (!(deleteFlags & DPD_DELETE_SPECIFIC_VERSION) || d.version == versionFlag);
  };
  std::vector<std::string> files;
  bool found = false;
  for (const PrinterDriver& d : installed) {
    if (!targeted(d)) continue;
    found = true;
    std::vector<std::string> own = FilesOf(d);
    files.insert(files.end(), own.begin(), own.end());
  }
  if (!found) return Fail(DWORD(ERROR_UNKNOWN_PRINTER_DRIVER), FALSE);
  if (UsedByPrinter(env, name)) return Fail(DWORD(ERROR_PRINTER_DRIVER_IN_USE), FALSE);
  std::vector<std::string> doomed;
  if (deleteFlags & (DPD_DELETE_ALL_FILES | DPD_DELETE_UNUSED_FILES)) {
    for (const std::string& file : DistinctFiles(files)) {
      bool shared = false;
      for (const PrinterDriver& other : installed)
        if (!targeted(other) && EqualNoCase(other.environment, env))
          for (const std::string& theirs : FilesOf(other)) shared = shared || SameFile(theirs, file);
      if (shared && (deleteFlags & DPD_DELETE_ALL_FILES)) return Fail(DWORD(ERROR_PRINTER_DRIVER_IN_USE), FALSE);
      if (shared || !MachineFileExists(file)) continue;
      const FileHold* hold = HoldOn(file);
      if (hold && !DriverHold(file)) return Fail(hold->deleteError, FALSE);  // open in another program
      doomed.push_back(file);
    }
  }
  // Whether the spooler has a file loaded is known only while the driver is still installed.
  std::vector<bool> loaded;
  for (const std::string& file : doomed) loaded.push_back(DriverHold(file) != nullptr);
  installed.RemoveIf(targeted);
  std::error_code ec;
  for (size_t i = 0; i < doomed.size(); ++i) {
    if (!loaded[i]) {
      std::filesystem::remove(ResolvePath(doomed[i]).path, ec);
      continue;
    }
    // "If the driver files are currently loaded, the function moves them to a temporary directory
    // and marks them for deletion on restart" (DeletePrinterDriverEx, Remarks, Microsoft Learn).
    std::string moved = MoveAside(doomed[i]);
    if (!moved.empty()) QueueDeletionAtBoot(moved);
  }
  return TRUE;
}
