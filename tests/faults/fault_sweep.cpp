// The fault sweep: the tool's commands run from the entry on simulated machines, every platform
// call of a fault-free run made to fail once (each allocation too), then the command run again
// without faults; and randomly generated upgrade machines. Each run is a child process, so a
// crash or a sanitizer report is counted, not fatal. Arguments name the parts to run
// ("install", "uninstall", "reinstall", "stopped", "random", "packages", "hostile"; all when
// none); FAULTS_SEED and FAULTS_COUNT change the random machines (fixed seed 2501, 200
// machines). "stopped" kills the reinstall after each of its calls, then installs again. Prints one last line
// "faults: R runs, C crashes, M exit mismatches, S silent failures, L printers lost" and fails
// unless C, M, S and L are all 0; before it "hostile machines: N cases, H harmed", failing
// unless H is 0.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/tool_start.h"
#include "sweep_checks.h"
#include "sweep_hostile.h"
#include "sweep_machines.h"
#include "winsim/windows.h"

namespace {

// The error Windows gives when each call fails where the tool makes it: the spooler's RPC
// connection lost, a file held or the disk full, rights refused, memory gone. Calls not listed
// cannot fail here (or report no failure the tool could see).
const std::map<std::string, DWORD> kErrors = {
    {"EnumPrintersW", RPC_S_SERVER_UNAVAILABLE}, {"EnumMonitorsW", RPC_S_SERVER_UNAVAILABLE},
    {"EnumPrinterDriversW", RPC_S_SERVER_UNAVAILABLE}, {"GetPrinterDriverW", RPC_S_SERVER_UNAVAILABLE},
    {"GetPrinterDriverDirectoryW", RPC_S_SERVER_UNAVAILABLE}, {"AddPrinterDriverExW", RPC_S_SERVER_UNAVAILABLE},
    {"DeletePrinterDriverExW", RPC_S_SERVER_UNAVAILABLE}, {"AddMonitorW", RPC_S_SERVER_UNAVAILABLE},
    {"DeleteMonitorW", RPC_S_SERVER_UNAVAILABLE}, {"OpenPrinterW", RPC_S_SERVER_UNAVAILABLE},
    {"ClosePrinter", RPC_S_SERVER_UNAVAILABLE}, {"AddPrinterW", RPC_S_SERVER_UNAVAILABLE},
    {"DeletePrinter", RPC_S_SERVER_UNAVAILABLE}, {"GetPrinterW", RPC_S_SERVER_UNAVAILABLE},
    {"SetPrinterW", RPC_S_SERVER_UNAVAILABLE}, {"GetPrinterDataA", RPC_S_SERVER_UNAVAILABLE},
    {"GetPrinterDataExA", RPC_S_SERVER_UNAVAILABLE}, {"SetPrinterDataA", RPC_S_SERVER_UNAVAILABLE},
    {"SetPrinterDataExA", RPC_S_SERVER_UNAVAILABLE}, {"GetDefaultPrinterW", RPC_S_SERVER_UNAVAILABLE},
    {"SetDefaultPrinterW", RPC_S_SERVER_UNAVAILABLE},
    {"CreateFileW", ERROR_SHARING_VIOLATION}, {"ReadFile", 1117 /* ERROR_IO_DEVICE */},
    {"WriteFile", ERROR_DISK_FULL}, {"CloseHandle", ERROR_INVALID_HANDLE}, {"DeleteFileW", ERROR_ACCESS_DENIED},
    {"MoveFileExW", ERROR_ACCESS_DENIED}, {"GetFileAttributesW", ERROR_ACCESS_DENIED},
    {"GetDiskFreeSpaceExW", ERROR_ACCESS_DENIED},
    {"GetFileVersionInfoSizeW", ERROR_ACCESS_DENIED}, {"GetFileVersionInfoW", ERROR_ACCESS_DENIED},
    {"VerQueryValueW", ERROR_RESOURCE_DATA_NOT_FOUND},
    {"RegOpenKeyExA", ERROR_ACCESS_DENIED}, {"RegOpenKeyExW", ERROR_ACCESS_DENIED},
    {"RegCreateKeyExW", ERROR_ACCESS_DENIED}, {"RegQueryValueExW", ERROR_ACCESS_DENIED},
    {"RegSetValueExW", ERROR_ACCESS_DENIED}, {"RegSetValueExA", ERROR_ACCESS_DENIED},
    {"RegDeleteValueA", ERROR_ACCESS_DENIED}, {"RegDeleteKeyW", ERROR_ACCESS_DENIED},
    {"RegCloseKey", ERROR_INVALID_HANDLE},
    {"OpenSCManagerW", ERROR_ACCESS_DENIED}, {"OpenServiceW", ERROR_ACCESS_DENIED},
    {"ControlService", ERROR_SERVICE_CANNOT_ACCEPT_CTRL}, {"StartServiceW", ERROR_SERVICE_REQUEST_TIMEOUT},
    {"QueryServiceStatus", ERROR_INVALID_HANDLE}, {"CloseServiceHandle", ERROR_INVALID_HANDLE},
    {"CreateProcessW", ERROR_ACCESS_DENIED}, {"CreateMutexA", ERROR_ACCESS_DENIED},
    {"CreateMutexW", ERROR_ACCESS_DENIED}, {"ConvertStringSecurityDescriptorToSecurityDescriptorW", ERROR_NOT_ENOUGH_MEMORY},
    {"GetProcessWindowStation", ERROR_ACCESS_DENIED}, {"GetUserObjectInformationW", ERROR_ACCESS_DENIED},
    {"GetModuleHandleW", ERROR_MOD_NOT_FOUND}, {"GetProcAddress", ERROR_PROC_NOT_FOUND},
    {"GetTempPath2W", ERROR_NOT_ENOUGH_MEMORY}, {"GetTempPathW", ERROR_NOT_ENOUGH_MEMORY},
    {"WaitForSingleObject", ERROR_INVALID_HANDLE}, {"ReleaseMutex", ERROR_NOT_OWNER},
    {"GetModuleFileNameW", ERROR_NOT_ENOUGH_MEMORY}, {"GetSystemDirectoryW", ERROR_ACCESS_DENIED},
    {"GetVersionExA", ERROR_INVALID_PARAMETER},
    {"GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY}, {"HeapAlloc", ERROR_NOT_ENOUGH_MEMORY},
    {"HeapReAlloc", ERROR_NOT_ENOUGH_MEMORY},
    {"RegisterEventSourceW", ERROR_ACCESS_DENIED}, {"ReportEventW", 1502 /* ERROR_LOG_FILE_FULL */},
    {"DeregisterEventSource", ERROR_INVALID_HANDLE}, {"LoadLibraryExW", ERROR_NOT_ENOUGH_MEMORY},
    {"CreateBoundaryDescriptorW", ERROR_NOT_ENOUGH_MEMORY}, {"AddSIDToBoundaryDescriptor", ERROR_NOT_ENOUGH_MEMORY},
    {"CreatePrivateNamespaceW", ERROR_ACCESS_DENIED}, {"OpenPrivateNamespaceW", ERROR_ACCESS_DENIED},
    {"ClosePrivateNamespace", ERROR_INVALID_HANDLE}, {"ProcessIdToSessionId", ERROR_ACCESS_DENIED},
    {"GetWindowThreadProcessId", ERROR_INVALID_WINDOW_HANDLE}, {"OpenProcess", ERROR_ACCESS_DENIED},
    {"OpenProcessToken", ERROR_ACCESS_DENIED}, {"GetTokenInformation", ERROR_ACCESS_DENIED},
    {"DuplicateTokenEx", ERROR_NOT_ENOUGH_MEMORY},
    {"CreateProcessWithTokenW", 1058 /* ERROR_SERVICE_DISABLED: the Secondary Logon service */},
};

// A failing close may leave its handle open, as on Windows; that is no leak of the tool's.
bool IsClose(const std::string& call) {
  return call == "ClosePrinter" || call == "CloseHandle" || call == "RegCloseKey" || call == "CloseServiceHandle" ||
         call == "DeregisterEventSource";
}

struct Totals {
  int runs = 0, crashes = 0, mismatches = 0, silent = 0, lost = 0, leaks = 0, undescribed = 0, badFiles = 0,
      harmed = 0;
};

void ShowRun(int code) {
  const std::vector<winsim::DialogRecord>& dialogs = winsim::M().ui.dialogs;
  std::fprintf(stderr, "exit %d\n%s\n", code,
               dialogs.empty() ? "(no log window)" : dialogs.back().itemTexts.at(1001).c_str());
}

// A child's exit status: kReported and what it found.
enum Flag {
  kMismatch = 1, kSilent = 2, kLost = 4, kLeak = 8, kUndescribed = 16, kBadFile = 32, kHarmed = 64, kReported = 128
};

struct Case {
  std::string word;
  winsim::Fault fault{};  // none when call is empty
  bool again = true;    // the command once more without faults
  bool badPackage = false;  // the machine must still print as before
  uint32_t stopAfter = 0;  // the command stopped dead after this many calls instead; 0: not
  std::string (*harm)() = nullptr;  // a hostile machine's check of what must not have happened

  // As FAULTS_ONLY names it: "Call#n", or "stop#n".
  std::string Name() const {
    return stopAfter ? "stop#" + std::to_string(stopAfter) : fault.call + "#" + std::to_string(fault.firstCall);
  }
};

// The command stopped dead after its first `calls` calls, in a process of its own that saves the
// machine as its death leaves it; a run not stopped there ends this one as a crash.
int RunStopped(const std::string& word, uint32_t calls) {
  pid_t child = fork();
  if (child == 0) {
    winsim::M().os.stopAfterCalls = calls;
    test::RunTool(word);
    std::_Exit(0);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != winsim::kStoppedDead)
    std::_Exit(1);
  return winsim::kStoppedDead;
}

// Runs a case on a copy of the base machine; returns its flags.
int RunCase(const std::string& baseRoot, const sweep::Keep& keep, const Case& c) {
  std::string root = baseRoot + "-run";
  std::filesystem::remove_all(root);
  std::filesystem::copy(baseRoot, root, std::filesystem::copy_options::recursive);
  winsim::Machine& m = winsim::M();
  m.root = root;
  m.ui.shiftDown = true;  // the log window shows every log
  bool install = c.word == "install";
  sweep::Findings findings;
  if (!c.fault.call.empty()) m.faults.push_back(c.fault);
  const bool show = std::getenv("FAULTS_ONLY") != nullptr;
  int code = c.stopAfter ? RunStopped(c.word, c.stopAfter) : test::RunTool(c.word);
  m.faults.clear();
  if (show) ShowRun(code);
  // The probes answer through other exit codes and change no product state.
  bool probe = c.word != "install" && c.word != "uninstall";
  if (!c.stopAfter && !probe)
    sweep::CheckRun(keep, install, code, !c.again && install && !c.badPackage, !IsClose(c.fault.call), &findings);
  if (c.badPackage) sweep::CheckStillPrinting(keep, &findings);
  std::string harm = c.harm ? c.harm() : "";
  if (!harm.empty()) findings.notes.push_back("harmed: " + harm);
  if (c.again) {
    // A new process: the machine as the ended one left it, without its handles.
    if (!c.stopAfter) winsim::SaveMachine(root);
    winsim::LoadMachine(root);
    m.ui.shiftDown = true;
    code = test::RunTool(c.word);
    if (show) ShowRun(code);
    sweep::CheckRun(keep, install, code, install, true, &findings);
  }
  for (const std::string& note : findings.notes)
    std::fprintf(stderr, "  %s %s: %s\n", c.word.c_str(), c.Name().c_str(), note.c_str());
  std::filesystem::remove_all(root);
  return kReported | (findings.mismatch ? kMismatch : 0) | (findings.silent ? kSilent : 0) |
         (findings.lost ? kLost : 0) | (findings.leak ? kLeak : 0) | (findings.undescribed ? kUndescribed : 0) |
         (findings.badFile ? kBadFile : 0) | (harm.empty() ? 0 : kHarmed);
}

// The case in a child process: its crash or sanitizer report ends only the child.
void Sweep(const std::string& baseRoot, const sweep::Keep& keep, const Case& c, Totals* totals) {
  std::fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    alarm(60);  // a run that does not end is counted as a crash
    std::exit(RunCase(baseRoot, keep, c));
  }
  int status = 0;
  ++totals->runs;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      (WEXITSTATUS(status) & ~(kReported - 1)) != kReported) {
    ++totals->crashes;
    std::fprintf(stderr, "  %s %s: crashed (status %d)\n", c.word.c_str(), c.Name().c_str(), status);
    return;
  }
  int flags = WEXITSTATUS(status);
  totals->mismatches += (flags & kMismatch) != 0;
  totals->silent += (flags & kSilent) != 0;
  totals->lost += (flags & kLost) != 0;
  totals->leaks += (flags & kLeak) != 0;
  totals->undescribed += (flags & kUndescribed) != 0;
  totals->badFiles += (flags & kBadFile) != 0;
  totals->harmed += (flags & kHarmed) != 0;
}

