// The registry in machine.json.
#include <nlohmann/json.hpp>

#include "winsim/machine.h"

namespace winsim {

// Registry data is saved readably when its typed form gives back the same bytes, else as hex.
static const std::pair<DWORD, const char*> kRegTypeNames[] = {
    {0, "REG_NONE"}, {1, "REG_SZ"}, {2, "REG_EXPAND_SZ"}, {3, "REG_BINARY"},
    {4, "REG_DWORD"}, {7, "REG_MULTI_SZ"}, {11, "REG_QWORD"}};

static void PutRegData(nlohmann::json& j, DWORD type, const std::string& data) {
  j["type"] = type;
  for (const auto& [number, name] : kRegTypeNames)
    if (number == type) j["type"] = name;
  std::vector<std::string> strings;
  for (const std::u16string& s : MultiSzStrings(data)) strings.push_back(Utf8(s));
  std::string text = strings.empty() ? std::string() : strings[0];
  if ((type == 1 || type == 2) && RegSzBytes(text) == data) {
    j["text"] = text;
  } else if (type == 7 && RegMultiSzBytes(strings) == data) {
    j["strings"] = strings;
  } else if (type == 4 && data.size() == 4) {
    j["dword"] = uint32_t(uint8_t(data[0]) | uint8_t(data[1]) << 8 | uint8_t(data[2]) << 16 |
                          uint32_t(uint8_t(data[3])) << 24);
  } else {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : data) hex += std::string{digits[c >> 4], digits[c & 15]};
    j["hex"] = hex;
  }
}

static DWORD TakeRegType(const nlohmann::json& j) {
  const nlohmann::json& type = j.value("type", nlohmann::json(0));
  if (type.is_number()) return type.get<DWORD>();
  for (const auto& [number, name] : kRegTypeNames)
    if (type.is_string() && type.get<std::string>() == name) return number;
  return 0;
}

static std::string TakeRegData(const nlohmann::json& j) {
  if (j.contains("text")) return RegSzBytes(j["text"].get<std::string>());
  if (j.contains("strings")) return RegMultiSzBytes(j["strings"].get<std::vector<std::string>>());
  if (j.contains("dword")) return RegDwordBytes(j["dword"].get<DWORD>());
  std::string hex = j.value("hex", std::string()), data;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) data += char(std::stoi(hex.substr(i, 2), nullptr, 16));
  return data;
}

static void to_json(nlohmann::json& j, const RegValue& v) {
  j = {{"name", v.name}};
  PutRegData(j, v.type, v.data);
}
static void from_json(const nlohmann::json& j, RegValue& v) {
  v.name = j.value("name", std::string());
  v.type = TakeRegType(j);
  v.data = TakeRegData(j);
}
void to_json(nlohmann::json& j, const RegKey& k) {
  j = {{"name", k.name}, {"values", k.values}, {"keys", nlohmann::json::array()}};
  for (const RegKey& child : k.keys) {
    nlohmann::json c;
    to_json(c, child);
    j["keys"].push_back(c);
  }
}
void from_json(const nlohmann::json& j, RegKey& k) {
  k.name = j.value("name", k.name);
  k.values = j.value("values", k.values);
  k.keys.clear();
  for (const nlohmann::json& c : j.value("keys", nlohmann::json::array())) {
    RegKey child;
    from_json(c, child);
    k.keys.push_back(std::move(child));
  }
}
static void to_json(nlohmann::json& j, const RegValueChange& c) {
  j = {{"key", c.key}, {"value", c.value}, {"onQuery", c.onQuery}, {"remove", c.remove}, {"seen", c.seen}};
  PutRegData(j, c.type, c.data);
}
static void from_json(const nlohmann::json& j, RegValueChange& c) {
  c.key = j.value("key", c.key);
  c.value = j.value("value", c.value);
  c.onQuery = j.value("onQuery", c.onQuery);
  c.remove = j.value("remove", c.remove);
  c.seen = j.value("seen", c.seen);
  c.type = TakeRegType(j);
  c.data = TakeRegData(j);
}
// Open keys belong to the running program and end with it.
void to_json(nlohmann::json& j, const RegistryState& r) {
  j = {{"localMachine", r.localMachine}, {"currentUser", r.currentUser}, {"changes", r.changes}};
}
void from_json(const nlohmann::json& j, RegistryState& r) {
  r.localMachine = j.value("localMachine", r.localMachine);
  r.currentUser = j.value("currentUser", r.currentUser);
  r.changes = j.value("changes", r.changes);
}

}  // namespace winsim
