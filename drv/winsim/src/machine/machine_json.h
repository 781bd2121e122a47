// Reading and writing machine.json record by record. Reading checks every member against what
// the record holds and stops at the first problem, which names its place as a JSON pointer.
#pragma once
#include <concepts>
#include <cstdint>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <type_traits>
#include <vector>

#include "winsim/machine_fields.h"

namespace winsim {

// Members stay in the order the records list them.
using Json = nlohmann::ordered_json;

struct JsonReader {
  std::string pointer;  // where reading is now
  std::string problem;  // "<pointer>: expected ..., found ..." once something is wrong
  int registryDepth = 0;
};

inline bool Failed(const JsonReader& r) { return !r.problem.empty(); }

// What a value is, for the message: "string \"x\"", "number -1", "array".
std::string DescribeJson(const Json& j);
void Expected(JsonReader& r, const std::string& what, const Json& found);
void Expected(JsonReader& r, const std::string& what);
// The pointer one member or element deeper; Leave goes back.
size_t Enter(JsonReader& r, const std::string& member);
void Leave(JsonReader& r, size_t mark);

template <class T>
concept Record = requires(T& x) { Fields(x, [](const char*, auto&) {}); };

void Read(JsonReader& r, const Json& j, bool& x);
void Read(JsonReader& r, const Json& j, std::string& x);
void Read(JsonReader& r, const Json& j, DialogAnswer& x);
void Read(JsonReader& r, const Json& j, NativeMachine& x);
void Read(JsonReader& r, const Json& j, std::map<int, std::string>& x);
void Read(JsonReader& r, const Json& j, RegKey& x);
void Read(JsonReader& r, const Json& j, RegValue& x);
void Read(JsonReader& r, const Json& j, RegValueChange& x);
void Write(Json& j, const DialogAnswer& x);
void Write(Json& j, const NativeMachine& x);
void Write(Json& j, const std::map<int, std::string>& x);
void Write(Json& j, const RegValue& x);
void Write(Json& j, const RegValueChange& x);
void Write(Json& j, const ProcessState& x);

// Integers are taken only when the number is an integer within the member's range: no float
// is truncated and no negative number wraps.
template <class T>
  requires std::integral<T> && (!std::same_as<T, bool>)
void Read(JsonReader& r, const Json& j, T& x) {
  const char* what = std::is_unsigned_v<T> ? (sizeof(T) == 8 ? "an unsigned 64-bit integer" : "an unsigned 32-bit integer")
                                           : (sizeof(T) == 8 ? "a signed 64-bit integer" : "a signed 32-bit integer");
  if (j.is_number_unsigned()) {
    uint64_t value = j.get<uint64_t>();
    if (value <= uint64_t(std::numeric_limits<T>::max())) {
      x = T(value);
      return;
    }
  } else if (j.is_number_integer() && std::is_signed_v<T>) {
    int64_t value = j.get<int64_t>();
    if (value >= int64_t(std::numeric_limits<T>::min())) {
      x = T(value);
      return;
    }
  }
  Expected(r, what, j);
}

// A list saved as an array: std::vector, or winsim's NamedList.
template <class L>
concept Sequence = !std::same_as<L, std::string> && requires(L& list) {
  typename L::value_type;
  list.push_back(typename L::value_type{});
  list.back();
  list.clear();
};

template <Sequence L>
void Read(JsonReader& r, const Json& j, L& x) {
  if (!j.is_array()) return Expected(r, "an array", j);
  x.clear();
  for (size_t i = 0; i < j.size() && !Failed(r); ++i) {
    size_t mark = Enter(r, std::to_string(i));
    x.push_back(typename L::value_type{});
    Read(r, j[i], x.back());
    if (!Failed(r)) Leave(r, mark);
  }
}

template <class T>
void Read(JsonReader& r, const Json& j, std::map<std::string, T>& x) {
  if (!j.is_object()) return Expected(r, "an object", j);
  x.clear();
  for (auto it = j.begin(); it != j.end() && !Failed(r); ++it) {
    size_t mark = Enter(r, it.key());
    Read(r, it.value(), x[it.key()]);
    if (!Failed(r)) Leave(r, mark);
  }
}

// Reads the member `key` into the record's member of that name; false when it has none.
template <Record T>
bool ReadMember(JsonReader& r, const std::string& key, const Json& value, T& x) {
  bool known = false;
  Fields(x, [&](const char* name, auto& member) {
    if (known || key != name) return;
    known = true;
    size_t mark = Enter(r, key);
    Read(r, value, member);
    if (!Failed(r)) Leave(r, mark);
  });
  return known;
}

template <Record T>
void UnknownMember(JsonReader& r, const std::string& key, T& x) {
  std::string names;
  Fields(x, [&](const char* name, auto&) { names += std::string(names.empty() ? "" : ", ") + name; });
  Enter(r, key);
  Expected(r, "one of the record's members (" + names + "), found an unknown one");
}

// A record reads the members it names; those left out keep their value.
template <Record T>
void ReadRecord(JsonReader& r, const Json& j, T& x) {
  if (!j.is_object()) return Expected(r, "an object", j);
  for (auto it = j.begin(); it != j.end() && !Failed(r); ++it)
    if (!ReadMember(r, it.key(), it.value(), x)) UnknownMember(r, it.key(), x);
}

template <Record T>
void Read(JsonReader& r, const Json& j, T& x) {
  ReadRecord(r, j, x);
}

inline void Write(Json& j, bool x) { j = x; }
inline void Write(Json& j, const std::string& x) { j = x; }
template <class T>
  requires std::integral<T> && (!std::same_as<T, bool>)
void Write(Json& j, T x) {
  j = x;
}

template <Sequence L>
void Write(Json& j, const L& x) {
  j = Json::array();
  for (const auto& element : x) Write(j.emplace_back(), element);
}

template <class T>
void Write(Json& j, const std::map<std::string, T>& x) {
  j = Json::object();
  for (const auto& [key, value] : x) Write(j[key], value);
}

template <Record T>
void WriteRecord(Json& j, const T& x) {
  if (!j.is_object()) j = Json::object();
  // Fields lists the members of mutable records; writing only reads them.
  Fields(const_cast<T&>(x), [&](const char* name, const auto& member) { Write(j[name], member); });
}

template <Record T>
void Write(Json& j, const T& x) {
  WriteRecord(j, x);
}

}  // namespace winsim
