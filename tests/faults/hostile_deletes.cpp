// Hostile machines for what the tool deletes: other programs' pending deletions (through a
// junction, in NT forms not to be misread, or simply not the product's) and a monitor
// registered under the name of a system file; every file read-only.
#include <algorithm>
#include <filesystem>

#include "sweep_hostile.h"
#include "sweep_machines.h"
#include "winsim/file_state.h"
#include "winsim/version_files.h"
#include "winsim/windows.h"

namespace {

const std::string kSys = "C:\\Windows\\system32\\", kOld9 = kSys + "spool\\DRIVERS\\x64\\3\\Old\\9";

// What a case puts on its base: files of others (which must stay, and not be queued for deletion
// unless already), another program's queued entries (which must stay together, in order), a
// junction, the DLL name the product's monitor is registered under; or, `readOnly`, those files
// and every product file read-only (as copied from a CD), the monitor's of an older build.
struct Edit {
  std::vector<std::string> files, queued;
  std::string junction, target, monitorDll;
  bool readOnly = false;
};

const Edit kEdits[] = {
    {{kSys + "netapi32.dll"}, {"\\??\\C:\\Users\\bob\\Temp\\upd\\netapi32.dll", ""}, "C:\\Users\\bob\\Temp\\upd", kSys, ""},
    {{"C:\\SystemRoot\\Temp\\upd12.tmp", "C:\\Windows\\Temp\\upd12.tmp"}, {"\\SystemRoot\\Temp\\upd12.tmp", ""}, "", "", ""},
    {{"C:\\Device\\HarddiskVolume3\\x\\a.bin", "C:\\x\\a.bin"}, {"\\Device\\HarddiskVolume3\\x\\a.bin", ""}, "", "", ""},
    {{kSys + "UNC\\srv\\share\\f.txt"}, {"\\??\\UNC\\srv\\share\\f.txt", ""}, "", "", ""},
    {{"C:\\Users\\bob\\f.txt"}, {"\\\\?\\C:\\Users\\bob\\f.txt", ""}, "", "", ""},
    {{"C:\\ProgramData\\Other\\settings.db"}, {"\\??\\C:\\ProgramData\\Other\\settings.db", ""}, "", "", ""},
    {{"C:\\Keep\\lmsdrv64.dll"}, {"\\??\\" + kOld9 + "\\lmsdrv64.dll", ""}, kOld9, "C:\\Keep", ""},
    {{kSys + "tcpmon.dll"}, {}, "", "", "tcpmon.dll"},
    {{kSys + "usbmon.dll"}, {}, "", "", "usbmon.dll."},
    {{kSys, "C:\\Windows"}, {}, "", "", "..."},
    {{kSys + "other.dat"}, {"\\??\\" + kSys + "other.dat", ""}, "", "", "", true},
};

std::vector<std::string> Pending() {
  std::string data;
  std::vector<std::string> strings;
  if (winsim::GetRegValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, nullptr, &data))
    for (const std::u16string& s : winsim::MultiSzStrings(data)) strings.push_back(winsim::Utf8(s));
  return strings;
}

template <int N> void Apply() {
  const Edit& e = kEdits[N];
  for (const std::string& file : e.files)
    if (!std::filesystem::is_directory(winsim::ResolvePath(file).path)) winsim::WriteMachineFile(file, "another program's");
  std::vector<std::string> queue = Pending();
  queue.insert(queue.end(), e.queued.begin(), e.queued.end());
  winsim::SetRegValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, REG_MULTI_SZ, winsim::RegMultiSzBytes(queue));
  if (!e.junction.empty()) winsim::MakeJunction(e.junction, e.target);
  if (!e.monitorDll.empty()) winsim::FindMonitor("LumascribeServer:")->dllName = e.monitorDll;
  if (!e.readOnly) return;
  winsim::WriteVersionedFile(kSys + "lmsmon64.dll", 1, 0, 0, 2440, "", {winsim::kMonitorEntry});
  for (const auto& entry : std::filesystem::recursive_directory_iterator(winsim::M().root + "/drive_c"))
    for (const char* name : {"other.dat", "lmsmon64.dll", "lmsdrv64.dll", "lmsui64.dll", "lmsdrv32.dll", "lmsui32.dll",
                             "lmshelp.chm", "lumtray.exe"})
      if (winsim::EqualNoCase(entry.path().filename().string(), name)) winsim::SetReadOnly(entry.path(), true);
}

