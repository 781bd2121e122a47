// advapi32: the registry calls. They return their error instead of setting the last error.
#include <cstring>

#include "winsim/machine.h"
#include "winsim/windows.h"

using namespace winsim;

namespace {

constexpr REGSAM kGenericRead = 0x80000000;
constexpr REGSAM kGenericWrite = 0x40000000;
constexpr REGSAM kGenericAll = 0x10000000;
constexpr REGSAM kMaximumAllowed = 0x02000000;

// What a handle may do once the generic rights are mapped to the key's own.
REGSAM EffectiveAccess(REGSAM access) {
  if (access & (kGenericAll | kMaximumAllowed)) access |= KEY_ALL_ACCESS;
  if (access & kGenericRead) access |= KEY_READ;
  if (access & kGenericWrite) access |= KEY_WRITE;
  return access;
}

struct KeyRef {
  std::string path;  // canonical; empty for a handle that is not open
  REGSAM access = 0;
};

KeyRef Resolve(HKEY key) {
  // The program runs elevated: the predefined keys allow everything.
  if (key == HKEY_LOCAL_MACHINE) return {M().registry.localMachine.name, KEY_ALL_ACCESS};
  if (key == HKEY_CURRENT_USER) return {M().registry.currentUser.name, KEY_ALL_ACCESS};
  for (const RegHandle& h : M().registry.open)
    if (h.handle == uint64_t(ULONG_PTR(key))) return {h.path, h.access};
  return {};
}

// ERROR_SUCCESS, or why the key behind the handle cannot be used for `right`.
LONG Usable(const KeyRef& ref, REGSAM right) {
  if (ref.path.empty()) return ERROR_INVALID_HANDLE;
  if (!FindRegKey(ref.path)) return ERROR_KEY_DELETED;
  if ((ref.access & right) != right) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

std::string AnsiText(LPCSTR text) { return text ? Utf8(WideFromAnsi(text)) : std::string(); }

LONG OpenKey(const char* call, HKEY parent, LPCWSTR subKeyText, bool create, REGSAM access,
             PHKEY result, LPDWORD disposition) {
  std::string subKey = Utf8(subKeyText);
  KeyRef base = Resolve(parent);
  std::string path = base.path.empty() ? subKey : CanonicalKeyPath(base.path + "\\" + subKey);
  Trace(call, path);
  if (result) *result = nullptr;
  if (DWORD error = FaultFor(call, path)) return LONG(error);
  if (!result) return ERROR_INVALID_PARAMETER;
  if (LONG error = Usable(base, 0)) return error;
  if (!subKey.empty() && subKey[0] == '\\') return ERROR_BAD_PATHNAME;
  bool existed = FindRegKey(path) != nullptr;
  if (!existed) {
    if (!create) return ERROR_FILE_NOT_FOUND;
    if (!(base.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
    FindRegKey(path, true);
  }
  RegistryState& r = M().registry;
  r.open.push_back({r.nextHandle, path, EffectiveAccess(access)});
  r.nextHandle += 4;
  *result = reinterpret_cast<HKEY>(ULONG_PTR(r.open.back().handle));
  if (disposition) *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  return ERROR_SUCCESS;
}

// The planned writes of other programs that fall on this read of the value.
void ApplyValueChanges(const std::string& keyPath, const std::string& name) {
  for (RegValueChange& c : M().registry.changes) {
    if (!EqualNoCase(CanonicalKeyPath(c.key), keyPath) || !EqualNoCase(c.value, name)) continue;
    if (++c.seen != c.onQuery) continue;
    if (c.remove) {
      DeleteRegValue(keyPath, name);
    } else {
      SetRegValue(keyPath, name, c.type, c.data);
    }
  }
}

LONG SetValue(const char* call, HKEY key, const std::string& name, DWORD type, const std::string& bytes) {
  KeyRef ref = Resolve(key);
  Trace(call, ref.path + "\\" + name);
  if (DWORD error = FaultFor(call, ref.path + "\\" + name)) return LONG(error);
  if (LONG error = Usable(ref, KEY_SET_VALUE)) return error;
  SetRegValue(ref.path, name, type, bytes);
  return ERROR_SUCCESS;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
  std::u16string wide = subKey ? WideFromAnsi(subKey) : std::u16string();
  return OpenKey("RegOpenKeyExA", key, wide.c_str(), false, access, result, nullptr);
}

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, REGSAM access, PHKEY result) {
  return OpenKey("RegOpenKeyExW", key, subKey, false, access, result, nullptr);
}

LONG RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD, LPWSTR, DWORD, REGSAM access,
                     LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
  if (!subKey) return ERROR_INVALID_PARAMETER;
  return OpenKey("RegCreateKeyExW", key, subKey, true, access, result, disposition);
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
  KeyRef ref = Resolve(key);
  std::string name = Utf8(valueName);
  Trace("RegQueryValueExW", ref.path + "\\" + name);
  if (DWORD error = FaultFor("RegQueryValueExW", ref.path + "\\" + name)) return LONG(error);
  if (reserved || (data && !dataSize)) return ERROR_INVALID_PARAMETER;
  if (LONG error = Usable(ref, KEY_QUERY_VALUE)) return error;
  ApplyValueChanges(ref.path, name);
  RegKey* k = FindRegKey(ref.path);
  RegValue* value = k ? FindRegValue(*k, name) : nullptr;
  if (!value) return ERROR_FILE_NOT_FOUND;
  if (type) *type = value->type;
  DWORD size = DWORD(value->data.size());
  if (!dataSize) return ERROR_SUCCESS;
  if (data && *dataSize < size) {
    *dataSize = size;
    return ERROR_MORE_DATA;
  }
  if (data) std::memcpy(data, value->data.data(), size);
  *dataSize = size;
  return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize) {
  if (!data && dataSize) return ERROR_NOACCESS;
  // A string whose count leaves out the NUL that follows it in memory gets that NUL stored too
  // (Wine's advapi32 registry.c conformance tests, test_set_value, "off-by-one size": 30 bytes of
  // "ThisNeverBreaks" read back as 32 on Windows). Windows looks at the character after the
  // count, as here; one whose count ends in a NUL is stored as given.
  if (IsStringType(type) && dataSize >= sizeof(char16_t)) {
    const BYTE* last = data + (dataSize / 2 - 1) * 2;
    if ((last[0] || last[1]) && !last[2] && !last[3]) dataSize += sizeof(char16_t);
  }
  std::string bytes = data ? std::string(reinterpret_cast<const char*>(data), dataSize) : std::string();
  return SetValue("RegSetValueExW", key, Utf8(valueName), type, bytes);
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize) {
  if (!data && dataSize) return ERROR_NOACCESS;
  std::string bytes = data ? std::string(reinterpret_cast<const char*>(data), dataSize) : std::string();
  // Strings are stored wide: each ANSI byte becomes one UTF-16 unit.
  if (IsStringType(type)) bytes = Utf16LeBytes(WideFromAnsi(bytes));
  return SetValue("RegSetValueExA", key, AnsiText(valueName), type, bytes);
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName) {
  KeyRef ref = Resolve(key);
  std::string name = AnsiText(valueName);
  Trace("RegDeleteValueA", ref.path + "\\" + name);
  if (DWORD error = FaultFor("RegDeleteValueA", ref.path + "\\" + name)) return LONG(error);
  if (LONG error = Usable(ref, KEY_SET_VALUE)) return error;
  return DeleteRegValue(ref.path, name) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG RegDeleteKeyW(HKEY key, LPCWSTR subKey) {
  KeyRef ref = Resolve(key);
  std::string path = ref.path.empty() ? Utf8(subKey) : CanonicalKeyPath(ref.path + "\\" + Utf8(subKey));
  Trace("RegDeleteKeyW", path);
  if (DWORD error = FaultFor("RegDeleteKeyW", path)) return LONG(error);
  if (!subKey) return ERROR_INVALID_PARAMETER;
  // The parent handle's rights do not matter: the key itself is opened for deletion.
  if (LONG error = Usable(ref, 0)) return error;
  RegKey* target = FindRegKey(path);
  if (!target) return ERROR_FILE_NOT_FOUND;
  if (!target->keys.empty() || EqualNoCase(path, ref.path.substr(0, ref.path.find('\\'))))
    return ERROR_ACCESS_DENIED;
  DeleteRegKeyTree(path);
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  Trace("RegCloseKey");
  if (DWORD error = FaultFor("RegCloseKey")) return LONG(error);
  if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  std::vector<RegHandle>& open = M().registry.open;
  size_t closed = std::erase_if(open, [&](const RegHandle& h) { return h.handle == uint64_t(ULONG_PTR(key)); });
  return closed ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
