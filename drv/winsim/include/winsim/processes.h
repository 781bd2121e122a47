// The machine's processes and mutexes, the running program's handles to them, and the product's
// tray companion as a simulated program.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "winsim/security.h"
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
  Identity identity;      // whom its token stands for
  uint64_t window = 0;    // its window, 0: none
  int64_t exitAtMs = -1;  // when it exits (or exited); -1: it runs on
  bool exited = false;
  std::vector<uint64_t> mutexes;  // mutexes it has open; rebuilt at load
  // Another program's named mutex (`winsim mutex`): owned from its start until it exits; with
  // mutexAbandoned its owner has died already and this process only keeps it open.
  // The object may instead be an event, or a mutex whose DACL (namedSddl) keeps others out. In
  // a private namespace (namespaceKey), as another run of a tool holds it, the name is the one
  // after the alias. A waiting process owns the mutex only when its owner lets it go, and then
  // for holdForMs (negative: until a restart).
  std::string namedMutex;
  bool mutexAbandoned = false;
  bool namedIsEvent = false;
  std::string namedSddl;
  std::string namespaceKey;
  bool waitsForMutex = false;
  int64_t holdForMs = -1;
};

struct Mutex {
  uint64_t id = 0;
  std::string name;    // empty: unnamed
  uint32_t owner = 0;  // the owning process; 0: signalled
  uint32_t count = 0;  // the owner's recursive acquisitions
  bool abandoned = false;
  std::string sddl;  // the security descriptor it was created with, as text; empty: the default
  bool event = false;  // an event of that name: only its name is modelled
};

enum class ObjectKind { Process, Thread, Mutex, Token, Namespace };

// A handle of the running program: the process id (processes, threads), the mutex id, the token
// id or the private namespace's id; what it was opened for; a namespace's alias.
struct KernelHandle {
  ObjectKind kind = ObjectKind::Process;
  uint64_t object = 0;
  DWORD access = 0;
  std::string alias;
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
Process* StartProgram(const std::u16string& commandLine, const Identity& who, DWORD* error);
Process* FindProcess(uint32_t pid);
// The identity of the running program (its own id) or of a running process; null: none.
const Identity* IdentityOf(uint32_t pid);
// What another program holds under a name: a mutex (abandoned: its owner died holding it; with
// sddl: a DACL of its own), or an event; in a private namespace's key, as another run of a tool.
struct NamedObject {
  std::string name;
  bool abandoned = false;
  bool event = false;
  std::string sddl;
  std::string namespaceKey;
  bool waits = false;  // it waits for the mutex's owner, then holds it for `ms`
};
// Starts a program (a standard user's, or an elevated administrator's in a namespace) that keeps
// the object for `ms` of simulated time (negative: until a restart).
void StartObjectHolder(const NamedObject& object, int64_t ms);
// A new handle of the running program to a kernel object, and the record behind one.
HANDLE NewObjectHandle(ObjectKind kind, uint64_t object, DWORD access = 0);
KernelHandle* FindKernelHandle(HANDLE handle);
// The running tray companion, or null.
Process* RunningCompanion();
Mutex* FindMutex(uint64_t id);
// A mutex its owner let go passes to the first process waiting for it.
void HandOverMutex(Mutex& m);
Mutex* FindNamedMutex(const std::string& name);
// Ends the processes whose time has come; every advance of the clock runs it.
void SettleProcesses();
// A message posted to one of the machine's windows reaches the process that owns it.
void DeliverMessage(uint64_t window, UINT message);
// Restart: every process ends; at logon the Run keys' programs start, as Windows starts them.
void EndAllProcesses();
// The desktop's user's shell, explorer.exe with its desktop window.
void StartShell();
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
