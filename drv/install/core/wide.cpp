#include "core/wide.h"

namespace inst {

size_t StrLen(const WCHAR* text) {
  size_t n = 0;
  while (text && text[n]) ++n;
  return n;
}

bool StrEqual(const WCHAR* a, const WCHAR* b) {
  if (!a || !b) return a == b;
  for (;; ++a, ++b) {
    if (*a != *b) return false;
    if (!*a) return true;
  }
}

WCHAR FoldAscii(WCHAR c) { return c >= 'A' && c <= 'Z' ? WCHAR(c - 'A' + 'a') : c; }

bool StrEqualNoCase(const WCHAR* a, const WCHAR* b) {
  if (!a || !b) return a == b;
  for (;; ++a, ++b) {
    if (FoldAscii(*a) != FoldAscii(*b)) return false;
    if (!*a) return true;
  }
}

const WCHAR* StrAfterNoCase(const WCHAR* text, const WCHAR* prefix) {
  if (!*prefix) return nullptr;
  for (; *prefix; ++text, ++prefix)
    if (!*text || FoldAscii(*text) != FoldAscii(*prefix)) return nullptr;
  return text;
}

void EndWithBackslash(WCHAR* text) {
  size_t n = StrLen(text);
  if (n > 0 && text[n - 1] != '\\') {
    text[n] = '\\';
    text[n + 1] = 0;
  }
}

WCHAR* StrFind(WCHAR* text, const WCHAR* part) {
  if (!text || !part) return nullptr;
  size_t n = StrLen(part);
  for (WCHAR* at = text; *at; ++at) {
    size_t i = 0;
    while (i < n && at[i] == part[i]) ++i;
    if (i == n) return at;
  }
  return n == 0 ? text : nullptr;
}

static bool Space(WCHAR c) { return c == ' ' || (c >= 9 && c <= 13); }

int32_t ParseDecimal(const WCHAR* text) {
  if (!text) return 0;
  while (Space(*text)) ++text;
  bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > int64_t(INT32_MAX) + 1) value = int64_t(INT32_MAX) + 1;  // saturated already
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return int32_t(value);
}

}  // namespace inst
