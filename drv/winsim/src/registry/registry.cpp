// The registry trees: keys by path, values, and the byte forms of registry data.
#include "winsim/machine.h"

namespace winsim {

namespace {

std::vector<std::string> SplitKeyPath(const std::string& path) {
  std::vector<std::string> names;
  std::string name;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\') {
      if (!name.empty()) names.push_back(name);
      name.clear();
    } else {
      name += path[i];
    }
  }
  return names;
}

RegKey* Tree(const std::string& rootName) {
  RegistryState& r = M().registry;
  if (EqualNoCase(rootName, "HKLM") || EqualNoCase(rootName, r.localMachine.name)) return &r.localMachine;
  if (EqualNoCase(rootName, "HKCU") || EqualNoCase(rootName, r.currentUser.name)) return &r.currentUser;
  return nullptr;
}

}  // namespace

std::string CanonicalKeyPath(const std::string& path) {
  std::vector<std::string> names = SplitKeyPath(path);
  if (names.empty()) return std::string();
  RegKey* tree = Tree(names[0]);
  if (!tree) return std::string();
  std::string canonical = tree->name;
  for (size_t i = 1; i < names.size(); ++i) canonical += "\\" + names[i];
  return canonical;
}

RegKey* FindRegKey(const std::string& path, bool create) {
  std::vector<std::string> names = SplitKeyPath(path);
  RegKey* key = names.empty() ? nullptr : Tree(names[0]);
  for (size_t i = 1; key && i < names.size(); ++i) {
    RegKey* child = key->keys.Find(names[i]);
    if (!child && create) {
      child = &*key->keys.insert(key->keys.end(), {names[i], {}, {}});
    }
    key = child;
  }
  return key;
}

RegValue* FindRegValue(RegKey& key, const std::string& name) {
  for (RegValue& value : key.values)
    if (EqualNoCase(value.name, name)) return &value;
  return nullptr;
}

bool DeleteRegKeyTree(const std::string& path) {
  std::vector<std::string> names = SplitKeyPath(path);
  if (names.size() < 2) return false;  // the trees themselves stay
  std::string parentPath;
  for (size_t i = 0; i + 1 < names.size(); ++i) parentPath += names[i] + "\\";
  RegKey* parent = FindRegKey(parentPath);
  if (!parent) return false;
  return parent->keys.RemoveNamed(names.back()) > 0;
}

bool SetRegValue(const std::string& keyPath, const std::string& name, DWORD type, const std::string& data) {
  RegKey* key = FindRegKey(keyPath, true);
  if (!key) return false;
  if (RegValue* value = FindRegValue(*key, name)) {
    value->type = type;
    value->data = data;
  } else {
    key->values.push_back({name, type, data});
  }
  return true;
}

bool GetRegValue(const std::string& keyPath, const std::string& name, DWORD* type, std::string* data) {
  RegKey* key = FindRegKey(keyPath);
  RegValue* value = key ? FindRegValue(*key, name) : nullptr;
  if (!value) return false;
  if (type) *type = value->type;
  if (data) *data = value->data;
  return true;
}

bool DeleteRegValue(const std::string& keyPath, const std::string& name) {
  RegKey* key = FindRegKey(keyPath);
  return key && std::erase_if(key->values, [&](const RegValue& v) { return EqualNoCase(v.name, name); }) > 0;
}

size_t OpenRegKeyCount() { return M().registry.open.size(); }

std::string Utf16LeBytes(const std::u16string& text) {
  std::string bytes(text.size() * 2, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = char(text[i] & 0xFF);
    bytes[2 * i + 1] = char(text[i] >> 8);
  }
  return bytes;
}

std::string RegSzBytes(const std::string& text) { return Utf16LeBytes(Wide(text) + u'\0'); }

std::string RegMultiSzBytes(const std::vector<std::string>& strings) {
  std::u16string all;
  for (const std::string& s : strings) all += Wide(s) + u'\0';
  return Utf16LeBytes(all + u'\0');
}

std::string RegDwordBytes(DWORD value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = char((value >> (8 * i)) & 0xFF);
  return bytes;
}

std::vector<std::u16string> MultiSzStrings(const std::string& data) {
  std::u16string chars(data.size() / 2, u'\0');
  for (size_t i = 0; i < chars.size(); ++i)
    chars[i] = char16_t(uint8_t(data[2 * i]) | (uint8_t(data[2 * i + 1]) << 8));
  size_t end = chars.size();
  // The list's own terminator: the last character when it closes an empty final string.
  if (end > 0 && chars[end - 1] == 0 && (end == 1 || chars[end - 2] == 0)) --end;
  std::vector<std::u16string> strings;
  for (size_t at = 0; at < end;) {
    size_t stop = chars.find(u'\0', at);
    if (stop == std::u16string::npos || stop > end) stop = end;
    strings.push_back(chars.substr(at, stop - at));
    at = stop + 1;
  }
  return strings;
}

}  // namespace winsim