// The base, its fault-free run, and each platform-call occurrence of that run failed once; with
// `stops`, that run stopped dead after each of its calls but the last (and its allocations)
// instead. Returns the cases.
size_t SweepBase(const std::string& name, const std::string& word, void (*build)(const std::string&),
                 const std::string& root, Totals* totals, bool stops = false) {
  build(root);
  sweep::Keep keep = sweep::KeepOf(winsim::M());
  // The fault-free run, in a child as well, tells the calls it makes through a file.
  std::string calls = root + "-calls";
  std::fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    std::string runRoot = root + "-trace";
    std::filesystem::copy(root, runRoot, std::filesystem::copy_options::recursive);
    winsim::M().root = runRoot;
    winsim::M().ui.shiftDown = true;
    test::RunTool(word);
    FILE* out = std::fopen(calls.c_str(), "w");
    for (const winsim::TraceEntry& e : winsim::M().trace) std::fprintf(out, "%s\n", e.call.c_str());
    std::fclose(out);
    std::filesystem::remove_all(runRoot);
    std::exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  std::vector<Case> cases(stops ? 0 : 1, Case{word, {}, false});
  std::map<std::string, uint32_t> seen;
  if (FILE* in = std::fopen(calls.c_str(), "r")) {
    char line[256];
    std::string previous;
    for (uint32_t made = 0; std::fgets(line, sizeof line, in); ++made) {
      std::string call(line);
      call.erase(call.find_last_not_of("\r\n") + 1);
      // A death just after an allocation leaves the machine as a death just before it.
      if (stops && made > 0 && previous != "GlobalAlloc" && previous != "HeapAlloc" && previous != "HeapReAlloc")
        cases.push_back({.word = word, .stopAfter = made});
      previous = call;
      if (stops) continue;
      auto error = kErrors.find(call);
      if (error == kErrors.end()) continue;
      uint32_t n = ++seen[call];
      winsim::Fault fault;
      fault.call = call;
      fault.firstCall = fault.lastCall = n;
      fault.error = error->second;
      cases.push_back({word, fault, true});
    }
    std::fclose(in);
  }
  std::filesystem::remove(calls);
  std::fprintf(stderr, "%s: %zu runs\n", name.c_str(), cases.size());
  // FAULTS_ONLY=Call#n runs only that case, showing its logs.
  const char* only = std::getenv("FAULTS_ONLY");
  for (const Case& c : cases)
    if (!only || c.Name() == only) Sweep(root, keep, c, totals);
  std::filesystem::remove_all(root);
  return cases.size();
}

