// The machine's processes and mutexes, the running program's handles to them, and the product's
// tray companion as a simulated program.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "winsim/win_types.h"

namespace winsim {

// The running program (the tool, or a test): the owner of what it acquires.
constexpr uint32_t kThisProcessId = 0x0A10;

// How the simulated tray companion ("lumtray.exe") answers its quit message.
struct CompanionBehaviour {
  bool createsWindow = true;        // false: it runs without its window
  int64_t quitDelayMs = 0;          // from the quit message to its exit; -1: it never exits
  int64_t windowCloseDelayMs = -1;  // from the quit message to its window's end, when that comes
                                    // before the exit; -1: the window ends with the process
  bool releasesMutex = true;        // false: it exits owning its mutex, which is then abandoned
};

// A started program. While it runs it holds its executable (deleting it fails with
// ERROR_ACCESS_DENIED); a companion also holds its mutex and shows its window.
struct Process {
  uint32_t pid = 0;
  std::string image;  // the executable's full Windows path
  std::string commandLine;
  uint64_t window = 0;    // its window, 0: none
  int64_t exitAtMs = -1;  // when it exits (or exited); -1: it runs on
  bool exited = false;
  std::vector<uint64_t> mutexes;  // mutexes it has open; rebuilt at load
  // Another program's named mutex (`winsim mutex`): owned from its start until it exits; with
  // mutexAbandoned its owner has died already and this process only keeps it open.
  std::string namedMutex;
  bool mutexAbandoned = false;
};

struct Mutex {
  uint64_t id = 0;
  std::string name;    // empty: unnamed
  uint32_t owner = 0;  // the owning process; 0: signalled
  uint32_t count = 0;  // the owner's recursive acquisitions
  bool abandoned = false;
  std::string sddl;  // the security descriptor it was created with, as text; empty: the default
};

enum class ObjectKind { Process, Thread, Mutex };

// A handle of the running program: the process id (processes, threads) or the mutex id.
struct KernelHandle {
  ObjectKind kind = ObjectKind::Process;
  uint64_t object = 0;
};

struct ProcessState {
  std::vector<Process> processes;  // saved: the running ones
  CompanionBehaviour companion;
  uint32_t nextPid = 0x1000;
  // A mutex lives while a handle or a running process has it open; neither survives the
  // program, so mutexes are not saved: the running companions' own come back at load.
  std::vector<Mutex> mutexes;
  std::map<uint64_t, KernelHandle> handles;  // the running program's; not saved
  uint64_t nextMutexId = 1;
};

// Starts the program a command line names, as CreateProcessW finds it; null with `*error` set
// when there is none.
Process* StartProgram(const std::u16string& commandLine, DWORD* error);
Process* FindProcess(uint32_t pid);
// Another program that owns the named mutex for `ms` of simulated time (negative: until a
// restart), or, with `abandoned`, one whose owner died holding it.
void StartMutexHolder(const std::string& name, int64_t ms, bool abandoned);
// The running tray companion, or null.
Process* RunningCompanion();
Mutex* FindMutex(uint64_t id);
Mutex* FindNamedMutex(const std::string& name);
// Ends the processes whose time has come; every advance of the clock runs it.
void SettleProcesses();
// A message posted to one of the machine's windows reaches the process that owns it.
void DeliverMessage(uint64_t window, UINT message);
// Restart: every process ends; at logon the Run keys' programs start, as Windows starts them.
void EndAllProcesses();
void Logon();
// After loading a machine: each running process takes back its window, file and mutex.
void AttachRunningProcesses();
// Closes one of the running program's kernel object handles; false when it is none.
bool CloseKernelObject(HANDLE handle);
std::string DescribeKernelObject(HANDLE handle);
// The running program has ended without closing them: its kernel handles go, and the mutexes it
// owned are abandoned.
void CloseAllKernelObjects();

}  // namespace winsim
