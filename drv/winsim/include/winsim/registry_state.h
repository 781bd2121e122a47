// The machine's registry: the HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER trees, the keys the
// running program holds open, and planned changes of values between two reads.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "winsim/named_list.h"
#include "winsim/win_types.h"

namespace winsim {

// Names are kept as written and compared without regard to case, as Windows does.
struct RegValue {
  std::string name;  // empty: the key's default value
  DWORD type = 0;
  std::string data;  // the bytes exactly as stored, terminators included or not
};

struct RegKey {
  std::string name;
  std::vector<RegValue> values;  // in the order they were created
  NamedList<RegKey, &RegKey::name> keys;
};

// Something else writes a value while a program reads it: on the `onQuery`-th RegQueryValueExW
// of value `value` under key `key` ("HKLM\..." or "HKEY_LOCAL_MACHINE\..."), the value is first
// replaced by `type`/`data`, or removed.
struct RegValueChange {
  std::string key;
  std::string value;
  uint32_t onQuery = 1;
  bool remove = false;
  DWORD type = 0;
  std::string data;
  uint32_t seen = 0;
};

// A key the program holds open: where it is and what it may do with it.
struct RegHandle {
  uint64_t handle = 0;
  std::string path;  // canonical, "HKEY_LOCAL_MACHINE\SYSTEM\..."
  uint32_t access = 0;
};

struct RegistryState {
  RegKey localMachine{"HKEY_LOCAL_MACHINE", {}, {}};
  RegKey currentUser{"HKEY_CURRENT_USER", {}, {}};
  std::vector<RegValueChange> changes;
  std::vector<RegHandle> open;  // the running program's; not saved with the machine
  uint64_t nextHandle = 0x100;
};

// "HKLM\A\\B\" -> "HKEY_LOCAL_MACHINE\A\B"; empty for a path outside both trees.
std::string CanonicalKeyPath(const std::string& path);
// The key at a path ("HKLM\..." or "HKEY_CURRENT_USER\..."), created with its parents when
// `create` is set; null when it is missing or the path names no tree.
RegKey* FindRegKey(const std::string& path, bool create = false);
RegValue* FindRegValue(RegKey& key, const std::string& name);
bool DeleteRegKeyTree(const std::string& path);

// For tests and the default machine.
bool SetRegValue(const std::string& keyPath, const std::string& name, DWORD type, const std::string& data);
bool GetRegValue(const std::string& keyPath, const std::string& name, DWORD* type, std::string* data);
bool DeleteRegValue(const std::string& keyPath, const std::string& name);
size_t OpenRegKeyCount();

// Registry data as Windows stores it: UTF-16LE strings, a REG_MULTI_SZ list with its final
// empty string, a little-endian DWORD.
std::string Utf16LeBytes(const std::u16string& text);
std::string RegSzBytes(const std::string& text);
std::string RegMultiSzBytes(const std::vector<std::string>& strings);
std::string RegDwordBytes(DWORD value);
// The strings of REG_MULTI_SZ data, within its bytes: an odd last byte is ignored, the final
// empty string ends the list, a last string without terminator still counts, empty strings in
// the middle stay. RegMultiSzBytes(MultiSzStrings(d)) == d for well-formed data.
std::vector<std::u16string> MultiSzStrings(const std::string& data);

}  // namespace winsim
