// Machines that try to steer the tool: a connection to another machine's printer, a planted
// C:\Program.exe, a help window that never closes, a path cut short, a name with CR/LF, a lock's
// name taken first, and who the companion runs as.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/product_printers.h"
#include "sweep_hostile.h"
#include "sweep_machines.h"
#include "winsim/file_state.h"
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

std::string ConnectionHarm() {
  const winsim::Printer* p = winsim::FindPrinter(kHall);
  if (!M().spooler.remoteChanges.empty()) return "changed through it: " + M().spooler.remoteChanges[0];
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

// The run's log file, where a run nobody watches leaves its log.
std::string LogFile() {
  std::string text;
  std::error_code ec;
  for (const auto& f : std::filesystem::directory_iterator(winsim::ResolvePath(M().os.tempDir).path, ec)) {
    std::ifstream in(f.path(), std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return text;
}

// A standard user's object under the name the lock had in Global\.
void Squat(const std::string& sddl, bool event) {
  winsim::NamedObject object;
  object.name = "Global\\LumascribeSetup";
  object.sddl = sddl;
  object.event = event;
  winsim::StartObjectHolder(object, -1);
}

std::string LockHarm() {
  return Has(Log(), "Error(27)") ? "the squatter's object held the run off"
         : M().clock.nowMs >= 600000 ? "the run waited for the squatter" : "";
}

std::string CompanionHarm() {  // it runs, as the unelevated user at the desk
  const winsim::Process* p = winsim::RunningCompanion();
  return !p ? "the companion did not start" : p->identity.user != "Bob" || p->identity.elevated ? "it runs as " + p->identity.user : "";
}

std::string NoCompanionHarm() {  // a run the companion must not be started from
  const winsim::Process* p = winsim::RunningCompanion();
  if (p) return "the companion runs as " + p->identity.user + " in session " + std::to_string(p->identity.session);
  std::string log = LogFile();
  if (!Has(log, "The tray companion starts at the next sign-in")) return "no line says when it starts";
  return Has(log, "exit code 1\r\n") ? "" : "not installed, or not exit code 1";
}

}  // namespace

const std::vector<HostileCase> kHostileSteerCases = {
    {"connection (install)", sweep::InstalledMachine, AddConnection, "install", ConnectionHarm},
    {"connection (uninstall)", sweep::InstalledMachine, AddConnection, "uninstall", ConnectionHarm},
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
    {"a standard user's mutex holding the lock's old name", sweep::FreshMachine,
     [] { Squat("", false); }, "install", LockHarm},
    {"a mutex under the lock's old name that denies access", sweep::FreshMachine,
     [] { Squat("D:P(A;;GA;;;" + winsim::BobIdentity().sid + ")", false); },
     "install", LockHarm},
    {"an event under the lock's old name", sweep::InstalledMachine,
     [] { Squat("", true); }, "uninstall", LockHarm},
    {"session 0 on a visible window station", sweep::FreshMachine, [] { M().security.tool.session = 0; }, "install",
     [] { return M().ui.dialogs.empty() ? NoCompanionHarm() : "a log window in session 0"; }},
    {"SYSTEM run while Bob is signed in", sweep::FreshMachine, [] { M().security.tool = winsim::SystemIdentity(); },
     "install", NoCompanionHarm},
    {"the tool in another session than the desk's", sweep::FreshMachine, [] { M().security.tool.session = 2; },
     "install", NoCompanionHarm},
    {"an elevated shell", sweep::FreshMachine,
     [] {
       for (winsim::Process& p : M().processes.processes) p.identity = winsim::AdminIdentity();
     },
     "install", NoCompanionHarm},
    {"over-the-shoulder elevation", sweep::FreshMachine, [] {}, "install", CompanionHarm},
};
