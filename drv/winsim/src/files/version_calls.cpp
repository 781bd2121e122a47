// version.dll: the version resource read from the file's own bytes.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "winsim/file_state.h"
#include "winsim/machine.h"
#include "winsim/version_files.h"
#include "winsim/windows.h"

using namespace winsim;

namespace {

// The version resource of the file `name`, read as the loader maps a data file.
DWORD ReadVersionResource(const std::string& name, std::string* resource) {
  if (name.empty()) return ERROR_RESOURCE_DATA_NOT_FOUND;
  HostPath source;
  if (DWORD error = LocateExisting(name, &source)) return error;
  std::error_code ec;
  if (std::filesystem::is_directory(source.path, ec)) return ERROR_ACCESS_DENIED;
  if (!SharingAllows(source.path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
    return ERROR_SHARING_VIOLATION;
  std::string image;
  if (!ReadMachineFile(name, &image)) return ERROR_ACCESS_DENIED;
  return FindVersionResource(image, resource);
}

size_t Align4(size_t at) { return (at + 3) & ~size_t(3); }

WORD Word(const BYTE* block, size_t at) { return WORD(block[at] | block[at + 1] << 8); }

// One node of a version block, all of it inside [at, limit).
struct Node {
  size_t end = 0;
  std::u16string key;
  size_t valueAt = 0;
  WORD valueLength = 0;
  size_t childrenAt = 0;
};

bool ReadNode(const BYTE* block, size_t at, size_t limit, Node* node) {
  if (limit < at + 6) return false;
  WORD length = Word(block, at);
  if (length < 6 || length > limit - at) return false;
  node->end = at + length;
  node->valueLength = Word(block, at + 2);
  bool text = Word(block, at + 4) == 1;
  node->key.clear();
  size_t p = at + 6;
  for (;; p += 2) {
    if (p + 2 > node->end) return false;
    if (WORD c = Word(block, p)) node->key += char16_t(c); else break;
  }
  node->valueAt = Align4(p + 2);
  size_t valueBytes = text ? size_t(node->valueLength) * 2 : node->valueLength;
  if (node->valueAt + valueBytes > node->end) return false;
  node->childrenAt = Align4(node->valueAt + valueBytes);
  return true;
}

}  // namespace

DWORD GetFileVersionInfoSizeW(LPCWSTR path, LPDWORD handle) {
  std::string name = Utf8(path);
  Trace("GetFileVersionInfoSizeW", name);
  if (handle) *handle = 0;
  if (DWORD error = FaultFor("GetFileVersionInfoSizeW", name)) return Fail(error, DWORD(0));
  std::string resource;
  if (DWORD error = ReadVersionResource(name, &resource)) return Fail(error, DWORD(0));
  SetLastError(ERROR_SUCCESS);
  // Windows asks for room for the block twice over and a signature: it keeps an ANSI copy too.
  return DWORD(resource.size() * 2 + 4);
}

BOOL GetFileVersionInfoW(LPCWSTR path, DWORD, DWORD size, LPVOID data) {
  std::string name = Utf8(path);
  Trace("GetFileVersionInfoW", name + " " + std::to_string(size));
  if (DWORD error = FaultFor("GetFileVersionInfoW", name)) return Fail(error, FALSE);
  if (!data) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  std::string resource;
  if (DWORD error = ReadVersionResource(name, &resource)) return Fail(error, FALSE);
  size_t copied = std::min<size_t>(size, resource.size());
  std::memcpy(data, resource.data(), copied);
  // A cut block says so in its length, so that a query never reads past the buffer.
  if (copied >= 2 && copied < resource.size()) {
    static_cast<BYTE*>(data)[0] = BYTE(copied);
    static_cast<BYTE*>(data)[1] = BYTE(copied >> 8);
  }
  return TRUE;
}

BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* value, PUINT length) {
  std::string path = Utf8(subBlock);
  Trace("VerQueryValueW", path);
  if (value) *value = nullptr;
  if (length) *length = 0;
  if (DWORD error = FaultFor("VerQueryValueW", path)) return Fail(error, FALSE);
  if (!block || !subBlock || !value) return Fail(ERROR_INVALID_PARAMETER, FALSE);
  const BYTE* bytes = static_cast<const BYTE*>(block);
  Node node;
  if (!ReadNode(bytes, 0, Word(bytes, 0), &node)) return FALSE;
  // Each part of the path names a child of the node before it, without regard to case.
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = std::min(path.find('\\', start), path.size());
    std::string part = path.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    Node child;
    bool found = false;
    for (size_t at = node.childrenAt; !found && ReadNode(bytes, at, node.end, &child); at = Align4(child.end))
      found = EqualNoCase(Utf8(child.key), part);
    if (!found) return FALSE;
    node = child;
  }
  *value = const_cast<BYTE*>(bytes + node.valueAt);
  if (length) *length = node.valueLength;
  return TRUE;
}
