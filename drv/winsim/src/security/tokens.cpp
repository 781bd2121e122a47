// Processes opened by id, their sessions and tokens.
#include <cstring>

#include "winsim/machine.h"
#include "winsim/windows.h"

using namespace winsim;

namespace {

// GetCurrentProcess: "a pseudo handle ... (HANDLE)-1" (learn.microsoft.com, GetCurrentProcess).
HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(LONG_PTR(-1));

// The process a handle stands for, with the access it was opened for; 0 when none.
uint32_t ProcessOf(HANDLE process, DWORD* access) {
  if (process == kCurrentProcess) {
    *access = 0x001FFFFF;  // PROCESS_ALL_ACCESS
    return GetCurrentProcessId();
  }
  KernelHandle* k = FindKernelHandle(process);
  if (!k || k->kind != ObjectKind::Process) return 0;
  *access = k->access;
  return uint32_t(k->object);
}

// An administrator's elevated token and SYSTEM reach every process and token; anyone else
// only those of their own account (the default DACLs of processes and tokens grant the account,
// SYSTEM and, for an elevated caller, Administrators: learn.microsoft.com, "Process Security and
// Access Rights", "Access Rights for Access-Token Objects").
bool MayOpen(const Identity& target) {
  const Identity& caller = M().security.tool;
  return HoldsSid(caller, kAdministratorsSid) || caller.sid == target.sid;
}

Token* TokenOf(HANDLE token, KernelHandle** handle) {
  KernelHandle* k = FindKernelHandle(token);
  *handle = k;
  if (!k || k->kind != ObjectKind::Token) return nullptr;
  auto found = M().security.tokens.find(k->object);
  return found == M().security.tokens.end() ? nullptr : &found->second;
}

HANDLE NewToken(const Token& token, DWORD access) {
  uint64_t id = M().security.nextId++;
  M().security.tokens[id] = token;
  return NewObjectHandle(ObjectKind::Token, id, access);
}

}  // namespace

HANDLE GetCurrentProcess() { return kCurrentProcess; }

// A process id that names no running process: ERROR_INVALID_PARAMETER, as for the idle process
// (learn.microsoft.com, OpenProcess).
HANDLE OpenProcess(DWORD desiredAccess, BOOL, DWORD processId) {
  Trace("OpenProcess", std::to_string(processId) + " " + std::to_string(desiredAccess));
  if (DWORD error = FaultFor("OpenProcess", std::to_string(processId))) return Fail(error, HANDLE(nullptr));
  const Identity* who = IdentityOf(processId);
  if (!processId || !who) return Fail(ERROR_INVALID_PARAMETER, HANDLE(nullptr));
  if (!MayOpen(*who)) return Fail(ERROR_ACCESS_DENIED, HANDLE(nullptr));
  return NewObjectHandle(ObjectKind::Process, processId, desiredAccess);
}

BOOL ProcessIdToSessionId(DWORD processId, DWORD* sessionId) {
  Trace("ProcessIdToSessionId", std::to_string(processId));
  if (DWORD error = FaultFor("ProcessIdToSessionId", std::to_string(processId))) return Fail(error, FALSE);
  const Identity* who = IdentityOf(processId);
  if (!who || !sessionId) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  *sessionId = who->session;
  return TRUE;
}

// The process handle needs PROCESS_QUERY_(LIMITED_)INFORMATION (OpenProcessToken page).
BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, PHANDLE token) {
  DWORD processAccess = 0;
  uint32_t pid = ProcessOf(process, &processAccess);
  Trace("OpenProcessToken", std::to_string(pid) + " " + std::to_string(desiredAccess));
  if (DWORD error = FaultFor("OpenProcessToken", std::to_string(pid))) return Fail(error, FALSE);
  if (!token) return Fail(ERROR_NOACCESS, FALSE);
  const Identity* who = pid ? IdentityOf(pid) : nullptr;
  if (!pid) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!who || !(processAccess & (PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION)) || !MayOpen(*who))
    return Fail(ERROR_ACCESS_DENIED, FALSE);
  Token t;
  t.identity = *who;
  *token = NewToken(t, desiredAccess);
  return TRUE;
}

// Two-call sizing: too small a buffer sets *returnLength and fails with
// ERROR_INSUFFICIENT_BUFFER; TOKEN_USER's SID lies in the buffer after the record
// (learn.microsoft.com, GetTokenInformation). The handle needs TOKEN_QUERY.
BOOL GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID info, DWORD length,
                         PDWORD returnLength) {
  KernelHandle* k = nullptr;
  Token* t = TokenOf(token, &k);
  Trace("GetTokenInformation", std::to_string(int(infoClass)));
  if (DWORD error = FaultFor("GetTokenInformation", std::to_string(int(infoClass)))) return Fail(error, FALSE);
  if (!t) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(k->access & TOKEN_QUERY)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (!returnLength) return Fail(ERROR_NOACCESS, FALSE);
  std::vector<uint8_t> sid = SidBytes(t->identity.sid);
  DWORD value = 0;
  DWORD needed = sizeof(DWORD);
  switch (infoClass) {
    case TokenUser:
      needed = DWORD(sizeof(TOKEN_USER) + sid.size());
      break;
    case TokenType:
      value = t->primary ? TokenPrimary : TokenImpersonation;
      break;
    case TokenSessionId:
      value = t->identity.session;
      break;
    case TokenElevation:
      value = t->identity.elevated ? 1 : 0;
      break;
    default:
      return Fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  *returnLength = needed;
  if (!info || length < needed) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  if (infoClass != TokenUser) {
    std::memcpy(info, &value, sizeof(value));
    return TRUE;
  }
  auto* user = static_cast<TOKEN_USER*>(info);
  uint8_t* sidAt = static_cast<uint8_t*>(info) + sizeof(TOKEN_USER);
  std::memcpy(sidAt, sid.data(), sid.size());
  user->User.Sid = sidAt;
  user->User.Attributes = 0;
  return TRUE;
}

// The existing token needs TOKEN_DUPLICATE; access 0 asks for the existing handle's
// (DuplicateTokenEx page).
BOOL DuplicateTokenEx(HANDLE existing, DWORD desiredAccess, LPSECURITY_ATTRIBUTES, SECURITY_IMPERSONATION_LEVEL,
                      TOKEN_TYPE type, PHANDLE newToken) {
  KernelHandle* k = nullptr;
  Token* t = TokenOf(existing, &k);
  Trace("DuplicateTokenEx", std::to_string(desiredAccess) + (type == TokenPrimary ? " primary" : " impersonation"));
  if (DWORD error = FaultFor("DuplicateTokenEx")) return Fail(error, FALSE);
  if (!t) return Fail(ERROR_INVALID_HANDLE, FALSE);
  if (!(k->access & TOKEN_DUPLICATE)) return Fail(ERROR_ACCESS_DENIED, FALSE);
  if (!newToken || (type != TokenPrimary && type != TokenImpersonation)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  Token copy = *t;
  copy.primary = type == TokenPrimary;
  *newToken = NewToken(copy, desiredAccess ? desiredAccess : k->access);
  return TRUE;
}
