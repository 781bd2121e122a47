#include "winsim/record_strings.h"

#include "winsim/machine.h"

namespace winsim {

RecordText Plain(const std::string& text) { return {true, Wide(text) + u'\0'}; }

RecordText Optional(const std::string& text) { return text.empty() ? RecordText{} : Plain(text); }

RecordText MultiString(const std::vector<std::string>& list) {
  if (list.empty()) return RecordText{};
  RecordText text{true, {}};
  for (const std::string& item : list) text.chars += Wide(item) + u'\0';
  text.chars += u'\0';
  return text;
}

StringPacker::StringPacker(LPBYTE buffer, DWORD size) : end_(buffer ? buffer + (size & ~DWORD(1)) : nullptr) {}

LPWSTR StringPacker::Put(const RecordText& text) {
  if (!text.present) return nullptr;
  DWORD bytes = DWORD(text.chars.size() * sizeof(WCHAR));
  bytes_ += bytes;
  if (!end_) return nullptr;
  end_ -= bytes;
  std::memcpy(end_, text.chars.data(), bytes);
  return reinterpret_cast<LPWSTR>(end_);
}

}  // namespace winsim
