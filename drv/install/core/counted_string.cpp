#include "core/counted_string.h"

#include <cstring>

#include "core/wide.h"

namespace inst {

static WCHAR* Chars(CountedString s) { return reinterpret_cast<WCHAR*>(s + 1); }

const WCHAR* Text(CountedString s) { return s ? Chars(s) : TEXT(""); }

size_t Length(CountedString s) { return s ? size_t(s->length) : 0; }

void FreeString(CountedString& s) {
  if (s) HeapFree(GetProcessHeap(), 0, s);
  s = nullptr;
}

bool SetStringLength(CountedString& s, size_t n) {
  if (n == 0) {
    FreeString(s);
    return true;
  }
  if (!s || StringCapacity(n) != StringCapacity(size_t(s->length))) {
    size_t bytes = sizeof(CountedBlock) + StringCapacity(n) * sizeof(WCHAR);
    void* block = s ? HeapReAlloc(GetProcessHeap(), 0, s, bytes) : HeapAlloc(GetProcessHeap(), 0, bytes);
    if (!block) return false;
    s = static_cast<CountedString>(block);
  }
  Chars(s)[n] = 0;
  s->length = n;
  return true;
}

bool AppendChars(CountedString& s, const WCHAR* text, size_t count) {
  if (count == 0) return true;
  size_t old = Length(s);
  if (!SetStringLength(s, old + count)) return false;
  std::memcpy(Chars(s) + old, text, count * sizeof(WCHAR));
  return true;
}

bool AssignString(CountedString& s, const WCHAR* text) {
  size_t n = StrLen(text);
  if (n == 0) {
    FreeString(s);
    return true;
  }
  if (!SetStringLength(s, n)) return false;
  std::memcpy(Chars(s), text, n * sizeof(WCHAR));
  return true;
}

bool AppendString(CountedString& s, const WCHAR* text) { return AppendChars(s, text, StrLen(text)); }

CountedString StringFromAnsi(const char* text) {
  CountedString s = nullptr;
  int chars = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, nullptr, 0);
  if (chars < 2 || !SetStringLength(s, size_t(chars - 1))) return nullptr;
  MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, Chars(s), chars);
  return s;
}

CountedString DirectoryPart(CountedString s) {
  CountedString result = nullptr;
  size_t n = Length(s);
  const WCHAR* text = Text(s);
  size_t cut = n;
  for (size_t i = n; i-- > 0;)
    if (text[i] == '\\') {
      cut = i;
      break;
    }
  if (cut == n)
    for (size_t i = n; i-- > 0;)
      if (text[i] == '/') {
        cut = i;
        break;
      }
  if (cut != n && cut > 0) AppendChars(result, text, cut);
  return result;
}

}  // namespace inst