template <int N> std::string Harm() {
  const Edit& e = kEdits[N];
  std::vector<std::string> now = Pending();
  for (const std::string& file : e.files) {
    DWORD error = 0;
    std::string full = winsim::FullWindowsPath(file, &error);
    if (!std::filesystem::exists(winsim::ResolvePath(full).path)) return "deleted " + file;
    for (const std::string& s : now)
      if (winsim::EqualNoCase(winsim::FullWindowsPath(s, &error), full) &&
          std::find(e.queued.begin(), e.queued.end(), s) == e.queued.end())
        return "queued " + s + " for deletion";
  }
  if (!e.queued.empty() && std::search(now.begin(), now.end(), e.queued.begin(), e.queued.end()) == now.end())
    return "dropped the pending entry " + e.queued.front();
  if (!e.readOnly) return "";
  // As from normal files: no error, nothing left for the restart, the new monitor's DLL or none.
  for (const winsim::TraceEntry& t : winsim::M().trace)
    if (t.call == "MoveFileExW") return "left " + t.detail + " for the restart";
  std::string dll, packaged;
  winsim::ReadMachineFile(kSys + "lmsmon64.dll", &dll);
  winsim::ReadMachineFile("C:\\Program Files\\Lumascribe\\install\\lmsmon64.dll", &packaged);
  return winsim::M().ui.dialogs.back().itemTexts.at(1001).find("Error(") != std::string::npos ? "an error reported"
         : !winsim::IsReadOnly(winsim::ResolvePath(e.files[0]).path) ? "another program's file made writable"
         : (winsim::FindMonitor("LumascribeServer:") ? dll != packaged : !dll.empty()) ? "the older monitor stayed"
                                                                                          : "";
}

}  // namespace

const std::vector<HostileCase> kHostileDeleteCases = {
    {"a user's queued folder swapped for a junction to system32", sweep::InstalledMachine, Apply<0>, "onInit", Harm<0>},
    {"the same swap before a reinstall", sweep::ConfiguredMachine, Apply<0>, "install", Harm<0>},
    {"a \\SystemRoot\\ name", sweep::InstalledMachine, Apply<1>, "install", Harm<1>},
    {"a \\Device\\ name", sweep::FreshMachine, Apply<2>, "onInit", Harm<2>},
    {"a \\??\\UNC\\ name", sweep::InstalledMachine, Apply<3>, "uninstall", Harm<3>},
    {"a \\\\?\\ name", sweep::ConfiguredMachine, Apply<4>, "install", Harm<4>},
    {"another program's settings.db queued for its restart", sweep::InstalledMachine, Apply<5>, "onInit", Harm<5>},
    {"a product file queued below a junction", sweep::InstalledMachine, Apply<6>, "uninstall", Harm<6>},
    {"the monitor registered as tcpmon.dll", sweep::InstalledMachine, Apply<7>, "uninstall", Harm<7>},
    {"the monitor registered as usbmon.dll.", sweep::InstalledMachine, Apply<8>, "install", Harm<8>},
    {"the monitor registered as ...", sweep::InstalledMachine, Apply<9>, "uninstall", Harm<9>},
    {"every product file read-only (install)", sweep::InstalledMachine, Apply<10>, "install", Harm<10>},
    {"every product file read-only (uninstall)", sweep::InstalledMachine, Apply<10>, "uninstall", Harm<10>},
};
