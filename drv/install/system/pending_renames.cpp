#include "system/pending_renames.h"

#include <cstring>

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

bool IsExistingFile(const WCHAR* name) {
  if (!*name) return false;
  DWORD attributes = GetFileAttributesW(WithoutNtPrefix(name));
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

// Drops from the value the pending deletions whose file is already gone. Left in place, such an
// entry would delete at the next restart the fresh copy an install puts at the same path.
void ForgetDoneDeletions() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return;
  DWORD bytes = 0;
  BYTE* data = ReadValue(key, &bytes);
  auto* kept = data ? static_cast<WCHAR*>(GlobalAlloc(GPTR, bytes + 2 * sizeof(WCHAR))) : nullptr;
  if (kept) {
    const auto* text = reinterpret_cast<const WCHAR*>(data);
    size_t chars = bytes >= 2 ? (bytes - 2) / 2 : 0;  // without the final terminator
    size_t used = 0;
    bool dropped = false;
    for (size_t at = 0; at < chars;) {
      size_t sourceEnd = StringEnd(text, at, chars);
      size_t targetEnd = sourceEnd + 1 < chars ? StringEnd(text, sourceEnd + 1, chars) : chars;
      size_t next = sourceEnd + 1 < chars ? targetEnd + 1 : sourceEnd + 1;
      bool doneDeletion = targetEnd == sourceEnd + 1 && targetEnd < chars && sourceEnd > at &&
                          !IsExistingFile(text + at);
      if (doneDeletion) {
        dropped = true;
      } else {
        size_t copyEnd = next < chars ? next : chars;
        std::memcpy(kept + used, text + at, (copyEnd - at) * sizeof(WCHAR));
        used += copyEnd - at;
        if (next > chars) kept[used++] = 0;  // the stored string lacked its terminator
      }
      at = next;
    }
    if (dropped && used == 0)
      RegDeleteValueA(key, "PendingFileRenameOperations");
    else if (dropped)
      RegSetValueExW(key, kValueName, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept),
                     DWORD((used + 1) * sizeof(WCHAR)));
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

void DeletePendingRenameSources(PendingRenameList* list) {
  bool doneDeletions = false;
  for (int32_t k = 0; k < list->pairCount; ++k) {
    const WCHAR* source = list->names[2 * k];
    bool deletion = list->names[2 * k + 1] == nullptr;
    if (list->existsAsFile[2 * k] == 1 && source && deletion && DeleteFileW(WithoutNtPrefix(source)))
      list->existsAsFile[2 * k] = 0;
    doneDeletions = doneDeletions || (source && deletion && list->existsAsFile[2 * k] == 0);
  }
  if (doneDeletions) ForgetDoneDeletions();
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
