// Machines that try to steer the tool: a connection to another machine's printer, a planted
// C:\Program.exe, a help window that never closes, a path cut short, a name with CR/LF.
#include "support/product_printers.h"
#include "sweep_hostile.h"
#include "sweep_machines.h"
#include "winsim/file_state.h"
#include "winsim/version_files.h"
#include "winsim/windows.h"

namespace {

using winsim::M;
const char kHall[] = "\\\\printsrv\\Lumascribe Hall";

std::string Log() { return M().ui.dialogs.empty() ? "" : M().ui.dialogs.back().itemTexts[1001]; }
bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
bool ProductDriver() { return M().drivers.installed.Find("Lumascribe Server") != nullptr; }

void AddConnection() {  // the user's default, with jobs and a settings key
  winsim::Printer& p = test::AddProductPrinter(kHall, "hall");
  p.connection = true, p.serverName = "\\\\printsrv", p.cJobs = 3;
  M().spooler.defaultPrinter = kHall;
}

// An older monitor the spooler refuses to remove at first: another program's printer uses its port.
void AddConnectionBesideAnOlderMonitor() {
  AddConnection();
  test::AddProductPrinter("Office on the monitor's port", "", "Microsoft Print To PDF");
  winsim::WriteVersionedFile("C:\\Windows\\system32\\lmsmon64.dll", 1, 0, 0, 2440, "", {winsim::kMonitorEntry});
}

std::string ConnectionHarm() {
  const winsim::Printer* p = winsim::FindPrinter(kHall);
  if (!M().spooler.remoteChanges.empty()) return "changed through it: " + M().spooler.remoteChanges[0];
  if (Has(Log(), "SetPrinter(" + std::string(kHall))) return "tried to change it";
  return !p || p->cJobs != 3 ? "the connection is gone or purged" : Has(Log(), "Error(") ? "an error reported" : "";
}

std::string RestartHarm() {
  winsim::Reboot();
  for (const winsim::Process& p : M().processes.processes)
    if (!p.exited && p.image == "C:\\Program.exe") return "C:\\Program.exe started at logon";
  return winsim::RunningCompanion() ? "" : "the companion did not start";
}

std::string HelpWindowHarm() {  // ended at all; within 200 close requests, and installed
  int closes = 0;
  for (const winsim::TraceEntry& e : M().trace) closes += Has(e.detail, " 274 61536");  // SC_CLOSE
  return closes > 200 ? "more than 10 s of close requests" : ProductDriver() ? "" : "the driver is missing";
}

const char kForged[] = "Desk\r\nOK :) forged\x01";

}  // namespace

const std::vector<HostileCase> kHostileSteerCases = {
    {"connection (install)", sweep::InstalledMachine, AddConnection, "install", ConnectionHarm},
    {"connection (uninstall)", sweep::InstalledMachine, AddConnection, "uninstall", ConnectionHarm},
    {"connection, older monitor refused at first", sweep::InstalledMachine, AddConnectionBesideAnOlderMonitor, "install",
     ConnectionHarm},
    {"planted C:\\Program.exe, restart", sweep::FreshMachine,
     [] { winsim::WriteMachineFile("C:\\Program.exe", "MZ"); }, "install", RestartHarm},
    {"help window ignoring close", sweep::InstalledMachine,
     [] {
       winsim::AddWindow("HH Parent", "Lumascribe Help", -1);
       winsim::HoldFile("C:\\Windows\\system32\\spool\\DRIVERS\\x64\\3\\lmshelp.chm", "help viewer");
     },
     "install", HelpWindowHarm},
    // 274 characters, cut at 259: the path then names the package's folder above the tool's.
    {"module path filling its buffer", sweep::FreshMachine,
     [] { M().os.modulePath = "C:\\Program Files\\Lumascribe\\install\\" + std::string(226, 'd') + "\\install.exe"; },
     "install",
     [] {
       return winsim::FindMonitor("LumascribeServer:") || ProductDriver() ? std::string("installed from a guessed folder")
              : Has(Log(), "Error(28)")                                     ? ""
                                                                            : "no error 28";
     }},
    {"printer name with CR/LF", sweep::InstalledMachine, [] { test::AddProductPrinter(kForged, "desk"); }, "install",
     [] {
       return Has(Log(), "\nOK :) forged") ? std::string("a forged log line")
              : Has(Log(), "Desk\\r\\nOK :) forged\\x01") ? "" : "the name is not shown escaped";
     }},
};
