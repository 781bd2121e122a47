// Machines where the package lies where others can change it, or is changed during the run:
// what an install copies and starts must come only from where administrators keep it.
#include <cstdio>
#include <filesystem>

#include "sweep_hostile.h"
#include "sweep_machines.h"
#include "winsim/windows.h"

namespace {

using winsim::M;
const std::string kPackage = "C:\\Program Files\\Lumascribe";

std::string Log() { return M().ui.dialogs.empty() ? "" : M().ui.dialogs.back().itemTexts[1001]; }

// The package moved (copied) to `folder`, the tool started from there.
void MovePackage(const std::string& folder) {
  std::filesystem::path to = winsim::ResolvePath(folder).path;
  std::filesystem::create_directories(to.parent_path());
  std::filesystem::copy(winsim::ResolvePath(kPackage).path, to, std::filesystem::copy_options::recursive);
  M().os.modulePath = folder + "\\install\\install.exe";
}

std::string Bob() { return M().security.desktop.sid; }

// Refused before anything changed: error 29 naming `path` (and `account`), nothing copied or started.
template <const char* Path, const char* Account> std::string Refused() {
  if (winsim::CountCalls("CreateProcessW") || winsim::CountCalls("CreateProcessWithTokenW")) return "a program was started";
  if (winsim::CountCalls("DeletePrinterDriverExW") || winsim::CountCalls("DeleteMonitorW")) return "a removal began";
  std::string log = Log(), account = *Account ? Account : Bob();
  if (log.find("Error(29): The package's " + std::string(Path)) == std::string::npos) return "no error 29 naming " + std::string(Path);
  if (log.find(account) == std::string::npos && log.find("reparse") == std::string::npos) return "the account is not named";
  return "";
}

const char kDownloads[] = "C:\\Users\\Bob", kRootFolder[] = "C:\\pkg", kLumascribe[] = "C:\\Program Files\\Lumascribe",
           kDriver[] = "C:\\Program Files\\Lumascribe\\install\\lmsdrv64.dll", kNone[] = "", kUsers[] = "S-1-5-11",
           kEveryone[] = "S-1-1-0";

// Another program swaps the driver DLL once the uninstall has begun; the reinstall must copy the
// bytes it checked, and the swap must fail.
std::string SwapHarm() {
  std::string installed, checked;
  winsim::ReadMachineFile("C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\lmsdrv64.dll", &installed);
  winsim::ReadMachineFile(kDriver, &checked);
  if (M().files.swaps[0].outcome != "refused") return "the swap was " + M().files.swaps[0].outcome;
  return installed == checked && installed != "Bob's" ? "" : "the installed driver is not the checked one";
}

// The log file's name of this run at this second.
std::string LogName(const char* suffix) {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  char stamp[64];
  std::snprintf(stamp, sizeof(stamp), "%04d%02d%02d-%02d%02d%02d-", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  return M().os.tempDir + "Lumascribe-install-" + stamp + std::to_string(M().processes.nextPid) + suffix + ".log";
}

std::string planted;  // the log name planted, and the one the run must take instead

}  // namespace

const std::vector<HostileCase> kHostilePackageCases = {
    {"the package in Bob's Downloads", sweep::InstalledMachine,
     [] { MovePackage("C:\\Users\\Bob\\Downloads\\Lumascribe"); }, "install", Refused<kDownloads, kNone>},
    {"the package in a folder made in C:\\", sweep::InstalledMachine, [] { MovePackage("C:\\pkg"); }, "install",
     Refused<kRootFolder, kUsers>},
    {"the package in a deployment cache", sweep::ConfiguredMachine,
     [] { MovePackage("C:\\Windows\\IMECache\\a1b2"); }, "install",
     [] {
       bool installed = M().drivers.installed.Find("Lumascribe Server") && winsim::CountCalls("AddPrinterDriverExW");
       return installed && Log().find("Error(") == std::string::npos ? std::string() : "refused or failed";
     }},
    // Only on the folder: its files inherit nothing of it, yet anyone may replace them.
    {"an Everyone entry adding and deleting files in the package's folder", sweep::InstalledMachine,
     [] {
       winsim::SecurityRecord(kPackage).entries.push_back(
           {winsim::kAllowAce, winsim::kContainerInherit, FILE_ADD_FILE | FILE_DELETE_CHILD, "S-1-1-0"});
     },
     "install", Refused<kLumascribe, kEveryone>},
    {"a package file owned by Bob", sweep::InstalledMachine, [] { winsim::SecurityRecord(kDriver).owner = Bob(); },
     "install", Refused<kDriver, kNone>},
    {"a junction in the package's path", sweep::InstalledMachine,
     [] {
       MovePackage("C:\\Windows\\ccmcache\\a");
       winsim::MakeJunction("C:\\Windows\\ccmcache\\j", "C:\\Windows\\ccmcache\\a");
       M().os.modulePath = "C:\\Windows\\ccmcache\\j\\install\\install.exe";
     },
     "install", [] { return Log().find("Error(29): The package's C:\\Windows\\ccmcache\\j is a reparse point") != std::string::npos ? std::string() : "no error 29 for the junction"; }},
    {"the driver DLL swapped during the run", sweep::ConfiguredMachine,
     [] { M().files.swaps.push_back({kDriver, "DeletePrinterDriverExW", "Bob's", ""}); }, "install", SwapHarm},
    {"a planted log name", sweep::ConfiguredMachine,
     [] {
       winsim::WriteMachineFile(LogName(""), "planted");
       planted = LogName("-2");
     },
     "install",
     [] {
       std::string log;
       winsim::ReadMachineFile(planted, &log);
       return log.ends_with("exit code 1\r\n") ? std::string() : "no log file with the run as " + planted;
     }},
};
