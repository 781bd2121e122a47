// The running program stopped dead, as when it is killed: the system closes what it held and
// nothing else is flushed or undone.
#include <cstdio>
#include <cstdlib>

#include "winsim/machine.h"

namespace winsim {

namespace {

void FreeAll(std::map<const void*, SIZE_T>& blocks) {
  for (const auto& block : blocks) std::free(const_cast<void*>(block.first));
  blocks.clear();
}

}  // namespace

void EndRunningProgram() {
  Machine& m = M();
  // The spooler runs down a dead client's handles as if it had closed them.
  std::map<uint64_t, PrinterHandle> printers;
  printers.swap(m.spooler.handles.open);
  for (const auto& handle : printers) LetGoOfPrinterHandle(handle.second);
  m.files.open.clear();
  m.registry.open.clear();
  m.services.handles.clear();
  m.eventLog.handles.clear();
  for (const void* string : m.runtime.strings) delete static_cast<const std::u16string*>(string);
  m.runtime = RuntimeState();
  CloseAllKernelObjects();
  FreeAll(m.heap.globalBlocks);
  FreeAll(m.heap.localBlocks);
  FreeAll(m.heap.heapBlocks);
}

void StopDead() {
  Machine& m = M();
  m.os.stopAfterCalls = 0;
  EndRunningProgram();
  std::string problem;
  if (!SaveMachine(m.root, &problem)) std::fprintf(stderr, "winsim: %s\n", problem.c_str());
  std::_Exit(kStoppedDead);  // the program's own buffers die with it
}

}  // namespace winsim
