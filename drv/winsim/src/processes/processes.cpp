// Processes of the simulated machine: how a command line finds its program, what a running
// program holds, the product's tray companion, and the end of processes.
#include "winsim/processes.h"

#include <algorithm>
#include <filesystem>

#include "winsim/machine.h"
#include "winsim/windows.h"

namespace winsim {

namespace {

// The tray companion's side of its contract with the installer.
constexpr const char* kCompanionImage = "lumtray.exe";
constexpr const char* kCompanionMutex = "{6F3B2D10-4C7A-4E19-9B52-3A7D0C1E8F64}";
constexpr const char* kCompanionClass = "lsv::{2E8D4A61-7B90-4C3F-A1D5-6C0B9E27F4A8}";
constexpr UINT kCompanionQuit = 0x402;

ProcessState& P() { return M().processes; }

std::string HoldOwner(uint32_t pid) { return "process " + std::to_string(pid); }

std::string FileName(const std::string& path) {
  size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool IsCompanion(const Process& p) { return EqualNoCase(FileName(p.image), kCompanionImage); }

Window* WindowOf(const Process& p) {
  for (Window& w : M().ui.windows)
    if (p.window && w.handle == p.window) return &w;
  return nullptr;
}

std::string DirectoryOf(const std::string& path) {
  size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

// A candidate module name as CreateProcessW looks it up: ".exe" added when the name has no
// extension; a bare name searched in the program's directory, the current directory, the
// system directory and the Windows directory; a path taken against the current directory.
DWORD LocateProgram(std::string name, std::string* image) {
  if (FileName(name).find('.') == std::string::npos) name += ".exe";
  std::vector<std::string> tries;
  if (name.find_first_of("\\/:") == std::string::npos) {
    for (const std::string& dir : {DirectoryOf(M().os.modulePath), M().files.currentDir, M().os.systemDir,
                                   DirectoryOf(M().os.systemDir)})
      tries.push_back(dir + "\\" + name);
  } else {
    tries.push_back(name);
  }
  DWORD error = ERROR_FILE_NOT_FOUND;
  for (const std::string& candidate : tries) {
    std::string full = FullWindowsPath(candidate, &error);
    HostPath found;
    if (error || (error = LocateExisting(full, &found))) continue;
    std::error_code ec;
    if (std::filesystem::is_directory(found.path, ec)) return ERROR_ACCESS_DENIED;
    // CreateProcess opens the image for SYNCHRONIZE, FILE_EXECUTE, FILE_READ_ATTRIBUTES and
    // FILE_READ_DATA, sharing reading and deletion (kernel32's CreateProcessW, public source).
    if (!SharingAllows(found.path, SYNCHRONIZE | FILE_EXECUTE | FILE_READ_ATTRIBUTES | FILE_READ_DATA,
                       FILE_SHARE_READ | FILE_SHARE_DELETE))
      return ERROR_SHARING_VIOLATION;
    *image = full;
    return 0;
  }
  return error;
}

// The program a command line starts: a quoted first word as it stands; unquoted words are
// tried one more at a time ("C:\Program Files\a.exe" tries "C:\Program" first). The order is
// CreateProcessW's with no application name (learn.microsoft.com, CreateProcessW, lpCommandLine:
// "c:\program files\sub dir\program name" tries c:\program.exe, then c:\program files\sub.exe,
// ...); the Run keys are started the same way at logon.
DWORD ProgramOf(const std::string& line, std::string* image) {
  size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos) return ERROR_FILE_NOT_FOUND;
  if (line[start] == '"') {
    size_t end = line.find('"', start + 1);
    return LocateProgram(line.substr(start + 1, end == std::string::npos ? end : end - start - 1), image);
  }
  DWORD error = ERROR_FILE_NOT_FOUND;
  for (size_t end = start; end != std::string::npos;) {
    end = line.find_first_of(" \t", line.find_first_not_of(" \t", end));
    error = LocateProgram(line.substr(start, end == std::string::npos ? end : end - start), image);
    if (!error) return 0;
  }
  return error;
}

bool Referenced(const Mutex& m) {
  for (const auto& [handle, k] : P().handles)
    if (k.kind == ObjectKind::Mutex && k.object == m.id) return true;
  for (const Process& p : P().processes)
    if (!p.exited && std::find(p.mutexes.begin(), p.mutexes.end(), m.id) != p.mutexes.end()) return true;
  return false;
}

void PruneMutexes() { std::erase_if(P().mutexes, [](const Mutex& m) { return !Referenced(m); }); }

// The name a holder's object has among the machine's: in its namespace when it has one.
std::string ObjectName(const Process& p) {
  return p.namespaceKey.empty() ? p.namedMutex : NamespacePrefix(HoldNamespace(p.namespaceKey)) + "\\" + p.namedMutex;
}

// A process opens its mutex: the companion owned, as its single-instance guard; a holder owned
// unless its owner died, leaving it abandoned, or it waits for the owner.
void OpenProcessMutex(Process& p, const std::string& name, bool owned) {
  if (!p.mutexes.empty()) return;
  if (Mutex* m = FindNamedMutex(name)) {
    p.mutexes.push_back(m->id);
    return;
  }
  Mutex m;
  m.id = P().nextMutexId++;
  m.name = name;
  if (owned) {
    m.owner = p.pid;
    m.count = 1;
  }
  m.abandoned = !owned && p.mutexAbandoned;
  m.event = p.namedIsEvent;
  m.sddl = p.namedSddl;
  P().mutexes.push_back(m);
  p.mutexes.push_back(m.id);
}

// The shell's desktop window, which GetShellWindow gives (learn.microsoft.com, GetShellWindow);
// "Progman" is the class Windows gives it.
bool IsShell(const Process& p) { return EqualNoCase(FileName(p.image), "explorer.exe"); }

// What a running process holds; what it has already is left as it is.
void Attach(Process& p) {
  // The shell's image is not on winsim's disk: it holds nothing.
  bool held = p.image.empty() || IsShell(p);
  for (const FileHold& h : M().files.holds) held = held || h.owner == HoldOwner(p.pid);
  if (!held) HoldFile(p.image, HoldOwner(p.pid), UINT64_MAX, ERROR_ACCESS_DENIED);
  if (!p.namedMutex.empty()) OpenProcessMutex(p, ObjectName(p), !p.mutexAbandoned && !p.waitsForMutex);
  if (IsShell(p) && !WindowOf(p)) p.window = AddWindow("Progman", "Program Manager", -1);
  if (Window* w = WindowOf(p)) w->pid = p.pid;
  if (!IsCompanion(p)) return;
  OpenProcessMutex(p, kCompanionMutex, true);
  Window* w = WindowOf(p);
  // It answers only its quit message: close requests leave its window alone.
  if (P().companion.createsWindow && (!w || !w->open)) {
    p.window = AddWindow(kCompanionClass, "Lumascribe Tray", -1);
    WindowOf(p)->pid = p.pid;
  }
}

void End(Process& p) {
  p.exited = true;
  if (p.exitAtMs < 0) p.exitAtMs = int64_t(M().clock.nowMs);
  for (uint64_t id : p.mutexes) {
    Mutex* m = FindMutex(id);
    if (!m || m->owner != p.pid) continue;
    m->owner = 0;
    m->count = 0;
    m->abandoned = IsCompanion(p) && !P().companion.releasesMutex;
    HandOverMutex(*m);
  }
  p.mutexes.clear();
  PruneMutexes();
  PruneNamespaces();
  if (Window* w = WindowOf(p)) w->open = false;
  ReleaseHolds(HoldOwner(p.pid));
}

}  // namespace

Process* StartProgram(const std::u16string& commandLine, const Identity& who, DWORD* error) {
  std::string image;
  if ((*error = ProgramOf(Utf8(commandLine), &image))) return nullptr;
  ProcessState& state = P();
  Process started;
  started.pid = state.nextPid;
  state.nextPid += 8;  // the thread's id lies between
  started.image = image;
  started.commandLine = Utf8(commandLine);
  started.identity = who;
  state.processes.push_back(started);
  Process& p = state.processes.back();
  // A second companion finds the first one's mutex and leaves at once.
  if (IsCompanion(p) && FindNamedMutex(kCompanionMutex)) {
    End(p);
  } else {
    Attach(p);
  }
  return &p;
}

// A standard user can squat a name anywhere; only a member of the namespace's boundary gets
// into a private namespace, so its holder is an elevated administrator.
void StartObjectHolder(const NamedObject& object, int64_t ms) {
  Process holder;
  holder.pid = P().nextPid;
  P().nextPid += 8;
  holder.commandLine = "(holds " + std::string(object.event ? "event " : "mutex ") + object.name + ")";
  holder.identity = object.namespaceKey.empty() ? BobIdentity() : AdminIdentity();
  holder.namedMutex = object.name;
  holder.mutexAbandoned = object.abandoned;
  holder.namedIsEvent = object.event;
  holder.namedSddl = object.sddl;
  holder.namespaceKey = object.namespaceKey;
  holder.waitsForMutex = object.waits;
  if (object.waits) holder.holdForMs = ms;
  else if (ms >= 0 && !object.abandoned) holder.exitAtMs = int64_t(M().clock.nowMs) + ms;
  P().processes.push_back(holder);
  Attach(P().processes.back());
}

HANDLE NewObjectHandle(ObjectKind kind, uint64_t object, DWORD access) {
  uint64_t handle = NewKernelHandle();
  P().handles[handle] = {kind, object, access, std::string()};
  return reinterpret_cast<HANDLE>(uintptr_t(handle));
}

KernelHandle* FindKernelHandle(HANDLE handle) {
  auto found = P().handles.find(uint64_t(reinterpret_cast<uintptr_t>(handle)));
  return found == P().handles.end() ? nullptr : &found->second;
}

const Identity* IdentityOf(uint32_t pid) {
  if (pid && (pid == M().os.processId || pid == kThisProcessId)) return &M().security.tool;
  Process* p = FindProcess(pid);
  return p && !p->exited ? &p->identity : nullptr;
}

// A released mutex goes to the first process that waits for it, abandoned or not: the wait it
// satisfies makes the waiter its owner (learn.microsoft.com, WaitForSingleObject).
void HandOverMutex(Mutex& m) {
  for (Process& p : P().processes) {
    if (p.exited || !p.waitsForMutex || std::find(p.mutexes.begin(), p.mutexes.end(), m.id) == p.mutexes.end())
      continue;
    p.waitsForMutex = false;
    m.owner = p.pid;
    m.count = 1;
    m.abandoned = false;
    if (p.holdForMs >= 0) p.exitAtMs = int64_t(M().clock.nowMs) + p.holdForMs;
    return;
  }
}

Process* FindProcess(uint32_t pid) {
  for (Process& p : P().processes)
    if (p.pid == pid) return &p;
  return nullptr;
}

Process* RunningCompanion() {
  for (Process& p : P().processes)
    if (!p.exited && IsCompanion(p)) return &p;
  return nullptr;
}

Mutex* FindMutex(uint64_t id) {
  for (Mutex& m : P().mutexes)
    if (m.id == id) return &m;
  return nullptr;
}

Mutex* FindNamedMutex(const std::string& name) {
  // Object names are case-sensitive.
  for (Mutex& m : P().mutexes)
    if (!name.empty() && m.name == name) return &m;
  return nullptr;
}

void SettleProcesses() {
  for (Process& p : P().processes)
    if (!p.exited && p.exitAtMs >= 0 && uint64_t(p.exitAtMs) <= M().clock.nowMs) End(p);
}

void DeliverMessage(uint64_t window, UINT message) {
  for (Process& p : P().processes) {
    if (p.exited || p.window != window || !IsCompanion(p) || message != kCompanionQuit) continue;
    if (p.exitAtMs >= 0) return;  // already on its way out
    const CompanionBehaviour& b = P().companion;
    int64_t now = int64_t(M().clock.nowMs);
    if (b.quitDelayMs >= 0) p.exitAtMs = now + b.quitDelayMs;
    Window* w = WindowOf(p);
    bool windowFirst = b.windowCloseDelayMs >= 0 && (b.quitDelayMs < 0 || b.windowCloseDelayMs < b.quitDelayMs);
    if (w && windowFirst && w->closeAtMs < 0) w->closeAtMs = now + b.windowCloseDelayMs;
    SettleProcesses();
    return;
  }
}

void EndAllProcesses() {
  for (Process& p : P().processes)
    if (!p.exited) End(p);
  P().handles.clear();
  P().mutexes.clear();
  M().security.tokens.clear();
  PruneNamespaces();
}

void StartShell() {
  Process shell;
  shell.pid = P().nextPid;
  P().nextPid += 8;
  shell.image = "C:\\Windows\\explorer.exe";
  shell.commandLine = "C:\\Windows\\explorer.exe";
  shell.identity = M().security.desktop;
  P().processes.push_back(shell);
  Attach(P().processes.back());
}

// The desktop's user signs in: the shell starts, then the Run keys' programs as that user.
void Logon() {
  const Identity& user = M().security.desktop;
  StartShell();
  for (const char* run : {"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                          "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"}) {
    RegKey* key = FindRegKey(run);
    if (!key) continue;
    for (const RegValue& value : key->values) {
      if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) continue;
      std::vector<std::u16string> strings = MultiSzStrings(value.data);
      DWORD error = 0;
      // A program that cannot start is skipped without a word, as at a real logon.
      if (!strings.empty()) StartProgram(strings[0], user, &error);
    }
  }
}

void AttachRunningProcesses() {
  ProcessState& state = P();
  for (Process& p : state.processes) {
    if (!p.pid) {
      p.pid = state.nextPid;
      state.nextPid += 8;
    }
    state.nextPid = std::max(state.nextPid, p.pid + 8);
    Attach(p);
  }
}

bool CloseKernelObject(HANDLE handle) {
  KernelHandle* k = FindKernelHandle(handle);
  if (!k) return false;
  if (k->kind == ObjectKind::Token) M().security.tokens.erase(k->object);
  P().handles.erase(uint64_t(reinterpret_cast<uintptr_t>(handle)));
  PruneMutexes();
  PruneNamespaces();
  return true;
}

// A mutex its ended owner held goes to the next waiter as abandoned (docs: "WaitForSingleObject
// function", WAIT_ABANDONED).
void CloseAllKernelObjects() {
  for (Mutex& m : P().mutexes)
    if (m.owner == kThisProcessId) {
      m.owner = 0;
      m.count = 0;
      m.abandoned = true;
      HandOverMutex(m);
    }
  P().handles.clear();
  M().security.tokens.clear();
  M().security.boundaries.clear();
  PruneMutexes();
  PruneNamespaces();
}

std::string DescribeKernelObject(HANDLE handle) {
  auto found = P().handles.find(uint64_t(reinterpret_cast<uintptr_t>(handle)));
  if (found == P().handles.end()) return std::string();
  const KernelHandle& k = found->second;
  switch (k.kind) {
    case ObjectKind::Process:
      return "process " + std::to_string(k.object);
    case ObjectKind::Thread:
      return "thread of " + std::to_string(k.object);
    case ObjectKind::Mutex: {
      Mutex* m = FindMutex(k.object);
      return "mutex " + (m ? m->name : std::string());
    }
    case ObjectKind::Token:
      return "token " + std::to_string(k.object);
    case ObjectKind::Namespace: {
      PrivateNamespace* n = FindNamespace(k.object);
      return "namespace " + (n ? n->key : std::string());
    }
  }
  return std::string();
}

}  // namespace winsim
