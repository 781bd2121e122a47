// A growable UTF-16 string behind one handle: a heap block holding a 64-bit length, the
// characters and a terminator. Null is the empty string. Capacity grows in steps of 32
// characters so that a long run of appends reallocates rarely.
#pragma once
#include <cstddef>
#include <cstdint>

#include "win32.h"

namespace inst {

struct CountedBlock {
  uint64_t length;  // the characters and their terminator follow
};
typedef CountedBlock* CountedString;

// Characters of room (terminator included) for a string of n characters.
constexpr size_t StringCapacity(size_t n) { return (n + 1 + 31) / 32 * 32; }

// The text, or an empty text for the null string.
const WCHAR* Text(CountedString s);
size_t Length(CountedString s);

// These leave the string as it was and return false when the heap cannot grow it.
bool SetStringLength(CountedString& s, size_t n);
bool AssignString(CountedString& s, const WCHAR* text);
bool AppendString(CountedString& s, const WCHAR* text);
bool AppendChars(CountedString& s, const WCHAR* text, size_t count);

// New strings: the caller owns them.
CountedString StringFromAnsi(const char* text);
CountedString DirectoryPart(CountedString s);

void FreeString(CountedString& s);

}  // namespace inst