// The reinstall base with each thing wrong that must stop an install before it changes anything.
void SweepBadPackages(const std::string& root, Totals* t) {
  int cases = 0, lost = t->lost, badFiles = t->badFiles;
  for (int i = 0; i < 34; ++i, std::filesystem::remove_all(root))
    if (std::string what = sweep::BadPackageMachine(root, i); !what.empty()) {
      std::fprintf(stderr, "bad package %d: %s\n", ++cases, what.c_str());
      Sweep(root, sweep::KeepOf(winsim::M()), Case{.word = "install", .again = false, .badPackage = true}, t);
    }
  std::printf("bad packages: %d cases, %d installed from a bad file, %d left the machine not printing\n", cases,
              t->badFiles - badFiles, t->lost - lost);
}

// Each hostile machine: its base changed by its edit, its command once; returns the cases run.
int SweepHostile(const std::string& root, Totals* totals) {
  int cases = 0;
  for (const std::vector<HostileCase>* table : {&kHostileDeleteCases, &kHostileSteerCases, &kHostilePackageCases})
    for (const HostileCase& h : *table) {
      h.base(root);
      h.edit();
      std::fprintf(stderr, "hostile: %s (%s)\n", h.name, h.word);
      Sweep(root, sweep::KeepOf(winsim::M()), Case{.word = h.word, .again = false, .harm = h.harm}, totals);
      std::filesystem::remove_all(root);
      ++cases;
    }
  return cases;
}

