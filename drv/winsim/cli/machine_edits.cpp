#include "machine_edits.h"

#include <algorithm>

#include "winsim/host.h"
#include "winsim/machine.h"
#include "winsim/version_files.h"
#include "winsim/windows.h"

namespace winsim {

namespace {

std::string CallFailed(const char* call) { return std::string(call) + " failed with error " + std::to_string(GetLastError()); }

// The product stores its settings key name as "SubKey" in the printer's data and in "DsUser".
std::string WriteSubKey(HANDLE printer, const std::string& subKey) {
  auto* data = reinterpret_cast<LPBYTE>(const_cast<char*>(subKey.c_str()));
  DWORD bytes = DWORD(subKey.size() + 1);
  DWORD error = SetPrinterDataA(printer, const_cast<char*>("SubKey"), REG_SZ, data, bytes);
  if (error == ERROR_SUCCESS) error = SetPrinterDataExA(printer, "DsUser", "SubKey", REG_SZ, data, bytes);
  return error == ERROR_SUCCESS ? "" : "SetPrinterDataA failed with error " + std::to_string(error);
}

}  // namespace

std::string AddPrinter(const PrinterSpec& spec) {
  std::u16string name = Wide(spec.name), share = Wide(spec.share), port = Wide(spec.port),
                 driver = Wide(spec.driver), comment = Wide(spec.comment), location = Wide(spec.location),
                 processor = u"winprint", datatype = u"RAW";
  PRINTER_INFO_2W info = {};
  info.pPrinterName = name.data();
  info.pShareName = spec.share.empty() ? nullptr : share.data();
  info.pPortName = port.data();
  info.pDriverName = driver.data();
  info.pComment = comment.data();
  info.pLocation = location.data();
  info.pPrintProcessor = processor.data();
  info.pDatatype = datatype.data();
  info.Attributes = PRINTER_ATTRIBUTE_LOCAL | (spec.share.empty() ? 0 : PRINTER_ATTRIBUTE_SHARED);
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  if (!printer) return CallFailed("AddPrinterW");
  std::string problem = spec.subKey.empty() ? "" : WriteSubKey(printer, spec.subKey);
  ClosePrinter(printer);
  if (problem.empty() && spec.makeDefault && !SetDefaultPrinterW(name.c_str())) problem = CallFailed("SetDefaultPrinterW");
  return problem;
}

std::string RemovePrinter(const std::string& name) {
  std::u16string wide = Wide(name);
  PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(wide.data(), &printer, &defaults)) return CallFailed("OpenPrinterW");
  std::string problem = DeletePrinter(printer) ? "" : CallFailed("DeletePrinter");
  ClosePrinter(printer);
  return problem;
}

std::string SetAcl(const std::string& path, const std::string& owner, bool protect,
                   const std::vector<std::string>& grants, const std::vector<std::string>& removals) {
  HostPath found;
  if (LocateExisting(path, &found)) return path + ": no such file or folder on the machine";
  std::vector<Ace> added;
  for (const std::string& grant : grants) {
    Ace ace;
    if (AccountSid(grant.substr(0, grant.rfind(':'))).empty()) return "'" + grant + "': no such account";
    if (!ParseGrant(grant, &ace)) return "'" + grant + "': expected ACCOUNT:(OI)(CI)RIGHTS (F, M, RX, R, W, AD, WD or a number)";
    added.push_back(ace);
  }
  std::vector<std::string> gone;
  for (const std::string& account : removals) {
    gone.push_back(AccountSid(account));
    if (gone.back().empty()) return "'" + account + "': no such account";
  }
  std::string ownerSid = owner.empty() ? "" : AccountSid(owner);
  if (!owner.empty() && ownerSid.empty()) return "'" + owner + "': no such account";
  Security now = SecurityOf(path);
  PathSecurity& record = SecurityRecord(path);
  if (protect && !record.isProtected) {
    record.isProtected = true;
    for (const Ace& ace : now.dacl)
      if (ace.flags & kInherited) record.entries.push_back({ace.type, uint8_t(ace.flags & ~kInherited), ace.mask, ace.sid});
  }
  if (!ownerSid.empty()) record.owner = ownerSid;
  std::erase_if(record.entries, [&](const Ace& ace) { return std::find(gone.begin(), gone.end(), ace.sid) != gone.end(); });
  record.entries.insert(record.entries.end(), added.begin(), added.end());
  return "";
}

std::string HoldPath(const std::string& path, int64_t ms, uint32_t deleteError) {
  if (!MachineFileExists(path)) return path + ": no such file on the machine";
  HoldFile(path, "winsim hold", ms < 0 ? UINT64_MAX : M().clock.nowMs + uint64_t(ms), deleteError);
  return "";
}

std::string PutProductFile(const std::string& path, uint16_t build, bool readOnly) {
  std::string name = path.substr(path.rfind('\\') + 1);
  std::u16string wide = Wide(path);
  // A read-only file there is made writable first, as a person would.
  if (MachineFileExists(path) && !SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL))
    return CallFailed("SetFileAttributesW");
  if (!WriteVersionedFile(path, 1, 0, 0, build, "Lumascribe " + name, ProductExports(name)))
    return path + ": cannot be written";
  if (readOnly && !SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY)) return CallFailed("SetFileAttributesW");
  return "";
}

std::string DeleteAtRestart(const std::string& path) {
  std::u16string wide = Wide(path);
  return MoveFileExW(wide.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) ? "" : CallFailed("MoveFileExW");
}

std::string SetSpooler(bool running, std::optional<int64_t> startDelayMs, std::optional<int64_t> stopDelayMs) {
  Service* spooler = FindService("Spooler");
  if (!spooler) return "the machine has no Spooler service";
  if (running && spooler->state != SERVICE_RUNNING) ++spooler->starts;
  spooler->state = running ? SERVICE_RUNNING : SERVICE_STOPPED;
  spooler->pendingSinceMs = M().clock.nowMs;
  spooler->startDelayMs = startDelayMs.value_or(spooler->startDelayMs);
  spooler->stopDelayMs = stopDelayMs.value_or(spooler->stopDelayMs);
  return "";
}

std::string InstallProduct() {
  if (int code = RunTool({"install"}, false); code != 1) return "the install ended with " + std::to_string(code);
  PrinterSpec office;
  office.name = "Office";
  office.comment = "Second floor";
  office.location = "Room 2.14";
  office.makeDefault = true;
  office.subKey = "Office";
  PrinterSpec home;
  home.name = "Home";
  home.share = "LumHome";
  home.subKey = "Home";
  for (const PrinterSpec& spec : {office, home})
    if (std::string problem = AddPrinter(spec); !problem.empty()) return problem;
  if (std::string problem = RemovePrinter("lumServer"); !problem.empty()) return problem;
  int code = RunTool({"install"}, false);
  return code == 1 ? "" : "the reinstall ended with " + std::to_string(code);
}

}  // namespace winsim
