// The registry in machine.json.
#include <algorithm>

#include "../machine/machine_json.h"
#include "winsim/machine.h"

namespace winsim {

namespace {

// Registry data is saved readably when its typed form gives back the same bytes, else as hex.
const std::pair<DWORD, const char*> kRegTypeNames[] = {
    {0, "REG_NONE"}, {1, "REG_SZ"}, {2, "REG_EXPAND_SZ"}, {3, "REG_BINARY"},
    {4, "REG_DWORD"}, {7, "REG_MULTI_SZ"}, {11, "REG_QWORD"}};
const char* const kDataForms[] = {"text", "strings", "dword", "hex"};

void PutRegData(Json& j, DWORD type, const std::string& data) {
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

void ReadRegType(JsonReader& r, const Json& j, DWORD& type) {
  if (j.is_string())
    for (const auto& [number, name] : kRegTypeNames)
      if (j.get<std::string>() == name) {
        type = number;
        return;
      }
  if (j.is_number()) return Read(r, j, type);
  Expected(r, "a registry type (REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, "
              "REG_QWORD or a number)", j);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void ReadRegData(JsonReader& r, const std::string& form, const Json& j, std::string& data) {
  if (form == "text") {
    std::string text;
    Read(r, j, text);
    data = RegSzBytes(text);
  } else if (form == "strings") {
    std::vector<std::string> strings;
    Read(r, j, strings);
    data = RegMultiSzBytes(strings);
  } else if (form == "dword") {
    DWORD value = 0;
    Read(r, j, value);
    data = RegDwordBytes(value);
  } else {
    std::string hex;
    Read(r, j, hex);
    data.clear();
    for (size_t i = 0; i < hex.size() && !Failed(r); i += 2) {
      int high = HexDigit(hex[i]), low = i + 1 < hex.size() ? HexDigit(hex[i + 1]) : -1;
      if (high < 0 || low < 0) return Expected(r, "pairs of hexadecimal digits", j);
      data += char(high << 4 | low);
    }
  }
}

// A value's own members, its type, and its data in one of the four forms.
template <class T>
void ReadTypedValue(JsonReader& r, const Json& j, T& x, DWORD& type, std::string& data) {
  if (!j.is_object()) return Expected(r, "an object", j);
  std::string formSeen;
  for (auto it = j.begin(); it != j.end() && !Failed(r); ++it) {
    const std::string& key = it.key();
    bool form = std::find(std::begin(kDataForms), std::end(kDataForms), key) != std::end(kDataForms);
    if (key != "type" && !form) {
      if (!ReadMember(r, key, it.value(), x)) UnknownMember(r, key, x);
      continue;
    }
    size_t mark = Enter(r, key);
    if (form && !formSeen.empty()) return Expected(r, "no other data than the \"" + formSeen + "\" before it");
    if (form) {
      formSeen = key;
      ReadRegData(r, key, it.value(), data);
    } else {
      ReadRegType(r, it.value(), type);
    }
    if (!Failed(r)) Leave(r, mark);
  }
}

}  // namespace

void Read(JsonReader& r, const Json& j, RegValue& x) { ReadTypedValue(r, j, x, x.type, x.data); }
void Read(JsonReader& r, const Json& j, RegValueChange& x) { ReadTypedValue(r, j, x, x.type, x.data); }

void Write(Json& j, const RegValue& x) {
  WriteRecord(j, x);
  PutRegData(j, x.type, x.data);
}
void Write(Json& j, const RegValueChange& x) {
  WriteRecord(j, x);
  PutRegData(j, x.type, x.data);
}

// Windows keeps registry trees to 512 levels (Microsoft Learn, "Registry Element Size Limits").
void Read(JsonReader& r, const Json& j, RegKey& x) {
  if (r.registryDepth >= 512) return Expected(r, "a registry tree at most 512 levels deep");
  ++r.registryDepth;
  ReadRecord(r, j, x);
  --r.registryDepth;
}

}  // namespace winsim
