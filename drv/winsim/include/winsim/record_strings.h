// The strings of the spooler's enumeration records: packed behind the records, backwards from
// the end of the size the caller gave, as the spooler packs them.
#pragma once
#include <cstring>
#include <string>
#include <vector>

#include "winsim/win_types.h"

namespace winsim {

// A string of a record: its characters with every terminator, or absent (a null pointer).
struct RecordText {
  bool present = false;
  std::u16string chars;
};

RecordText Plain(const std::string& text);
// Absent when empty.
RecordText Optional(const std::string& text);
// A list of strings, each terminated, and one more terminator; absent when empty.
RecordText MultiString(const std::vector<std::string>& list);

// With a null buffer it only counts the bytes of what it is given.
class StringPacker {
 public:
  StringPacker(LPBYTE buffer, DWORD size);
  LPWSTR Put(const RecordText& text);
  DWORD bytes() const { return bytes_; }

 private:
  LPBYTE end_;
  DWORD bytes_ = 0;
};

template <typename Record>
void StoreRecord(LPBYTE at, const Record& record) {
  if (at) std::memcpy(at, &record, sizeof(record));
}

}  // namespace winsim
