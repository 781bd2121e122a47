// The fault sweep: the tool's commands run from the entry on simulated machines, every platform
// call of a fault-free run made to fail once (each allocation too), then the command run again
// without faults; and randomly generated upgrade machines. Each run is a child process, so a
// crash or a sanitizer report is counted, not fatal. Arguments name the parts to run
// ("install", "uninstall", "reinstall", "random", "hostile"; all when none); FAULTS_SEED and
// FAULTS_COUNT change the random machines (fixed seed 2501, 200 machines). The hostile machines
// (sweep_hostile.h) print "hostile machines: N cases, H harmed". Prints one last line
// "faults: R runs, C crashes, M exit mismatches, S silent failures, L printers lost" and fails
// unless C, M, S, L and H are all 0.
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
    {"WaitForSingleObject", ERROR_INVALID_HANDLE}, {"ReleaseMutex", ERROR_NOT_OWNER},
    {"GetModuleFileNameW", ERROR_NOT_ENOUGH_MEMORY}, {"GetSystemDirectoryW", ERROR_ACCESS_DENIED},
    {"GetVersionExA", ERROR_INVALID_PARAMETER},
    {"GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY}, {"HeapAlloc", ERROR_NOT_ENOUGH_MEMORY},
    {"HeapReAlloc", ERROR_NOT_ENOUGH_MEMORY},
};

// A failing close may leave its handle open, as on Windows; that is no leak of the tool's.
bool IsClose(const std::string& call) {
  return call == "ClosePrinter" || call == "CloseHandle" || call == "RegCloseKey" || call == "CloseServiceHandle";
}

struct Totals {
  int runs = 0, crashes = 0, mismatches = 0, silent = 0, lost = 0, leaks = 0, hostile = 0, harmed = 0;
};

void ShowRun(int code) {
  const std::vector<winsim::DialogRecord>& dialogs = winsim::M().ui.dialogs;
  std::fprintf(stderr, "exit %d\n%s\n", code,
               dialogs.empty() ? "(no log window)" : dialogs.back().itemTexts.at(1001).c_str());
}

enum Flag { kMismatch = 1, kSilent = 2, kLost = 4, kLeak = 8, kReported = 32 };

struct Case {
  std::string word;
  winsim::Fault fault;  // none when call is empty
  bool again = true;    // the command once more without faults
};

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
  int code = test::RunTool(c.word);
  m.faults.clear();
  if (show) ShowRun(code);
  sweep::CheckRun(keep, install, code, !c.again && install, !IsClose(c.fault.call), &findings);
  if (c.again) {
    // A new process: the machine as the ended one left it, without its handles.
    winsim::SaveMachine(root);
    winsim::LoadMachine(root);
    m.ui.shiftDown = true;
    code = test::RunTool(c.word);
    if (show) ShowRun(code);
    sweep::CheckRun(keep, install, code, install, true, &findings);
  }
  for (const std::string& note : findings.notes)
    std::fprintf(stderr, "  %s %s#%u: %s\n", c.word.c_str(), c.fault.call.empty() ? "(none)" : c.fault.call.c_str(),
                 c.fault.firstCall, note.c_str());
  std::filesystem::remove_all(root);
  return kReported | (findings.mismatch ? kMismatch : 0) | (findings.silent ? kSilent : 0) |
         (findings.lost ? kLost : 0) | (findings.leak ? kLeak : 0);
}

// The case in a child process: its crash or sanitizer report ends only the child.
void Sweep(const std::string& baseRoot, const sweep::Keep& keep, const Case& c, Totals* totals) {
  std::fflush(nullptr);
  pid_t child = fork();
  if (child == 0) std::exit(RunCase(baseRoot, keep, c));
  int status = 0;
  ++totals->runs;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      (WEXITSTATUS(status) & ~15) != kReported) {
    ++totals->crashes;
    std::fprintf(stderr, "  %s %s#%u: crashed (status %d)\n", c.word.c_str(), c.fault.call.c_str(),
                 c.fault.firstCall, status);
    return;
  }
  int flags = WEXITSTATUS(status);
  totals->mismatches += (flags & kMismatch) != 0;
  totals->silent += (flags & kSilent) != 0;
  totals->lost += (flags & kLost) != 0;
  totals->leaks += (flags & kLeak) != 0;
}

// The base, its fault-free run, and each platform-call occurrence of that run failed once.
void SweepBase(const std::string& name, const std::string& word, void (*build)(const std::string&),
               const std::string& root, Totals* totals) {
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
  std::vector<Case> cases{{word, {}, false}};
  std::map<std::string, uint32_t> seen;
  if (FILE* in = std::fopen(calls.c_str(), "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, in)) {
      std::string call(line);
      call.erase(call.find_last_not_of("\r\n") + 1);
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
    if (!only || c.fault.call + "#" + std::to_string(c.fault.firstCall) == only) Sweep(root, keep, c, totals);
  std::filesystem::remove_all(root);
}

// Each hostile case in a child that must end within a minute: base, edit, command, check.
void SweepHostile(const std::string& root, Totals* totals) {
  for (const std::vector<HostileCase>* table : {&kHostileDeleteCases, &kHostileSteerCases})
    for (const HostileCase& c : *table) {
      std::fflush(nullptr);
      pid_t child = fork();
      if (child == 0) {
        alarm(60);
        c.base(root);
        c.edit();
        winsim::M().ui.shiftDown = true;  // the log window holds the log
        test::RunTool(c.word);
        std::string harm = c.harm();
        if (!harm.empty()) std::fprintf(stderr, "  hostile %s: %s\n", c.name, harm.c_str());
        std::exit(!harm.empty());
      }
      int status = 0;
      bool clean = child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && !WEXITSTATUS(status);
      if (!WIFEXITED(status)) std::fprintf(stderr, "  hostile %s: crashed or did not end\n", c.name);
      totals->hostile += 1, totals->harmed += !clean;
      std::filesystem::remove_all(root);
    }
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
  if (wanted("hostile")) SweepHostile(root, &totals);
  std::filesystem::remove_all(work);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (totals.leaks) std::printf("%d runs left blocks or handles open\n", totals.leaks);
  std::printf("time: %.1f s\n", seconds);
  if (wanted("hostile")) std::printf("hostile machines: %d cases, %d harmed\n", totals.hostile, totals.harmed);
  std::printf("faults: %d runs, %d crashes, %d exit mismatches, %d silent failures, %d printers lost\n", totals.runs,
              totals.crashes, totals.mismatches, totals.silent, totals.lost);
  bool clean = totals.crashes == 0 && totals.mismatches == 0 && totals.silent == 0 && totals.lost == 0 &&
               totals.harmed == 0;
  return clean && totals.leaks == 0 ? 0 : 1;
}
