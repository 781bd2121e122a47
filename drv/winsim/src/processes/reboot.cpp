// A restart of the simulated Windows: what ends with the old session and what the new one
// does before any program runs.
#include <filesystem>

#include "winsim/machine.h"
#include "winsim/windows.h"

namespace winsim {

namespace {

std::u16string WithoutNtPrefix(const std::u16string& path) {
  return path.rfind(u"\\??\\", 0) == 0 ? path.substr(4) : path;
}

// One queued operation, as the session manager carries it out: failures are skipped silently.
void CarryOut(const std::u16string& source, const std::u16string& target) {
  if (target.empty()) {
    HostPath doomed = ResolvePath(Utf8(WithoutNtPrefix(source)));
    std::error_code ec;
    // A directory goes only when it is empty.
    if (!doomed.error) std::filesystem::remove(doomed.path, ec);
    return;
  }
  bool replace = target[0] == u'!';
  RenameMachineFile(Utf8(WithoutNtPrefix(source)), Utf8(WithoutNtPrefix(target.substr(replace ? 1 : 0))),
                    replace);
}

}  // namespace

void Reboot() {
  Trace("Reboot");
  Machine& m = M();
  // Every program of the old session has ended.
  EndAllProcesses();
  m.files.holds.clear();
  m.registry.open.clear();
  std::string queued;
  if (GetRegValue(kSessionManagerKey, kPendingRenamesValue, nullptr, &queued)) {
    std::vector<std::u16string> strings = MultiSzStrings(queued);
    for (size_t i = 0; i + 1 < strings.size(); i += 2) CarryOut(strings[i], strings[i + 1]);
    DeleteRegValue(kSessionManagerKey, kPendingRenamesValue);
  }
  Logon();
}

}  // namespace winsim
