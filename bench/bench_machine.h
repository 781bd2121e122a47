// What every benchmark stands on: fresh simulated machines in one host directory, the commands
// run on them, and the simulated Windows time a run spends.
#pragma once
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "core/install_context.h"

namespace bench {

// A fresh default machine: its disk is written anew, as a first install finds it.
void FreshMachine();
// Product printers "Lumascribe 1" .. "Lumascribe <count>" on the product port, each with its
// settings key, as users add them.
void AddProductPrinters(int count);
// A fresh machine after an install, with `printers` product printers (its "lumServer" among
// them); false when that install failed.
bool InstalledMachine(int printers);

// Marks the benchmark failed (and the program's exit code) unless `ok`; returns `ok`.
bool Check(benchmark::State& state, bool ok, const std::string& what);
bool AnyFailed();

// Times `word` from the entry once per iteration, each on a machine set up untimed: a fresh one
// for `installedPrinters` 0, else an installed one with that many printers. Reports the
// simulated Windows time a run spends (sim_ms: all of it, sleep_ms: in Sleep) and its Win32 calls.
void TimeCommand(benchmark::State& state, const std::string& word, int expectedExit, int installedPrinters);

// A loop of millions of calls would grow the log and the trace far beyond one run's: these
// start them again once they pass a long run's size.
void TrimLog(inst::InstallContext& context);
void TrimTrace();

}  // namespace bench
