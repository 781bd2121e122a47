#include "system/pending_renames.h"

#include <cstring>

#include "core/wide.h"
#include "system/read_only.h"

namespace inst {

namespace {

const WCHAR kValueName[] = TEXT("PendingFileRenameOperations");
// Another installer may rewrite the value between its size query and its read: read it again,
// a few times at most.
constexpr int kReadAttempts = 3;

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// The value's bytes in a zero-filled block the caller frees, or null with `*bytes` 0.
BYTE* ReadValue(HKEY key, DWORD* bytes) {
  *bytes = 0;
  BYTE* data = nullptr;
  for (int attempt = 0; attempt < kReadAttempts && !data; ++attempt) {
    DWORD size = 0;
    if (RegQueryValueExW(key, kValueName, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS || size == 0) break;
    data = static_cast<BYTE*>(GlobalAlloc(GPTR, size));
    if (!data) {
      SetLastError(DWORD(E_OUTOFMEMORY));
      break;
    }
    DWORD received = size;
    LONG result = RegQueryValueExW(key, kValueName, nullptr, nullptr, data, &received);
    if (result == ERROR_SUCCESS && received <= size) {
      *bytes = received;
    } else {
      GlobalFree(data);
      data = nullptr;
      // Grown since the size query: ask again. Gone or unreadable: treat as absent.
      if (result != ERROR_MORE_DATA) break;
    }
  }
  return data;
}

// Where the string that starts at `at` ends: at its terminator, or at the end of the data.
size_t StringEnd(const WCHAR* text, size_t at, size_t chars) {
  while (at < chars && text[at]) ++at;
  return at;
}

WCHAR* CopyOf(const WCHAR* text, size_t length) {
  auto* copy = static_cast<WCHAR*>(GlobalAlloc(GPTR, (length + 1) * sizeof(WCHAR)));
  if (!copy) {
    SetLastError(DWORD(E_OUTOFMEMORY));
    return nullptr;
  }
  std::memcpy(copy, text, length * sizeof(WCHAR));
  return copy;
}

// Only a name on a drive letter is looked at: any other form ("\SystemRoot\", "\Device\", a
// share) is not what the file calls would make of it, and a share would be reached over the
// network.
bool IsExistingFile(const WCHAR* name) {
  const WCHAR* path = WithoutNtPrefix(name);
  bool drive = ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':';
  if (!drive) return false;
  DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Fills the list from the multi-string; false when memory ran out (the list is then partial).
bool ParseInto(PendingRenameList* list, const WCHAR* text, size_t chars) {
  size_t strings = 0;
  for (size_t at = 0; at < chars; at = StringEnd(text, at, chars) + 1) ++strings;
  if (strings / 2 == 0) return true;
  list->pairCount = int32_t(strings / 2);
  size_t entries = 2 * size_t(list->pairCount);
  list->names = static_cast<WCHAR**>(GlobalAlloc(GPTR, entries * sizeof(WCHAR*)));
  list->existsAsFile = static_cast<int32_t*>(GlobalAlloc(GPTR, entries * sizeof(int32_t)));
  if (!list->names || !list->existsAsFile) {
    SetLastError(DWORD(E_OUTOFMEMORY));
    return false;
  }
  size_t at = 0;
  for (size_t i = 0; at < chars && i < entries; ++i) {
    size_t end = StringEnd(text, at, chars);
    if (end > at) {
      // A copy of its own: the stored string may lack its terminator.
      list->names[i] = CopyOf(text + at, end - at);
      if (!list->names[i]) return false;
      list->existsAsFile[i] = IsExistingFile(list->names[i]) ? 1 : 0;
    }
    at = end + 1;
  }
  return true;
}

bool SameText(const WCHAR* a, size_t length, const WCHAR* b) {
  for (size_t i = 0; i < length; ++i)
    if (!b[i] || a[i] != b[i]) return false;
  return b[length] == 0;
}

// Whether the pending deletion of `source` (`length` characters) is one this run carried out
// and not yet matched; matching uses it up.
bool TakeCarriedOut(const PendingRenameList* list, int32_t* carriedOut, const WCHAR* source, size_t length) {
  for (int32_t k = 0; k < list->pairCount; ++k)
    if (carriedOut[k] && SameText(source, length, list->names[2 * k])) {
      carriedOut[k] = 0;
      return true;
    }
  return false;
}

// Removes from the value, read afresh, the pending deletions this run carried out: left in
// place, one would delete at the next restart the fresh copy an install puts at the same path.
// Every other byte stays as it was, in order (a last string without its terminator gets one: the
// kept bytes are followed by zeros, which Windows stores); the value goes only when nothing else
// is left.
void ForgetCarriedOut(const PendingRenameList* list, int32_t* carriedOut) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return;
  DWORD bytes = 0;
  BYTE* data = ReadValue(key, &bytes);
  BYTE* kept = data ? static_cast<BYTE*>(GlobalAlloc(GPTR, bytes)) : nullptr;
  if (kept) {
    const auto* text = reinterpret_cast<const WCHAR*>(data);
    size_t chars = bytes >= 2 ? (bytes - 2) / 2 : 0;  // as ReadPendingRenames parses it
    size_t used = 0, copiedTo = 0;                    // bytes kept; bytes of data dealt with
    bool dropped = false;
    for (size_t at = 0; at < chars;) {
      size_t sourceEnd = StringEnd(text, at, chars);
      if (sourceEnd + 1 >= chars) break;  // an unpaired last string
      size_t targetEnd = StringEnd(text, sourceEnd + 1, chars);
      size_t next = targetEnd + 1;
      if (targetEnd == sourceEnd + 1 && sourceEnd > at &&
          TakeCarriedOut(list, carriedOut, text + at, sourceEnd - at)) {
        std::memcpy(kept + used, data + copiedTo, at * sizeof(WCHAR) - copiedTo);
        used += at * sizeof(WCHAR) - copiedTo;
        copiedTo = next * sizeof(WCHAR);
        dropped = true;
      }
      at = next;
    }
    if (copiedTo < bytes) {
      std::memcpy(kept + used, data + copiedTo, bytes - copiedTo);
      used += bytes - copiedTo;
    }
    bool nothingLeft = true;
    for (size_t i = 0; i < used; ++i) nothingLeft = nothingLeft && kept[i] == 0;
    if (dropped && nothingLeft)
      RegDeleteValueA(key, "PendingFileRenameOperations");
    else if (dropped)
      RegSetValueExW(key, kValueName, 0, REG_MULTI_SZ, kept, DWORD(used));
    GlobalFree(kept);
  }
  if (data) GlobalFree(data);
  RegCloseKey(key);
}

}  // namespace

const WCHAR* WithoutNtPrefix(const WCHAR* name) {
  bool prefixed = name[0] == '\\' && name[1] == '?' && name[2] == '?' && name[3] == '\\';
  return prefixed ? name + 4 : name;
}

PendingRenameList ReadPendingRenames() {
  PendingRenameList list{nullptr, nullptr, 0};
  DWORD bytes = 0;
  BYTE* data = nullptr;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) == ERROR_SUCCESS) {
    data = ReadValue(key, &bytes);
    RegCloseKey(key);
  }
  // The last character is the multi-string's own terminator; an odd last byte is no character.
  size_t chars = bytes >= 2 ? (bytes - 2) / 2 : 0;
  if (data && !ParseInto(&list, reinterpret_cast<const WCHAR*>(data), chars)) FreePendingRenameList(&list);
  if (data) GlobalFree(data);
  return list;
}

