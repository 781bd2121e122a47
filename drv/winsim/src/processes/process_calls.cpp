// kernel32: starting processes, mutexes, and waiting for them on the simulated clock.
#include <cstdlib>
#include <cstring>

#include "winsim/machine.h"
#include "winsim/windows.h"

using namespace winsim;

namespace {

// The process whose end the wait depends on, or 0 when the object is signalled now.
uint32_t Blocker(const KernelHandle& k) {
  if (k.kind == ObjectKind::Mutex) {
    Mutex* m = FindMutex(k.object);
    return m && m->owner != kThisProcessId ? m->owner : 0;
  }
  Process* p = FindProcess(uint32_t(k.object));
  return p && !p->exited ? p->pid : 0;
}

}  // namespace

// Both ways of starting a program: the tool's own token, or another user's.
static BOOL Start(const char* call, const Identity& who, LPCWSTR applicationName, LPWSTR commandLine,
                  DWORD creationFlags, LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION processInformation) {
  std::u16string line = commandLine ? commandLine : applicationName ? applicationName : u"";
  Trace(call, Utf8(line) + " flags " + std::to_string(creationFlags) + " as " + who.user);
  if (DWORD error = FaultFor(call, Utf8(line))) return Fail(error, FALSE);
  if ((!applicationName && !commandLine) || !startupInfo || !processInformation)
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  // A named application is the program, found as a quoted first word would be; the command
  // line then only carries its arguments.
  std::u16string program = applicationName ? u"\"" + std::u16string(applicationName) + u"\"" : line;
  DWORD error = 0;
  Process* p = StartProgram(program, who, &error);
  if (!p) return Fail(error, FALSE);
  p->commandLine = Utf8(line);
  processInformation->dwProcessId = p->pid;
  processInformation->dwThreadId = p->pid + 4;
  processInformation->hProcess = NewObjectHandle(ObjectKind::Process, p->pid);
  processInformation->hThread = NewObjectHandle(ObjectKind::Thread, p->pid);
  return TRUE;
}

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                    BOOL, DWORD creationFlags, LPVOID, LPCWSTR, LPSTARTUPINFOW startupInfo,
                    LPPROCESS_INFORMATION processInformation) {
  return Start("CreateProcessW", M().security.tool, applicationName, commandLine, creationFlags, startupInfo,
               processInformation);
}

// CreateProcessWithTokenW (learn.microsoft.com): the token needs TOKEN_QUERY, TOKEN_DUPLICATE
// and TOKEN_ASSIGN_PRIMARY, the caller SE_IMPERSONATE_NAME (administrators and SYSTEM hold it);
// the program runs as the token's user in the caller's session (shared/notes/windows-2026.md).
BOOL CreateProcessWithTokenW(HANDLE token, DWORD, LPCWSTR applicationName, LPWSTR commandLine, DWORD creationFlags,
                             LPVOID, LPCWSTR, LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION processInformation) {
  KernelHandle* k = FindKernelHandle(token);
  auto found = k && k->kind == ObjectKind::Token ? M().security.tokens.find(k->object) : M().security.tokens.end();
  if (found == M().security.tokens.end()) {
    Trace("CreateProcessWithTokenW", "no token");
    return Fail(ERROR_INVALID_HANDLE, FALSE);
  }
  const DWORD needed = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY;
  Identity who = found->second.identity;
  who.session = M().security.tool.session;
  if ((k->access & needed) != needed) {
    Trace("CreateProcessWithTokenW", "token without the rights");
    return Fail(ERROR_ACCESS_DENIED, FALSE);
  }
  if (!HoldsSid(M().security.tool, kAdministratorsSid)) {
    Trace("CreateProcessWithTokenW", "caller without SE_IMPERSONATE_NAME");
    return Fail(ERROR_PRIVILEGE_NOT_HELD, FALSE);
  }
  return Start("CreateProcessWithTokenW", who, applicationName, commandLine, creationFlags, startupInfo,
               processInformation);
}

// CreateMutexW (learn.microsoft.com): an existing name gives a handle to that mutex, never its
// ownership, and ERROR_ALREADY_EXISTS; the security attributes apply only to a new one. The name
// of an event fails with ERROR_INVALID_HANDLE, a mutex whose DACL keeps the caller out with
// ERROR_ACCESS_DENIED (the page: it asks for MUTEX_ALL_ACCESS).
static HANDLE CreateNamedMutex(const char* call, LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner,
                               const std::string& text) {
  std::string sddl = DescriptorText(attributes);
  Trace(call, text + (initialOwner ? " owned" : "") + (sddl.empty() ? "" : " " + sddl));
  if (DWORD error = FaultFor(call, text)) return Fail(error, HANDLE(nullptr));
  DWORD error = 0;
  std::string name = ResolveObjectName(text, &error);
  if (error) return Fail(error, HANDLE(nullptr));
  ProcessState& state = M().processes;
  if (Mutex* existing = FindNamedMutex(name)) {
    if (existing->event) return Fail(ERROR_INVALID_HANDLE, HANDLE(nullptr));
    if (!DaclAdmits(existing->sddl, M().security.tool)) return Fail(ERROR_ACCESS_DENIED, HANDLE(nullptr));
    HANDLE handle = NewObjectHandle(ObjectKind::Mutex, existing->id);
    SetLastError(ERROR_ALREADY_EXISTS);
    return handle;
  }
  Mutex m;
  m.id = state.nextMutexId++;
  m.name = name;
  m.sddl = sddl;
  if (initialOwner) {
    m.owner = kThisProcessId;
    m.count = 1;
  }
  state.mutexes.push_back(m);
  SetLastError(ERROR_SUCCESS);
  return NewObjectHandle(ObjectKind::Mutex, m.id);
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name) {
  return CreateNamedMutex("CreateMutexA", attributes, initialOwner, name ? Utf8(WideFromAnsi(name)) : std::string());
}

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCWSTR name) {
  return CreateNamedMutex("CreateMutexW", attributes, initialOwner, name ? Utf8(name) : std::string());
}

