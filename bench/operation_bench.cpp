// Single operations of the tool that grow with what the machine holds, on one fresh machine each.
#include <string>
#include <vector>

#include "bench/bench_machine.h"
#include "core/install_log.h"
#include "printers/printer_list.h"
#include "system/file_copy.h"
#include "system/pending_renames.h"
#include "winsim/machine.h"

namespace {

using benchmark::Counter;

const std::string kToolDir = "C:\\Program Files\\Lumascribe\\install\\";

// Pending deletions of existing files, as the tool schedules its own: one pair per file.
void BM_ReadPendingRenames(benchmark::State& state) {
  bench::FreshMachine();
  const int pairs = int(state.range(0));
  const std::string dir = "C:\\Windows\\Temp\\";
  std::vector<std::string> names;
  for (int i = 0; i < pairs; ++i) {
    std::string file = dir + "lms" + std::to_string(i) + ".tmp";
    winsim::WriteMachineFile(file, "x");
    names.push_back("\\??\\" + file);
    names.push_back("");
  }
  winsim::SetRegValue(winsim::kSessionManagerKey, winsim::kPendingRenamesValue, REG_MULTI_SZ,
                      winsim::RegMultiSzBytes(names));
  for (auto _ : state) {
    inst::PendingRenameList list = inst::ReadPendingRenames();
    int32_t read = list.pairCount;
    bool lastFound = read == pairs && list.existsAsFile[2 * (pairs - 1)] == 1;
    inst::FreePendingRenameList(&list);
    if (!bench::Check(state, lastFound, "pairs read: " + std::to_string(read) + ", the last file not found"))
      break;
    bench::TrimTrace();
  }
  state.SetItemsProcessed(state.iterations() * pairs);
}
BENCHMARK(BM_ReadPendingRenames)->ArgName("pairs")->Arg(1)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

void BM_EnumeratePrinters(benchmark::State& state) {
  bench::FreshMachine();
  const int printers = int(state.range(0));
  bench::AddProductPrinters(printers - int(winsim::M().spooler.printers.size()));
  for (auto _ : state) {
    inst::PrinterList list{};
    inst::EnumeratePrinters(&list);
    DWORD listed = list.count;
    inst::FreePrinterList(&list);
    if (!bench::Check(state, listed == DWORD(printers), "printers listed: " + std::to_string(listed))) break;
    bench::TrimTrace();
  }
  state.SetItemsProcessed(state.iterations() * printers);
}
BENCHMARK(BM_EnumeratePrinters)->ArgName("printers")->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

// The longest name Windows gives a printer (220 characters), indented as removal logs it.
void BM_LogLineLongPrinterName(benchmark::State& state) {
  bench::FreshMachine();
  std::u16string name = u"Lumascribe ";
  while (name.size() < 220) name += u"Accounting 3rd floor ";
  name.resize(220);
  inst::InstallContext context{};
  context.indent = 4;
  for (auto _ : state) {
    inst::LogLine(&context, TEXT(">DeletePrinter(%s)"), name.c_str());
    bench::TrimLog(context);
  }
  state.SetBytesProcessed(state.iterations() * int64_t(name.size() + 26) * 2);
  inst::DestroyInstallContext(&context);
}
BENCHMARK(BM_LogLineLongPrinterName);

// range(0) bytes; range(1) ms of simulated time that another program still holds the
// destination open each time, so the copy waits in its retry loop.
void BM_CopyFile(benchmark::State& state) {
  bench::FreshMachine();
  const int64_t bytes = state.range(0);
  winsim::WriteMachineFile(kToolDir + "payload.bin", std::string(size_t(bytes), 'x'));
  const std::string target = "C:\\Windows\\system32\\";
  winsim::HoldFile(target + "payload.bin", "bench", 0);
  winsim::FileHold& hold = winsim::M().files.holds.back();
  inst::InstallContext context{};
  inst::AssignString(context.moduleDir, winsim::Wide(kToolDir).c_str());
  const std::u16string targetDir = winsim::Wide(target);
  uint64_t simMs = 0;
  for (auto _ : state) {
    uint64_t start = winsim::M().clock.nowMs;
    hold.untilMs = start + uint64_t(state.range(1));
    HRESULT result = inst::CopyFile(&context, targetDir.c_str(), u"payload.bin", nullptr, true);
    if (!bench::Check(state, result == S_OK && context.errorCount == 0, "the copy failed")) break;
    simMs += winsim::M().clock.nowMs - start;
    bench::TrimLog(context);
    bench::TrimTrace();
  }
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["sim_ms"] = Counter(double(simMs), Counter::kAvgIterations);
  inst::DestroyInstallContext(&context);
}
BENCHMARK(BM_CopyFile)
    ->ArgNames({"bytes", "held_ms"})
    ->Args({1 << 10, 0})
    ->Args({1 << 20, 0})
    ->Args({1 << 10, 1000})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
