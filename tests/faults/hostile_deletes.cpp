// Hostile machines for what the tool deletes: other programs' pending deletions (followed
// through a junction, in NT forms it must not misread, or simply not its own) and a monitor
// registered under the name of a system file.
#include <algorithm>

#include "sweep_hostile.h"
#include "sweep_machines.h"
#include "winsim/windows.h"

namespace {

const std::string kSystem = "C:\\Windows\\system32\\";
const std::string kUserTemp = "C:\\Users\\bob\\AppData\\Local\\Temp\\upd";

std::vector<std::string> Pending() {
  std::string data;
  std::vector<std::string> strings;
  if (winsim::GetRegValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, nullptr, &data))
    for (const std::u16string& s : winsim::MultiSzStrings(data)) strings.push_back(winsim::Utf8(s));
  return strings;
}

// Another program's entries, after those already queued.
void Queue(const std::vector<std::string>& strings) {
  std::vector<std::string> all = Pending();
  all.insert(all.end(), strings.begin(), strings.end());
  winsim::SetRegValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, REG_MULTI_SZ,
                      winsim::RegMultiSzBytes(all));
}

void Files(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) winsim::WriteMachineFile(path, "another program's");
}

// What became of others' files and entries: "" when all files are there and the entries still
// stand together, in order.
std::string Untouched(const std::vector<std::string>& files, const std::vector<std::string>& queued) {
  for (const std::string& file : files)
    if (!winsim::MachineFileExists(file)) return "deleted " + file;
  std::vector<std::string> now = Pending();
  if (std::search(now.begin(), now.end(), queued.begin(), queued.end()) == now.end())
    return "dropped the pending entry " + queued.front();
  return "";
}

// The product's monitor registered under another DLL name, whose file is there.
void RegisterMonitorAs(const std::string& dll, const std::string& file) {
  winsim::FindMonitor("LumascribeServer:")->dllName = dll;
  if (!file.empty()) Files({kSystem + file});
}

// Neither deleted nor queued for deletion at the restart.
std::string Spared(const std::string& path, bool isFile) {
  if (isFile && !winsim::MachineFileExists(path)) return "deleted " + path;
  for (const std::string& s : Pending()) {
    DWORD error = 0;
    if (winsim::EqualNoCase(winsim::FullWindowsPath(s, &error), path)) return "queued " + s + " for deletion";
  }
  return "";
}

const std::vector<std::string> kJunctioned = {"\\??\\" + kUserTemp + "\\netapi32.dll", ""};
const std::vector<std::string> kSystemRoot = {"\\SystemRoot\\Temp\\upd12.tmp", ""};
const std::vector<std::string> kDevice = {"\\Device\\HarddiskVolume3\\x\\a.bin", ""};
const std::vector<std::string> kUnc = {"\\??\\UNC\\srv\\share\\f.txt", ""};
const std::vector<std::string> kLongForm = {"\\\\?\\C:\\Users\\bob\\f.txt", ""};
const std::vector<std::string> kSettings = {"\\??\\C:\\ProgramData\\Other\\settings.db", ""};
const std::string kOldNine = kSystem + "spool\\DRIVERS\\x64\\3\\Old\\9";
const std::vector<std::string> kThroughJunction = {"\\??\\" + kOldNine + "\\lmsdrv64.dll", ""};

void JunctionSwap() {
  Files({kSystem + "netapi32.dll"});
  Queue(kJunctioned);
  winsim::MakeJunction(kUserTemp, "C:\\Windows\\system32");
}
std::string JunctionHarm() { return Untouched({kSystem + "netapi32.dll"}, kJunctioned); }

}  // namespace

const std::vector<HostileCase> kHostileDeleteCases = {
    {"a user's queued folder swapped for a junction to system32", sweep::InstalledMachine, JunctionSwap, "onInit",
     JunctionHarm},
    {"the same swap before an install", sweep::ConfiguredMachine, JunctionSwap, "install", JunctionHarm},
    {"a \\SystemRoot\\ name", sweep::InstalledMachine,
     [] {
       Files({"C:\\SystemRoot\\Temp\\upd12.tmp", "C:\\Windows\\Temp\\upd12.tmp"});
       Queue(kSystemRoot);
     },
     "install", [] { return Untouched({"C:\\SystemRoot\\Temp\\upd12.tmp", "C:\\Windows\\Temp\\upd12.tmp"}, kSystemRoot); }},
    {"a \\Device\\ name", sweep::FreshMachine,
     [] {
       Files({"C:\\Device\\HarddiskVolume3\\x\\a.bin", "C:\\x\\a.bin"});
       Queue(kDevice);
     },
     "onInit", [] { return Untouched({"C:\\Device\\HarddiskVolume3\\x\\a.bin", "C:\\x\\a.bin"}, kDevice); }},
    {"a \\??\\UNC\\ name", sweep::InstalledMachine,
     [] {
       Files({kSystem + "UNC\\srv\\share\\f.txt"});
       Queue(kUnc);
     },
     "uninstall", [] { return Untouched({kSystem + "UNC\\srv\\share\\f.txt"}, kUnc); }},
    {"a \\\\?\\ name", sweep::ConfiguredMachine,
     [] {
       Files({"C:\\Users\\bob\\f.txt"});
       Queue(kLongForm);
     },
     "install", [] { return Untouched({"C:\\Users\\bob\\f.txt"}, kLongForm); }},
    {"another program's settings.db queued for its restart", sweep::InstalledMachine,
     [] {
       Files({"C:\\ProgramData\\Other\\settings.db"});
       Queue(kSettings);
     },
     "onInit", [] { return Untouched({"C:\\ProgramData\\Other\\settings.db"}, kSettings); }},
    {"a product file queued below a junction", sweep::InstalledMachine,
     [] {
       Files({"C:\\Keep\\lmsdrv64.dll"});
       Queue(kThroughJunction);
       winsim::MakeJunction(kOldNine, "C:\\Keep");
     },
     "uninstall", [] { return Untouched({"C:\\Keep\\lmsdrv64.dll"}, kThroughJunction); }},
    {"the monitor registered as tcpmon.dll", sweep::InstalledMachine, [] { RegisterMonitorAs("tcpmon.dll", "tcpmon.dll"); },
     "uninstall", [] { return Spared(kSystem + "tcpmon.dll", true); }},
    {"the monitor registered as usbmon.dll.", sweep::InstalledMachine,
     [] { RegisterMonitorAs("usbmon.dll.", "usbmon.dll"); }, "install",
     [] { return Spared(kSystem + "usbmon.dll", true); }},
    {"the monitor registered as ...", sweep::InstalledMachine, [] { RegisterMonitorAs("...", ""); }, "uninstall",
     [] { return Spared("C:\\Windows\\system32", false); }},
};
