#include "bench/bench_machine.h"

#include <unistd.h>

#include <filesystem>

#include "core/entry.h"
#include "support/product_printers.h"
#include "support/tool_start.h"
#include "winsim/machine.h"

namespace bench {

namespace {

bool g_failed = false;

// One host directory for every machine of the run, removed when the program ends.
struct MachineRoot {
  std::string path;
  MachineRoot() {
    char pattern[] = "/tmp/winsim-bench-XXXXXX";
    path = mkdtemp(pattern);
  }
  ~MachineRoot() { std::filesystem::remove_all(path); }
};

const std::string& Root() {
  static MachineRoot root;
  return root.path;
}

}  // namespace

void FreshMachine() {
  std::filesystem::remove_all(Root() + "/drive_c");
  winsim::ResetMachine(Root());
}

void AddProductPrinters(int count) {
  for (int i = 1; i <= count; ++i) {
    std::string subKey = "bench-" + std::to_string(i);
    test::AddProductPrinter("Lumascribe " + std::to_string(i), subKey);
    winsim::SetRegValue(test::SettingsKey(subKey), "Paper", REG_SZ, winsim::RegSzBytes("A4"));
  }
}

bool InstalledMachine(int printers) {
  FreshMachine();
  if (test::RunTool("install") != inst::kExitInstalled) return false;
  AddProductPrinters(printers - 1);
  return true;
}

bool Check(benchmark::State& state, bool ok, const std::string& what) {
  if (!ok) {
    g_failed = true;
    state.SkipWithError(what.c_str());
  }
  return ok;
}

bool AnyFailed() { return g_failed; }

void TimeCommand(benchmark::State& state, const std::string& word, int expectedExit, int installedPrinters) {
  uint64_t simMs = 0, sleepMs = 0, calls = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (installedPrinters == 0)
      FreshMachine();
    else if (!Check(state, InstalledMachine(installedPrinters), "the install before the run failed"))
      break;
    uint64_t start = winsim::M().clock.nowMs;
    state.ResumeTiming();
    int exit = test::RunTool(word);
    state.PauseTiming();
    if (!Check(state, exit == expectedExit, word + " exited with " + std::to_string(exit))) break;
    simMs += winsim::M().clock.nowMs - start;
    for (const winsim::TraceEntry& entry : winsim::M().trace)
      if (entry.call == "Sleep") sleepMs += std::stoull(entry.detail);
    calls += winsim::M().trace.size();
    state.ResumeTiming();
  }
  using benchmark::Counter;
  state.counters["sim_ms"] = Counter(double(simMs), Counter::kAvgIterations);
  state.counters["sleep_ms"] = Counter(double(sleepMs), Counter::kAvgIterations);
  state.counters["calls"] = Counter(double(calls), Counter::kAvgIterations);
}

void TrimLog(inst::InstallContext& context) {
  if (inst::Length(context.logText) > 64 * 1024) inst::FreeString(context.logText);
}

void TrimTrace() {
  if (winsim::M().trace.size() > 100000) winsim::M().trace.clear();
}

}  // namespace bench
