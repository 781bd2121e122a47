// The simulated Windows machine: all of its state, for winsim's calls and for tests.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "winsim/drivers.h"
#include "winsim/event_log.h"
#include "winsim/file_state.h"
#include "winsim/monitors.h"
#include "winsim/printers.h"
#include "winsim/processes.h"
#include "winsim/services.h"
#include "winsim/registry_state.h"
#include "winsim/security.h"
#include "winsim/win_types.h"

namespace winsim {

// A planned failure: calls of `call` whose key argument contains `match` (case-insensitive;
// empty matches every call) fail with `error` from the `firstCall`-th matching call to the
// `lastCall`-th, and only while simulated time is below `untilMs`.
struct Fault {
  std::string call;
  std::string match;
  uint32_t firstCall = 1;
  uint32_t lastCall = UINT32_MAX;
  uint64_t untilMs = UINT64_MAX;
  DWORD error = 0;
  uint32_t seen = 0;
};

struct TraceEntry {
  uint64_t ms;
  std::string call;
  std::string detail;
};

enum class NativeMachine { X64, Arm64 };  // "x64", "arm64" in the machine file

struct OsState {
  std::string modulePath = "C:\\Program Files\\Lumascribe\\install\\install.exe";
  std::string systemDir = "C:\\Windows\\system32";
  std::u16string commandLine;
  DWORD lastError = 0;
  // The system's true version: Windows 10 22H2 x64.
  DWORD majorVersion = 10;
  DWORD minorVersion = 0;
  DWORD buildNumber = 19045;
  DWORD platformId = 2;
  // Whether the running program's manifest declares Windows 8.1/10 support; the tool's does
  // not, so GetVersionExA tells it 6.2.9200 as Windows does.
  bool manifestDeclaresWindows10 = false;
  uint64_t nextHandle = 0x100;  // the running program's next kernel handle value
  uint32_t processId = 0;       // the running program's; 0: not yet asked for (not saved)
  std::string tempDir = "C:\\Windows\\SystemTemp\\";  // GetTempPath(2)W: a SYSTEM process's
  // The processor Windows runs on; on Arm64 this x64 program is emulated.
  NativeMachine nativeMachine = NativeMachine::X64;
  // Windows protected print mode switched on in Settings (the policy value is in the registry);
  // it exists from build 26100 on.
  bool protectedPrint = false;
  // The running program stops dead (StopDead) as it begins its call after this many traced
  // calls; 0: never. Not saved: it belongs to one run.
  uint32_t stopAfterCalls = 0;
};

struct ClockState {
  uint64_t nowMs = 0;
  DWORD tickAtBoot = 0x00A00000;  // GetTickCount() at nowMs 0
};

struct Window {
  uint64_t handle = 0;
  std::string className;
  std::string title;
  int64_t closeDelayMs = 0;  // after WM_SYSCOMMAND/SC_CLOSE: 0 at once, -1 never
  int64_t closeAtMs = -1;    // when a requested close completes
  bool open = true;
  uint32_t pid = 0;  // the process that made it; 0: the running program
};

// What the simulated user does with a dialog: the key or button that closes it.
enum class DialogAnswer { CloseButton, Enter, Escape, CloseBox };

// A dialog as it was shown.
struct DialogRecord {
  int templateId = 0;
  uint64_t owner = 0;
  std::string title;
  std::map<int, std::string> itemTexts;
  int64_t result = 0;
};

// Shows an open dialog to a real user and returns the command id that closed it (IDOK or
// IDCANCEL). Null means the simulated user answers from `dialogAnswer`.
typedef int (*DialogPresenter)(const DialogRecord& dialog);

struct UiState {
  std::vector<Window> windows;
  bool shiftDown = false;
  DialogAnswer dialogAnswer = DialogAnswer::CloseButton;
  bool dialogsFail = false;  // no dialog can be created (a headless session)
  // Whether the program's window station has a display anybody sees (WSF_VISIBLE); a service
  // or a SYSTEM deployment runs on one that has none.
  bool windowStationVisible = true;
  std::vector<DialogRecord> dialogs;
  DialogPresenter presenter = nullptr;
};

// The running program's blocks and their sizes; not saved.
struct HeapState {
  std::map<const void*, SIZE_T> globalBlocks;
  std::map<const void*, SIZE_T> localBlocks;
  std::map<const void*, SIZE_T> heapBlocks;  // the process heap's
};

struct SpoolerState {
  std::map<std::string, std::string> driverDirs;  // environment name -> directory
  PrinterList printers;                           // local printers first, then connections
  std::string defaultPrinter;                     // the user's default printer; empty: none
  // Each EnumPrintersW that answers 122 installs the first of these: a printer that appears
  // between a caller's sizing call and its filling call.
  std::vector<Printer> arriveAfterSizing;
  // What was done through connections to other machines' printers, one "Call \\host\share"
  // each: on Windows those changes reach the server, so here they are only recorded.
  std::vector<std::string> remoteChanges;
  PrinterHandles handles;
};

struct Machine {
  std::string root;  // host directory that holds this machine's drive_c
  OsState os;
  ClockState clock;
  std::vector<Fault> faults;
  std::vector<TraceEntry> trace;
  UiState ui;
  HeapState heap;
  SpoolerState spooler;
  FileState files;
  ServiceState services;
  RegistryState registry;
  MonitorState monitors;
  DriverState drivers;
  ProcessState processes;
  EventLogState eventLog;
  RuntimeState runtime;
  SecurityState security;
};

Machine& M();

// A fresh x64 Windows installation rooted at the host directory `root`.
void ResetMachine(const std::string& root);
// The machine kept in `dir` (machine.json beside drive_c). False when the directory holds no
// machine.json, or, with `problem` set to a one-line message naming the file, the place in it
// and what was expected there, when the file or drive_c cannot be used; the directory is then
// left as it was.
bool LoadMachine(const std::string& dir, std::string* problem = nullptr);
// Replaces machine.json and trace.txt whole; false with `problem` set when it cannot.
bool SaveMachine(const std::string& dir, std::string* problem = nullptr);

// Helpers for winsim's calls and for tests.
std::string Utf8(const WCHAR* text);
std::string Utf8(const std::u16string& text);
std::u16string Wide(const std::string& text);
// ANSI text as the machine's code page (Windows-1252) converts it.
std::u16string WideFromAnsi(const std::string& text);
std::string AnsiFromWide(const std::u16string& text);
bool EqualNoCase(const std::string& a, const std::string& b);

void Trace(const std::string& call, const std::string& detail = std::string());
// The error of the first fault that applies to this call of `call`, or 0.
DWORD FaultFor(const std::string& call, const std::string& key = std::string());
// Sets the thread's last error and returns `result`: winsim's calls fail through it.
template <typename T>
T Fail(DWORD error, T result) {
  M().os.lastError = error;
  return result;
}
void AdvanceClock(uint64_t ms);
// The exit code of a program stopped dead, as a shell shows a killed one (128 + SIGKILL).
constexpr int kStoppedDead = 137;
// What the system does when the running program ends without cleaning up: its printer, file,
// registry, service and kernel handles closed (the spooler running down its printer handles),
// the mutexes it owned abandoned, its blocks gone.
void EndRunningProgram();
// Ends the running program there and then: EndRunningProgram, the machine saved into its root
// as the death leaves it, and the process exits with kStoppedDead.
[[noreturn]] void StopDead();
// Restarts Windows: every program ends with its holds and handles, the file operations queued
// in PendingFileRenameOperations are carried out as the session manager does at boot, and at
// logon the programs of the Run keys start.
void Reboot();
uint64_t AddWindow(const std::string& className, const std::string& title, int64_t closeDelayMs);
int CountCalls(const std::string& call);
// A new handle value for the running program: files and other kernel objects share them.
uint64_t NewKernelHandle();
// The sizes of the GlobalAlloc and HeapAlloc blocks still allocated that were written past their
// end (freeing one ends the program); empty when none was.
std::string DamagedBlocks();

}  // namespace winsim