void DeletePendingRenameSources(PendingRenameList* list, ProductFolders* folders) {
  if (list->pairCount == 0) return;
  // Without a note of what was carried out the value could not be put right: nothing is.
  auto* carriedOut = static_cast<int32_t*>(GlobalAlloc(GPTR, size_t(list->pairCount) * sizeof(int32_t)));
  if (!carriedOut) {
    SetLastError(DWORD(E_OUTOFMEMORY));
    return;
  }
  bool any = false;
  for (int32_t k = 0; k < list->pairCount; ++k) {
    const WCHAR* source = list->names[2 * k];
    bool deletion = list->names[2 * k + 1] == nullptr;
    if (list->existsAsFile[2 * k] == 1 && source && deletion && IsOwnFile(folders, source) &&
        FreeOfReparsePoints(WithoutNtPrefix(source)) && MakeWritable(WithoutNtPrefix(source)) &&
        DeleteFileW(WithoutNtPrefix(source))) {
      list->existsAsFile[2 * k] = 0;
      carriedOut[k] = 1;
      any = true;
    }
  }
  if (any) ForgetCarriedOut(list, carriedOut);
  GlobalFree(carriedOut);
}

void CancelPendingDeletion(const WCHAR* path) {
  PendingRenameList list = ReadPendingRenames();
  auto* cancelled = list.pairCount ? static_cast<int32_t*>(GlobalAlloc(GPTR, size_t(list.pairCount) * sizeof(int32_t))) : nullptr;
  bool any = false;
  for (int32_t k = 0; cancelled && k < list.pairCount; ++k) {
    const WCHAR* source = list.names[2 * k];
    if (source && !list.names[2 * k + 1] && StrEqualNoCase(WithoutNtPrefix(source), path)) {
      cancelled[k] = 1;
      any = true;
    }
  }
  if (any) ForgetCarriedOut(&list, cancelled);
  if (cancelled) GlobalFree(cancelled);
  FreePendingRenameList(&list);
}

void FreePendingRenameList(PendingRenameList* list) {
  if (list->names) {
    for (int32_t i = 0; i < 2 * list->pairCount; ++i)
      if (list->names[i]) GlobalFree(list->names[i]);
    GlobalFree(list->names);
  }
  if (list->existsAsFile) GlobalFree(list->existsAsFile);
  *list = PendingRenameList{nullptr, nullptr, 0};
}

}  // namespace inst
