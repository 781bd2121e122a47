// The Application event log as programs write it, and the WinRT and run-time DLL use of the
// running program.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace winsim {

// One event as ReportEventW wrote it.
struct LoggedEvent {
  std::string source;
  uint32_t type = 0;  // EVENTLOG_ERROR_TYPE, ...
  uint32_t id = 0;
  std::vector<std::string> strings;
  uint64_t ms = 0;  // when, in simulated time
};

struct EventLogState {
  std::vector<LoggedEvent> events;
  std::map<uint64_t, std::string> handles;  // the running program's sources; not saved
};

// The running program's DLLs loaded at run time and what it holds of WinRT; not saved, as
// these end with the program.
struct RuntimeState {
  std::map<uint64_t, uint32_t> libraries;  // module handle -> loads not yet freed
  uint32_t initializations = 0;            // RoInitialize calls not yet undone
  std::set<const void*> strings;           // HSTRINGs not yet deleted
  uint32_t references = 0;                 // activation factory references not yet released
  bool Empty() const { return libraries.empty() && initializations == 0 && strings.empty() && references == 0; }
};

// The Application log key of event sources.
constexpr char kEventSourcesKey[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";

}  // namespace winsim