// The text is kept, not parsed: only its revision and its first component are checked
// (ERROR_UNKNOWN_REVISION, ERROR_INVALID_PARAMETER: learn.microsoft.com,
// ConvertStringSecurityDescriptorToSecurityDescriptorW). The block is released with LocalFree.
BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR text, DWORD revision,
                                                          PSECURITY_DESCRIPTOR* descriptor, PULONG size) {
  std::string sddl = text ? Utf8(text) : std::string();
  Trace("ConvertStringSecurityDescriptorToSecurityDescriptorW", sddl);
  if (DWORD error = FaultFor("ConvertStringSecurityDescriptorToSecurityDescriptorW", sddl))
    return Fail(error, FALSE);
  if (revision != SDDL_REVISION_1) return Fail(DWORD(1305), FALSE);  // ERROR_UNKNOWN_REVISION
  if (!descriptor || sddl.size() < 2 || sddl[1] != ':' || std::string("OGDS").find(sddl[0]) == std::string::npos)
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  char* block = static_cast<char*>(std::malloc(sddl.size() + 1));
  if (!block) return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
  std::memcpy(block, sddl.c_str(), sddl.size() + 1);
  M().heap.localBlocks[block] = sddl.size() + 1;
  *descriptor = block;
  if (size) *size = ULONG(sddl.size() + 1);
  return TRUE;
}

// The running program's process id: a new one for each start of the program.
DWORD GetCurrentProcessId() {
  OsState& os = M().os;
  if (!os.processId) {
    os.processId = M().processes.nextPid;
    M().processes.nextPid += 8;
  }
  return os.processId;
}

BOOL ReleaseMutex(HANDLE mutex) {
  Trace("ReleaseMutex", DescribeKernelObject(mutex));
  if (DWORD error = FaultFor("ReleaseMutex", DescribeKernelObject(mutex))) return Fail(error, FALSE);
  KernelHandle* k = FindKernelHandle(mutex);
  if (!k || k->kind != ObjectKind::Mutex) return Fail(ERROR_INVALID_HANDLE, FALSE);
  Mutex* m = FindMutex(k->object);
  if (m->owner != kThisProcessId) return Fail(ERROR_NOT_OWNER, FALSE);
  if (--m->count == 0) {
    m->owner = 0;
    HandOverMutex(*m);
  }
  return TRUE;
}

// Waits by moving the clock: to the moment the object is signalled, or by the whole timeout.
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  std::string name = DescribeKernelObject(object);
  Trace("WaitForSingleObject", name + " " + std::to_string(milliseconds));
  if (DWORD error = FaultFor("WaitForSingleObject", name)) return Fail(error, WAIT_FAILED);
  // Only processes, threads and mutexes are waitable here.
  KernelHandle* k = FindKernelHandle(object);
  if (!k) return Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
  // A mutex may pass from its owner to a process that waited before this one.
  const uint64_t deadline = M().clock.nowMs + milliseconds;
  while (uint32_t pid = Blocker(*k)) {
    int64_t exitAt = FindProcess(pid)->exitAtMs;
    uint64_t now = M().clock.nowMs;
    bool forever = milliseconds == INFINITE;
    if (exitAt >= 0 && (forever || uint64_t(exitAt) <= deadline)) {
      AdvanceClock(uint64_t(exitAt) - now);
    } else if (forever) {
      // Windows would wait for ever: the simulation says so instead of hanging.
      return Fail(ERROR_POSSIBLE_DEADLOCK, WAIT_FAILED);
    } else {
      AdvanceClock(deadline - now);
      return WAIT_TIMEOUT;
    }
  }
  if (k->kind != ObjectKind::Mutex) return WAIT_OBJECT_0;
  Mutex* m = FindMutex(k->object);
  if (m->owner == kThisProcessId) {
    ++m->count;
    return WAIT_OBJECT_0;
  }
  m->owner = kThisProcessId;
  m->count = 1;
  bool abandoned = m->abandoned;
  m->abandoned = false;
  return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}
