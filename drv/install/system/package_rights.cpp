#include "system/package_rights.h"

#include "core/counted_string.h"
#include "core/install_context.h"
#include "core/install_log.h"
#include "core/owned_handle.h"
#include "core/wide.h"

namespace inst {

namespace {

constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | DELETE | FILE_DELETE_CHILD | WRITE_DAC |
                                WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool StartsWith(const WCHAR* text, const WCHAR* head) {
  for (; *head; ++text, ++head)
    if (*text != *head) return false;
  return true;
}

bool EndsWith(const WCHAR* text, const WCHAR* tail) {
  size_t n = StrLen(text), m = StrLen(tail);
  return n >= m && StrEqual(text + n - m, tail);
}

// A domain's "S-1-5-21-a-b-c-RID": five sub-authorities, the first 21.
bool DomainGroup(const WCHAR* sid, const WCHAR* rid) {
  if (!StartsWith(sid, TEXT("S-1-5-21-")) || !EndsWith(sid, rid)) return false;
  int dashes = 0;
  for (const WCHAR* c = sid; *c; ++c) dashes += *c == '-';
  return dashes == 7;
}

void ReportChange(InstallContext* context, const WCHAR* path, const WCHAR* account) {
  SetLastError(ERROR_ACCESS_DENIED);
  ReportError(context, 29, TEXT("The package's %s can be changed by %s, not only by administrators"), path, account);
}

// The SID text of an account that may change the object and is not trusted, in a LocalFree
// block; null when there is none. `*error` is set when the SIDs cannot be read.
WCHAR* Intruder(PSID owner, PACL dacl, bool driveRoot, const WCHAR* self, DWORD* error) {
  WCHAR* text = nullptr;
  if (owner && !ConvertSidToStringSidW(owner, &text)) {
    *error = GetLastError();
    return nullptr;
  }
  if (text && !TrustedAccount(text, self)) return text;
  LocalFree(text);
  text = nullptr;
  ACL_SIZE_INFORMATION size = {};
  if (!GetAclInformation(dacl, &size, sizeof(size), AclSizeInformation)) {
    *error = GetLastError();
    return nullptr;
  }
  for (DWORD i = 0; i < size.AceCount; ++i) {
    LPVOID entry = nullptr;
    if (!GetAce(dacl, i, &entry)) {
      *error = GetLastError();
      return nullptr;
    }
    const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    if (!EntryLetsChange(ace->Header.AceType, ace->Header.AceFlags, ace->Mask, driveRoot)) continue;
    if (!ConvertSidToStringSidW(const_cast<DWORD*>(&ace->SidStart), &text)) {
      *error = GetLastError();
      return nullptr;
    }
    if (!TrustedAccount(text, self)) return text;
    LocalFree(text);
    text = nullptr;
  }
  return nullptr;
}

}  // namespace

bool EntryLetsChange(BYTE aceType, BYTE aceFlags, DWORD mask, bool driveRoot) {
  if (aceType != ACCESS_ALLOWED_ACE_TYPE || (aceFlags & INHERIT_ONLY_ACE)) return false;
  if (driveRoot) mask &= ~DWORD(FILE_ADD_SUBDIRECTORY);
  return (mask & kChangeRights) != 0;
}

bool TrustedAccount(const WCHAR* sid, const WCHAR* self) {
  static const WCHAR* const kTrusted[] = {
      TEXT("S-1-5-18"), TEXT("S-1-5-32-544"),
      TEXT("S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464")};  // TrustedInstaller
  for (const WCHAR* trusted : kTrusted)
    if (StrEqual(sid, trusted)) return true;
  return DomainGroup(sid, TEXT("-512")) || DomainGroup(sid, TEXT("-519")) || (self && StrEqual(sid, self));
}

WCHAR* RunningAccountSid() {
  OwnedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token.handle)) return nullptr;
  union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } buffer;
  DWORD length = 0;
  WCHAR* text = nullptr;
  if (!GetTokenInformation(token.handle, TokenUser, &buffer, sizeof(buffer), &length) ||
      !ConvertSidToStringSidW(buffer.user.User.Sid, &text))
    text = nullptr;
  return text;
}

bool CheckPathRights(InstallContext* context, const WCHAR* path, bool driveRoot, const WCHAR* self) {
  DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    ReportError(context, 29, TEXT("Can`t tell who may change the package's %s"), path);
    return false;
  }
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    SetLastError(ERROR_CANT_RESOLVE_FILENAME);
    ReportError(context, 29, TEXT("The package's %s is a reparse point"), path);
    return false;
  }
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error = GetNamedSecurityInfoW(path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                      &owner, nullptr, &dacl, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    ReportError(context, 29, TEXT("Can`t tell who may change the package's %s"), path);
    return false;
  }
  error = ERROR_SUCCESS;
  // No DACL at all lets everyone do everything.
  WCHAR* intruder = dacl ? Intruder(owner, dacl, driveRoot, self, &error) : nullptr;
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    ReportError(context, 29, TEXT("Can`t tell who may change the package's %s"), path);
  } else if (!dacl) {
    ReportChange(context, path, TEXT("S-1-1-0"));
  } else if (intruder) {
    ReportChange(context, path, intruder);
  }
  LocalFree(intruder);
  LocalFree(descriptor);
  return error == ERROR_SUCCESS && dacl && !intruder;
}

bool CheckFolderRights(InstallContext* context, const WCHAR* moduleDir, const WCHAR* self) {
  CountedString folder = nullptr;
  // The root ends at the first separator, or for a share ("\\server\share\") at the fourth.
  size_t separators = StartsWith(moduleDir, TEXT("\\\\")) ? 4 : 1, seen = 0;
  bool fine = true, built = true;
  for (size_t i = 0; moduleDir[i] && fine && built; ++i) {
    if (moduleDir[i] != '\\' || ++seen < separators) continue;
    built = AssignString(folder, moduleDir) && SetStringLength(folder, seen == separators ? i + 1 : i);
    if (built) fine = CheckPathRights(context, Text(folder), seen == separators, self);
  }
  FreeString(folder);
  if (!built) {
    SetLastError(DWORD(E_OUTOFMEMORY));
    ReportError(context, 29, TEXT("Can`t tell who may change the package's %s"), moduleDir);
  }
  return fine && built;
}

}  // namespace inst
