// Hostile machines that try to steer the tool: a connection to another machine's printer, a
// program planted where an unquoted Run value would start it, a help window that never closes,
// a path that does not fit, a printer name that writes log lines.
#include <algorithm>
#include <string>

#include "support/product_printers.h"
#include "sweep_hostile.h"
#include "sweep_machines.h"
#include "winsim/file_state.h"
#include "winsim/windows.h"

namespace {

using winsim::M;

const char kConnection[] = "\\\\printsrv\\Lumascribe Hall";
const std::string kInstallDir = "C:\\Program Files\\Lumascribe\\install\\";

std::string Log() {
  const auto& dialogs = M().ui.dialogs;
  return dialogs.empty() || !dialogs.back().itemTexts.count(1001) ? "" : dialogs.back().itemTexts.at(1001);
}

// Another machine's product printer, the user's default, with jobs and a settings key.
void AddConnection() {
  winsim::Printer& p = test::AddProductPrinter(kConnection, "hall");
  p.connection = true;
  p.serverName = "\\\\printsrv";
  p.cJobs = 3;
  M().spooler.defaultPrinter = kConnection;
}

std::string ConnectionHarm() {
  if (!M().spooler.remoteChanges.empty()) return "changed through the connection: " + M().spooler.remoteChanges[0];
  const winsim::Printer* p = winsim::FindPrinter(kConnection);
  if (!p || !p->connection || p->cJobs != 3) return "the connection is gone or purged";
  std::string log = Log();
  if (log.find("Error(") != std::string::npos) return "an error was reported: " + log.substr(log.find("Error("), 80);
  return "";
}

void PlantProgramExe() { winsim::WriteMachineFile("C:\\Program.exe", "MZ"); }

std::string RestartHarm() {
  winsim::Reboot();
  for (const winsim::Process& p : M().processes.processes)
    if (!p.exited && winsim::EqualNoCase(p.image, "C:\\Program.exe")) return "C:\\Program.exe started at logon";
  return winsim::RunningCompanion() ? "" : "the companion did not start at logon";
}

// Any program may make such a window; this one also keeps the installed help file open.
void StubbornHelpWindow() {
  winsim::AddWindow("HH Parent", "Lumascribe Help", -1);
  winsim::HoldFile("C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\lmshelp.chm", "help viewer");
}

bool ProductDriverInstalled() {
  for (const winsim::PrinterDriver& d : M().drivers.installed)
    if (d.name == "Lumascribe Server" && d.environment == "Windows x64") return true;
  return false;
}

std::string HelpWindowHarm() {
  int closeRequests = 0;  // WM_SYSCOMMAND SC_CLOSE
  for (const winsim::TraceEntry& e : M().trace)
    closeRequests += e.call == "PostMessageW" && e.detail.find(" 274 61536") != std::string::npos;
  if (closeRequests > 200) return "more than 10 s of close requests";
  return ProductDriverInstalled() ? "" : "the driver is not installed";
}

// 274 characters: cut at 259, the path names the package's folder above the tool's own.
void LongModulePath() {
  M().os.modulePath = kInstallDir + std::string(226, 'd') + "\\install.exe";
}

std::string GuessedFolderHarm() {
  if (winsim::FindMonitor("LumascribeServer:") || ProductDriverInstalled() ||
      winsim::MachineFileExists("C:\\Windows\\system32\\lmsmon64.dll"))
    return "installed from a guessed folder";
  return Log().find("Error(28)") == std::string::npos ? "no error 28" : "";
}

void ForgingPrinterName() {
  test::AddProductPrinter("Desk\r\n      Copy Succeeded :) forged\r\n    OK :) forged\x01", "desk");
}

std::string ForgedLinesHarm() {
  std::string log = Log();
  for (size_t at = 0; at < log.size();) {
    size_t end = log.find("\r\n", at);
    std::string line = log.substr(at, end == std::string::npos ? end : end - at);
    std::string text = line.substr(std::min(line.size(), line.find_first_not_of(' ')));
    if (text.rfind("Copy Succeeded :) forged", 0) == 0 || text.rfind("OK :) forged", 0) == 0)
      return "a forged line: " + line;
    at = end == std::string::npos ? log.size() : end + 2;
  }
  return log.find("Desk\\r\\n") == std::string::npos ? "the name is not shown escaped" : "";
}

}  // namespace

const std::vector<HostileCase> kHostileSteerCases = {
    {"connection of the product driver (install)", sweep::InstalledMachine, AddConnection, "install", ConnectionHarm},
    {"connection of the product driver (uninstall)", sweep::InstalledMachine, AddConnection, "uninstall",
     ConnectionHarm},
    {"C:\\Program.exe planted before a restart", sweep::FreshMachine, PlantProgramExe, "install", RestartHarm},
    {"help window that ignores close", sweep::InstalledMachine, StubbornHelpWindow, "install", HelpWindowHarm},
    {"module path filling its buffer", sweep::FreshMachine, LongModulePath, "install", GuessedFolderHarm},
    {"printer name with CR/LF", sweep::InstalledMachine, ForgingPrinterName, "install", ForgedLinesHarm},
};
