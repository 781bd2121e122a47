// UTF-16 text helpers that behave the same on every host (the C library's wide functions are
// 32-bit on Linux).
#pragma once
#include <cstddef>
#include <cstdint>

#include "win32.h"

namespace inst {

size_t StrLen(const WCHAR* text);
// A-Z as a-z; every other character as it is.
WCHAR FoldAscii(WCHAR c);
// Equal character for character, terminator included; null equals only null.
bool StrEqual(const WCHAR* a, const WCHAR* b);
// As StrEqual, with only A-Z folded to a-z.
bool StrEqualNoCase(const WCHAR* a, const WCHAR* b);
// What follows `prefix` at the start of `text`, as StrEqualNoCase compares; null when the
// prefix is not there or is empty.
const WCHAR* StrAfterNoCase(const WCHAR* text, const WCHAR* prefix);
// Appends "\" unless the text is empty or already ends in one; the caller leaves room for it.
void EndWithBackslash(WCHAR* text);
// The first occurrence of `part` in `text`, or null.
WCHAR* StrFind(WCHAR* text, const WCHAR* part);
// A signed decimal number as wcstol reads it in base 10, clamped to the 32-bit range.
int32_t ParseDecimal(const WCHAR* text);

}  // namespace inst