int EnvNumber(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text && *text ? std::atoi(text) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  std::set<std::string> parts(argv + 1, argv + argc);
  auto wanted = [&](const char* part) { return parts.empty() || parts.count(part) > 0; };
  // Thousands of small machine copies: in memory where the system offers it.
  std::string pattern = std::filesystem::is_directory("/dev/shm") ? "/dev/shm/fault-sweep-XXXXXX"
                                                                  : "/tmp/fault-sweep-XXXXXX";
  std::string work = mkdtemp(pattern.data());
  std::string root = work + "/base";
  auto started = std::chrono::steady_clock::now();
  Totals totals;
  if (wanted("install")) SweepBase("fresh install", "install", sweep::FreshMachine, root, &totals);
  if (wanted("uninstall")) SweepBase("uninstall", "uninstall", sweep::InstalledMachine, root, &totals);
  if (wanted("reinstall")) SweepBase("reinstall", "install", sweep::ConfiguredMachine, root, &totals);
  std::string stopped;
  if (wanted("stopped")) {
    int lost = totals.lost;
    size_t points = SweepBase("stopped", "install", sweep::ConfiguredMachine, root, &totals, true);
    stopped = "stopped: " + std::to_string(points) + " stop points, " + std::to_string(totals.lost - lost) + " lost";
  }
  if (wanted("random")) {
    int seed = EnvNumber("FAULTS_SEED", 2501), count = EnvNumber("FAULTS_COUNT", 200);
    std::mt19937 random{uint32_t(seed)};
    std::fprintf(stderr, "upgrade machines: %d (seed %d)\n", count, seed);
    for (int i = 0; i < count; ++i) {
      sweep::UpgradeMachine(root, random);
      Sweep(root, sweep::KeepOf(winsim::M()), Case{"install", {}, false}, &totals);
      std::filesystem::remove_all(root);
    }
  }
  if (wanted("packages")) SweepBadPackages(root, &totals);
  int hostile = wanted("hostile") ? SweepHostile(root, &totals) : 0;
  std::filesystem::remove_all(work);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (totals.leaks) std::printf("%d runs left blocks or handles open\n", totals.leaks);
  std::printf("time: %.1f s\n", seconds);
  std::printf("no description: %d runs logged an error without its system text\n", totals.undescribed);
  if (!stopped.empty()) std::printf("%s\n", stopped.c_str());
  if (wanted("hostile")) std::printf("hostile machines: %d cases, %d harmed\n", hostile, totals.harmed);
  std::printf("faults: %d runs, %d crashes, %d exit mismatches, %d silent failures, %d printers lost\n", totals.runs,
              totals.crashes, totals.mismatches, totals.silent, totals.lost);
  bool clean = totals.crashes == 0 && totals.mismatches == 0 && totals.silent == 0 && totals.lost == 0 &&
               totals.undescribed == 0 && totals.badFiles == 0 && totals.harmed == 0;
  return clean && totals.leaks == 0 ? 0 : 1;
}
